#include "host/SkeneWatch.h"

#include "platform/DirectoryListing.h"
#include "platform/Files.h"
#include "state/SkeneSetups.h"

#include <algorithm>

namespace {

const char* const kSharedFolder = "_SharedQML";
// Far enough for any layout of shared components; a link that loops back
// must not make a look endless.
const int kSharedDepth = 4;

bool endsWith(const std::string& text, const char* suffix)
{
    const std::string s(suffix);
    return text.size() >= s.size() && text.compare(text.size() - s.size(), s.size(), s) == 0;
}

// What the QML engine reads when it makes a skene. Hidden names are editors'
// swap and backup files and our own atomic writes in progress; the skene's
// generated qmldir is ours and rewritten on every load.
bool isQmlSource(const std::string& name)
{
    return !name.empty() && name[0] != '.' && (endsWith(name, ".qml") || endsWith(name, ".js"));
}

void addSources(const std::string& fxDir, const std::string& folder, SkeneWatch::Snapshot& files)
{
    for (const std::string& name : platform::listDirectory(fxDir + folder)) {
        if (!isQmlSource(name))
            continue;
        const std::string relative = folder + "/" + name;
        files.emplace_back(relative, platform::fileWriteTime(fxDir + relative));
    }
}

void addSharedSources(const std::string& fxDir, const std::string& folder, int depth,
                      SkeneWatch::Snapshot& files)
{
    for (const std::string& name : platform::listDirectory(fxDir + folder)) {
        if (name.empty() || name[0] == '.')
            continue;
        const std::string relative = folder + "/" + name;
        // An author's qmldir makes a module of the shared folder.
        if (isQmlSource(name) || name == "qmldir")
            files.emplace_back(relative, platform::fileWriteTime(fxDir + relative));
        else if (depth > 0 && name.find('.') == std::string::npos)
            addSharedSources(fxDir, relative, depth - 1, files); // empty for a plain file
    }
}

} // namespace

SkeneWatch::Snapshot SkeneWatch::skeneFiles(const std::string& skene) const
{
    Snapshot files;
    addSources(fxDir_, skene, files);
    for (const std::string& sub : listSkeneDirectories(fxDir_ + skene)) {
        if (sub.compare(0, 4, "Mesh") == 0)
            addSources(fxDir_, skene + "/" + sub, files);
    }
    return files;
}

bool SkeneWatch::namesShared(const Snapshot& files) const
{
    for (const auto& file : files) {
        if (readTextFile(fxDir_ + file.first).find(kSharedFolder) != std::string::npos)
            return true;
    }
    return false;
}

void SkeneWatch::watch(const std::string& fxDir, const std::string& skene)
{
    if (skenes_.empty() || fxDir != fxDir_) {
        skenes_.clear();
        fxDir_ = fxDir;
        shared_.clear();
        addSharedSources(fxDir_, kSharedFolder, kSharedDepth, shared_);
    }
    Watched watched;
    watched.name = skene;
    watched.files = skeneFiles(skene);
    watched.usesShared = namesShared(watched.files);
    for (Watched& w : skenes_) {
        if (w.name == skene) {
            w = std::move(watched);
            return;
        }
    }
    skenes_.push_back(std::move(watched));
}

void SkeneWatch::forget(const std::string& skene)
{
    skenes_.erase(std::remove_if(skenes_.begin(), skenes_.end(), [&](const Watched& w) { return w.name == skene; }),
                  skenes_.end());
}

void SkeneWatch::clear()
{
    skenes_.clear();
    shared_.clear();
}

bool SkeneWatch::watches(const std::string& skene) const
{
    return std::any_of(skenes_.begin(), skenes_.end(), [&](const Watched& w) { return w.name == skene; });
}

SkeneWatch::Snapshot SkeneWatch::filesOf(const std::string& skene) const
{
    for (const Watched& w : skenes_) {
        if (w.name == skene)
            return w.files;
    }
    return {};
}

std::vector<std::string> SkeneWatch::changedSkenes()
{
    std::vector<std::string> changed;
    if (skenes_.empty())
        return changed;
    Snapshot shared;
    addSharedSources(fxDir_, kSharedFolder, kSharedDepth, shared);
    const bool sharedChanged = shared != shared_;
    shared_ = std::move(shared);
    const bool anyNamesShared =
        std::any_of(skenes_.begin(), skenes_.end(), [](const Watched& w) { return w.usesShared; });

    for (Watched& w : skenes_) {
        Snapshot files = skeneFiles(w.name);
        const bool own = files != w.files;
        if (own) {
            w.files = std::move(files);
            w.usesShared = namesShared(w.files);
        }
        if (own || (sharedChanged && (w.usesShared || !anyNamesShared)))
            changed.push_back(w.name);
    }
    return changed;
}
