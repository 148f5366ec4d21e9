#include "gpu/FileAutoLoader.h"

#include "platform/Clock.h"
#include "platform/Files.h"
#include "state/LastReload.h"

#include <algorithm>

uint64_t fileWriteTime(const std::string& path)
{
    return platform::fileWriteTime(path);
}

IFileAutoLoader::IFileAutoLoader(FileWatch* watch)
    : watch_(watch)
{
    if (watch_)
        watch_->loaders_.push_back(this);
}

IFileAutoLoader::~IFileAutoLoader()
{
    if (watch_)
        watch_->loaders_.remove(this);
}

void IFileAutoLoader::addFile(const std::string& path)
{
    name_ = path;
    files_.push_back(path);
    fileTimes_.push_back(0);
    refreshFileTimes();
}

void IFileAutoLoader::watchFile(const std::string& path)
{
    if (std::find(files_.begin(), files_.end(), path) != files_.end())
        return;
    files_.push_back(path);
    fileTimes_.push_back(fileWriteTime(path));
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

bool FileWatch::pollAll()
{
    // A reload's error box runs an event loop, in which the author's next
    // save would start a poll inside this one.
    if (polling_)
        return false;
    const uint32_t now = platform::millisecondClock();
    if (uint32_t(now - lastPollMs_) <= 1000u)
        return false;
    lastPollMs_ = now;
    ++polls_;
    polling_ = true;

    bool reloaded = false;
    // A reload may create or destroy loaders; walk a snapshot and skip those
    // that went away meanwhile.
    const std::vector<IFileAutoLoader*> snapshot(loaders_.begin(), loaders_.end());
    for (IFileAutoLoader* loader : snapshot) {
        if (std::find(loaders_.begin(), loaders_.end(), loader) == loaders_.end())
            continue;
        for (size_t i = 0; i < loader->files_.size(); ++i) {
            if (uint32_t(fileWriteTime(loader->files_[i])) != uint32_t(loader->fileTimes_[i])) {
                loader->refreshFileTimes();
                const bool built = loader->reload();
                noteReload("shader " + loader->name() + (built ? "" : " (failed)"));
                reloaded = true;
                break;
            }
        }
    }
    polling_ = false;
    return reloaded;
}
