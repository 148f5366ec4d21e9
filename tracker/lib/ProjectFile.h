#pragma once
// The editor's project file and the demo's track files.
//
// A project file is JSON of our own:
//   {"tarvonicSyncProject": 1, "rowsPerBeat": 8, "bookmarks": [0, 64],
//    "cursor": {"row": 16, "track": 0},
//    "tracks": [{"name": "prism.spin", "width": 20, "collapsed": true,
//                "keys": [[0, 1.5, "linear"], ...]}]}
// Interpolations are written by name ("step", "linear", "smooth", "ramp",
// "spline"); a type outside those (only a damaged track file can bring one)
// stays a number. A name that is not valid UTF-8 is kept byte for byte as
// base64 under "nameBytes" instead of "name", so it still matches the
// demo's track after a round trip. "width" (characters) is there for a
// column the author widened or narrowed, "collapsed" on the tracks whose
// group is collapsed; the cursor names its track by its place in "tracks".
//
// Values are always finite: the model holds no other (JSON has no number
// for nan or inf, and writing one as null made the file unreadable).
#include "tracker/lib/TrackerModel.h"

#include <QByteArray>
#include <QString>

#include <set>
#include <string>
#include <vector>

namespace tracker {

struct LoadResult {
    enum Status {
        Loaded,     // the file was read whole
        Missing,    // no such file: a new project
        Damaged,    // read, but parts that were damaged are left out (message names them)
        Unreadable, // empty, truncated or not ours: nothing read
    };
    Status status = Missing;
    QString message; // for the status bar; empty when Loaded
};

// How the project was shown: kept in the file beside the keys.
struct ProjectView {
    std::set<std::string> collapsedGroups; // by group name (ColumnLayout::groupPrefix)
    std::vector<int> widths;               // per track, in characters; 0: the default
    int32_t cursorRow = 0;
    int cursorTrack = -1;                  // -1: the first column
};

// Replaces the model's content with the file's, and *view (may be null)
// with how it was shown. A track or key that is damaged (a value that is no
// finite number, a row or interpolation that is not one) is left out and
// named in the message, and the rest loads (Damaged). A file that is not a
// project at all leaves the model empty (Unreadable). The file itself is
// never touched.
LoadResult loadProject(const QString& path, TrackerModel& model, ProjectView* view = nullptr);

// The file's bytes for the model (and view, may be null).
QByteArray projectBytes(const TrackerModel& model, const ProjectView* view);

// Writes the model to path atomically (a failed save keeps the old file).
// False with *error set when it could not.
bool saveProject(const QString& path, const TrackerModel& model, QString* error, const ProjectView* view = nullptr);

// The file beside a project that holds the changes not saved yet, so that a
// crash loses none: "<project>.recovery".
QString recoveryPathOf(const QString& projectPath);

// The keys of the demo's track file for the track called name, in dir's
// "sync" folder (dir/sync/sync_<name>.track). False when there is none.
// Keys whose value is no finite number are left out; their rows go to
// *refusedRows (may be null).
bool readTrackFile(const QString& dir, const std::string& name, std::vector<TrackKey>* keys,
                   std::vector<int32_t>* refusedRows = nullptr);

// Track names of every track file in dir/sync, in name order.
std::vector<std::string> listTrackFiles(const QString& dir);

// Text of an interpolation type: "step" ... "spline", or the number.
QString interpolationName(int32_t type);
// The type a text names ("linear", or a number -128..255); false for none.
bool interpolationFromName(const QString& text, int32_t* type);

} // namespace tracker
