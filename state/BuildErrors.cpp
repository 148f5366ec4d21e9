#include "state/BuildErrors.h"

#include "platform/Installed.h"

#include <algorithm>

BuildErrors& buildErrors()
{
    return Installed<BuildErrors>::get();
}

void BuildErrors::report(BuildError error)
{
    entries_.erase(std::remove_if(entries_.begin(), entries_.end(),
                                  [&](const BuildError& e) {
                                      return e.file == error.file && e.line == error.line && e.text == error.text;
                                  }),
                   entries_.end());
    entries_.insert(entries_.begin(), std::move(error));
    ++revision_;
}

void BuildErrors::clearFile(const std::string& file)
{
    const auto kept = std::remove_if(entries_.begin(), entries_.end(),
                                     [&](const BuildError& e) { return e.file == file; });
    if (kept == entries_.end())
        return;
    entries_.erase(kept, entries_.end());
    ++revision_;
}

void BuildErrors::clear()
{
    if (entries_.empty())
        return;
    entries_.clear();
    ++revision_;
}
