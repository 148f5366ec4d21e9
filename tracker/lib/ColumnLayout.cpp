#include "tracker/lib/ColumnLayout.h"

#include <algorithm>
#include <unordered_map>

namespace tracker {

std::string ColumnLayout::groupPrefix(const std::string& name)
{
    const size_t dot = name.rfind('.');
    return dot == std::string::npos ? std::string() : name.substr(0, dot);
}

void ColumnLayout::rebuild(const TrackerModel& model)
{
    groups_.clear();
    std::unordered_map<std::string, int> groupIndex;
    std::vector<std::vector<int>> members;
    trackGroup_.assign(size_t(model.trackCount()), 0);
    for (int t = 0; t < model.trackCount(); ++t) {
        const std::string prefix = groupPrefix(model.trackName(t));
        auto [it, added] = groupIndex.emplace(prefix, int(groups_.size()));
        if (added) {
            groups_.push_back(prefix);
            members.emplace_back();
        }
        members[size_t(it->second)].push_back(t);
        trackGroup_[size_t(t)] = it->second;
    }
    columns_.clear();
    trackColumn_.assign(trackGroup_.size(), -1);
    groupColumn_.assign(groups_.size(), -1);
    for (int g = 0; g < int(groups_.size()); ++g) {
        if (isCollapsed(g)) {
            groupColumn_[size_t(g)] = int(columns_.size());
            columns_.push_back({-1, g});
            continue;
        }
        for (int t : members[size_t(g)]) {
            trackColumn_[size_t(t)] = int(columns_.size());
            columns_.push_back({t, g});
        }
    }
}

int ColumnLayout::columnOfTrack(int track) const
{
    return track >= 0 && track < int(trackColumn_.size()) ? trackColumn_[size_t(track)] : -1;
}

int ColumnLayout::columnOfGroup(int group) const
{
    return group >= 0 && group < int(groupColumn_.size()) ? groupColumn_[size_t(group)] : -1;
}

std::vector<int> ColumnLayout::tracksIn(int first, int last) const
{
    std::vector<int> tracks;
    for (int c = std::max(first, 0); c <= last && c < count(); ++c) {
        if (columns_[size_t(c)].track >= 0)
            tracks.push_back(columns_[size_t(c)].track);
    }
    return tracks;
}

void ColumnLayout::setCollapsed(int group, bool collapsed)
{
    if (collapsed)
        collapsed_.insert(groups_[size_t(group)]);
    else
        collapsed_.erase(groups_[size_t(group)]);
}

} // namespace tracker
