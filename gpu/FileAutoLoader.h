#pragma once
// Base of every file-backed resource that rebuilds itself when one of its
// files changes on disk, and the watch that polls a set of them. Every
// loader made with a watch is in that watch's list, in creation order;
// FileWatch::pollAll() checks them all at most once a second.
#include <cstdint>
#include <list>
#include <string>
#include <vector>

class IFileAutoLoader;

// The loaders of one set of GPU resources (gpu/GpuResources.h) and when
// they were last polled. It must outlive its loaders.
class FileWatch {
public:
    FileWatch() = default;
    FileWatch(const FileWatch&) = delete;
    FileWatch& operator=(const FileWatch&) = delete;

    // The change poll: does nothing (false) within 1000 ms of the previous
    // poll; otherwise reloads each loader whose files changed (first change
    // per loader) and returns true when any was reloaded. A poll started
    // while one runs (from an error box's event loop) does nothing.
    bool pollAll();
    // Forgets the previous poll, so the next one looks at once.
    void resetPollClock() { lastPollMs_ = 0; }
    // How many polls have looked at the files: other watches that keep to
    // the same once-a-second clock look when this moves.
    unsigned polls() const { return polls_; }

private:
    friend class IFileAutoLoader;
    std::list<IFileAutoLoader*> loaders_; // creation order
    uint32_t lastPollMs_ = 0;
    unsigned polls_ = 0;
    bool polling_ = false;
};

class IFileAutoLoader {
public:
    // Watched by watch when one is given (it must outlive the loader); a
    // loader without one rebuilds only when asked.
    explicit IFileAutoLoader(FileWatch* watch);
    virtual ~IFileAutoLoader();
    IFileAutoLoader(const IFileAutoLoader&) = delete;
    IFileAutoLoader& operator=(const IFileAutoLoader&) = delete;

    // Rebuilds the resource from its files; true on success.
    virtual bool reload() = 0;

    // Watches path (relative to the working directory); the name becomes it.
    void addFile(const std::string& path);
    // Watches path too, keeping the name; a path watched already stays
    // watched once.
    void watchFile(const std::string& path);
    void clearFiles();
    void setName(const std::string& name) { name_ = name; }
    const std::string& name() const { return name_; }
    const std::vector<std::string>& files() const { return files_; }
    // Stores the current write time of every watched file.
    void refreshFileTimes();

protected:
    std::string name_;

private:
    friend class FileWatch;
    FileWatch* watch_;
    std::vector<std::string> files_;
    std::vector<uint64_t> fileTimes_;
};

// Last-write time of a watched file, 0 when it does not exist.
uint64_t fileWriteTime(const std::string& path);
