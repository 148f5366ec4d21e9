#pragma once
// Which loaded skenes were saved since they were loaded: the QML a skene is
// made from is its folder's QML and JavaScript files, those of its Mesh*
// sub-component folders, and, for a skene whose QML names "_SharedQML",
// everything under fx/_SharedQML/. The watch keeps each file's last-write
// time as it was at the last look; a look compares the listing of now with
// it, so a saved, added, removed or renamed file all count. Looking costs a
// directory listing and a stat per file, so the frame looks at most once a
// second, with the shader files (gpu/FileAutoLoader.h).
#include <cstdint>
#include <string>
#include <utility>
#include <vector>

class SkeneWatch {
public:
    // A file (relative to fx/) and its last-write time.
    using Snapshot = std::vector<std::pair<std::string, uint64_t>>;

    // Watches the skene in fxDir/<skene>/ (fxDir ends with "/") from how
    // its files are now, replacing what it was watched from before. Every
    // skene of one watch lives in the same fxDir.
    void watch(const std::string& fxDir, const std::string& skene);
    void forget(const std::string& skene);
    void clear();
    bool empty() const { return skenes_.empty(); }
    bool watches(const std::string& skene) const;

    // The watched skenes, in watch order, whose files differ from the last
    // look, and those that use fx/_SharedQML/ when anything there differs
    // (all of them when none names it: it may be reached through an import
    // path the watch cannot see). The look becomes the new last look, so
    // each change is reported once.
    std::vector<std::string> changedSkenes();

    // The watched files of a skene (relative to fx/), for tests and the
    // report of a reload.
    Snapshot filesOf(const std::string& skene) const;

private:
    struct Watched {
        std::string name;
        Snapshot files;
        bool usesShared = false;
    };
    Snapshot skeneFiles(const std::string& skene) const;
    bool namesShared(const Snapshot& files) const;

    std::string fxDir_;
    std::vector<Watched> skenes_;
    Snapshot shared_;
};
