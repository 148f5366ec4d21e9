#pragma once
// Where the marked points of the meshes were at their last draw: a table
// from a save point's target name to its world, screen and eye positions.
// Mesh items fill it while they render (a later record under the same name
// replaces the earlier one); the Demo item's read-out slots answer QML from
// it. Entries are never removed, so a point that stops being drawn keeps
// its last positions.
#include <map>
#include <string>

struct SavePointRecord {
    float world[3] = {0, 0, 0};  // model matrix applied, divided by w
    float screen[3] = {0, 0, 0}; // normalised device coordinates (-1..1)
    float eye[3] = {0, 0, 0};    // model-view matrix applied, not divided
};

struct SavePointTable {
    std::map<std::string, SavePointRecord> records;
    // How many times findSavePoint has looked a name up (the Demo item's
    // queries promise one look-up per name a frame).
    long lookups = 0;
};

// The one save-point table of the running demo, made by its owner (app/ProcessState.h).
SavePointTable& savePointTable();


// The record under target, or null when nothing was recorded under it.
const SavePointRecord* findSavePoint(const std::string& target);

// Stores record under target, replacing what was there.
void recordSavePoint(const std::string& target, const SavePointRecord& record);
