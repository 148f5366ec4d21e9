#pragma once
// Base of every file-backed resource that rebuilds itself when one of its
// files changes on disk. Every live loader is in one registry, in creation
// order; pollAll() checks them all at most once a second.
#include <cstdint>
#include <string>
#include <vector>

class IFileAutoLoader {
public:
    IFileAutoLoader();
    virtual ~IFileAutoLoader();
    IFileAutoLoader(const IFileAutoLoader&) = delete;
    IFileAutoLoader& operator=(const IFileAutoLoader&) = delete;

    // Rebuilds the resource from its files; true on success.
    virtual bool reload() = 0;

    // Watches path (relative to the working directory); the name becomes it.
    void addFile(const std::string& path);
    void clearFiles();
    void setName(const std::string& name) { name_ = name; }
    const std::string& name() const { return name_; }
    const std::vector<std::string>& files() const { return files_; }
    // Stores the current write time of every watched file.
    void refreshFileTimes();

    // The change poll: does nothing (false) within 1000 ms of the previous
    // poll; otherwise reloads each loader whose files changed (first change
    // per loader) and returns true when any was reloaded. A poll started
    // while one runs (from an error box's event loop) does nothing.
    static bool pollAll();
    // Forgets the previous poll, so the next one looks at once (for tests;
    // the loaders themselves stay registered while they live).
    static void resetPollClock();

protected:
    std::string name_;

private:
    std::vector<std::string> files_;
    std::vector<uint64_t> fileTimes_;
};

// Last-write time of a watched file, 0 when it does not exist.
uint64_t fileWriteTime(const std::string& path);
