#pragma once
// Which track shows in which column of the grid.
//
// Tracks are grouped by their dotted prefix (everything before the last
// "."): "prism.cam.x" and "prism.cam.y" form the group "prism.cam". Groups
// appear in the order their first track was added, tracks in a group in the
// order they were added. A collapsed group takes one column of its own.
#include "tracker/lib/TrackerModel.h"

#include <set>
#include <string>
#include <vector>

namespace tracker {

struct Column {
    int track; // -1 for a collapsed group
    int group;
};

class ColumnLayout {
public:
    void rebuild(const TrackerModel& model);

    int count() const { return int(columns_.size()); }
    const Column& at(int column) const { return columns_[size_t(column)]; }
    // Column showing track, or -1 when its group is collapsed.
    int columnOfTrack(int track) const;
    // The collapsed column of group, or -1.
    int columnOfGroup(int group) const;
    // The tracks shown in columns first..last (collapsed groups add none).
    std::vector<int> tracksIn(int first, int last) const;

    int groupCount() const { return int(groups_.size()); }
    const std::string& groupName(int group) const { return groups_[size_t(group)]; }
    int groupOfTrack(int track) const { return trackGroup_[size_t(track)]; }
    bool isCollapsed(int group) const { return collapsed_.count(groups_[size_t(group)]) > 0; }
    // Takes effect at the next rebuild().
    void setCollapsed(int group, bool collapsed);
    void expandAll() { collapsed_.clear(); }

    // "prism.cam" for "prism.cam.x"; empty for a name without a dot.
    static std::string groupPrefix(const std::string& name);

private:
    std::vector<Column> columns_;
    std::vector<std::string> groups_;
    std::vector<int> trackGroup_;
    std::vector<int> trackColumn_;
    std::vector<int> groupColumn_;
    std::set<std::string> collapsed_; // by name, so it survives new tracks
};

} // namespace tracker
