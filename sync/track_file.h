#pragma once
// Track files: one file per track, so a finished demo plays without an editor.
//
// A track named intro.cam.x of the device with base name "sync" lives in
// sync/sync_intro.cam.x.track, below the working directory (the folder is not
// created here). The name is used byte for byte, without escaping; the part
// after "sync/" must fit in 260 bytes including its terminator, and a name
// holding "/" has no file.
//
// Layout, little-endian, no header: a signed 32-bit key count n, then n keys
// of 9 bytes each: row (int32), value (IEEE float), type (signed byte).
#include "sync/track.h"

#include <string>

// Largest size of the file name below "sync/", terminator included.
constexpr int track_file_name_max = 260;

// Stores "sync/<base>_<name>.track" in *path. Returns 0, or 1 when the name
// does not fit or holds a "/" (then *path is left empty).
int track_file_path(const char* base, const char* name, std::string* path);

// Fills an empty track from its file and marks it received. A file that is
// missing (or a name without a file) leaves the track untouched and returns
// 1. A damaged file gives the keys it actually holds: a negative count reads
// as 0, a count beyond the file's length as the whole keys present. Keys are
// taken in file order. Returns 0 when the file was read.
int read_track_file(SyncTrack* track, const char* base);

// As read_track_file(), from the file at path.
int read_track_file_at(SyncTrack* track, const char* path);

// Writes the track's keys to its file through a temporary file that is
// renamed over the old one, so a failed write never destroys the previous
// file. Returns 0, or 1 when the file could not be written.
int write_track_file(const SyncTrack* track, const char* base);

// As write_track_file(), but the file is written by the background writer
// of platform/Files.h: returns at once, and the file is in place once
// platform::finishBackgroundWrites() returns. 1 only for a name without a
// file; a write that fails later is reported on the standard error stream.
// For saves of many tracks from the render thread.
int write_track_file_later(const SyncTrack* track, const char* base);
