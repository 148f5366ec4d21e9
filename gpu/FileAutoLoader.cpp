#include "gpu/FileAutoLoader.h"

#include "platform/Clock.h"
#include "platform/Files.h"

#include <algorithm>
#include <list>

namespace {

struct LoaderRegistry {
    std::list<IFileAutoLoader*> loaders; // creation order
    uint32_t lastPollMs = 0;
    bool polling = false;
};

// Never destroyed, so loaders that outlive it at exit can still leave it.
LoaderRegistry& registry()
{
    static auto* r = new LoaderRegistry();
    return *r;
}

} // namespace

uint64_t fileWriteTime(const std::string& path)
{
    return platform::fileWriteTime(path);
}

IFileAutoLoader::IFileAutoLoader()
{
    registry().loaders.push_back(this);
}

IFileAutoLoader::~IFileAutoLoader()
{
    registry().loaders.remove(this);
}

void IFileAutoLoader::addFile(const std::string& path)
{
    name_ = path;
    files_.push_back(path);
    fileTimes_.push_back(0);
    refreshFileTimes();
}

void IFileAutoLoader::clearFiles()
{
    name_.clear();
    files_.clear();
    fileTimes_.clear();
}

void IFileAutoLoader::refreshFileTimes()
{
    for (size_t i = 0; i < files_.size(); ++i)
        fileTimes_[i] = fileWriteTime(files_[i]);
}

void IFileAutoLoader::resetPollClock()
{
    registry().lastPollMs = 0;
}

bool IFileAutoLoader::pollAll()
{
    LoaderRegistry& r = registry();
    // A reload's error box runs an event loop, in which the author's next
    // save would start a poll inside this one.
    if (r.polling)
        return false;
    const uint32_t now = platform::millisecondClock();
    if (uint32_t(now - r.lastPollMs) <= 1000u)
        return false;
    r.lastPollMs = now;
    r.polling = true;

    bool reloaded = false;
    // A reload may create or destroy loaders; walk a snapshot and skip those
    // that went away meanwhile.
    const std::vector<IFileAutoLoader*> snapshot(r.loaders.begin(), r.loaders.end());
    for (IFileAutoLoader* loader : snapshot) {
        if (std::find(r.loaders.begin(), r.loaders.end(), loader) == r.loaders.end())
            continue;
        for (size_t i = 0; i < loader->files_.size(); ++i) {
            if (uint32_t(fileWriteTime(loader->files_[i])) != uint32_t(loader->fileTimes_[i])) {
                loader->refreshFileTimes();
                loader->reload();
                reloaded = true;
                break;
            }
        }
    }
    r.polling = false;
    return reloaded;
}
