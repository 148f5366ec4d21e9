#pragma once
// The editor's project file and the demo's track files.
//
// A project file is JSON of our own:
//   {"tarvonicSyncProject": 1, "rowsPerBeat": 8, "bookmarks": [0, 64],
//    "tracks": [{"name": "prism.spin", "keys": [[0, 1.5, "linear"], ...]}]}
// Interpolations are written by name ("step", "linear", "smooth", "ramp",
// "spline"); a type outside those (only a damaged track file can bring one)
// stays a number. A name that is not valid UTF-8 is kept byte for byte as
// base64 under "nameBytes" instead of "name", so it still matches the
// demo's track after a round trip.
#include "tracker/lib/TrackerModel.h"

#include <QString>

#include <string>
#include <vector>

namespace tracker {

struct LoadResult {
    enum Status {
        Loaded,     // the file was read whole
        Missing,    // no such file: a new project
        Unreadable, // empty, truncated, damaged or not ours
    };
    Status status = Missing;
    QString message; // for the status bar; empty when Loaded
};

// Replaces the model's content with the file's. Anything but a whole, valid
// file leaves the model empty and says why; the file itself is not touched.
LoadResult loadProject(const QString& path, TrackerModel& model);

// Writes the model to path atomically (a failed save keeps the old file).
// False with *error set when it could not.
bool saveProject(const QString& path, const TrackerModel& model, QString* error);

// The keys of the demo's track file for the track called name, in dir's
// "sync" folder (dir/sync/sync_<name>.track). False when there is none.
bool readTrackFile(const QString& dir, const std::string& name, std::vector<TrackKey>* keys);

// Track names of every track file in dir/sync, in name order.
std::vector<std::string> listTrackFiles(const QString& dir);

// Text of an interpolation type: "step" ... "spline", or the number.
QString interpolationName(int32_t type);

} // namespace tracker
