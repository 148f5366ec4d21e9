#pragma once
// Sync tracks: named key-frame curves on an integer row axis.
//
// A track is a sorted array of keys; each key starts a segment whose shape is
// given by the key's type and which runs to the next key. get_value() gives a
// track's value at a fractional row. The track set of one sync device is an
// array of track pointers; a track's position in it is its track index, the
// number the sync editor uses to address the track.
//
// Ownership: a SyncTrackSet owns its pointer array, every SyncTrack in it,
// each track's name and each track's key array. Tracks are never removed one
// by one; track_set_free() releases them all. Pointers to tracks stay valid
// while the set lives (growing the set moves only the pointer array).
//
// Nothing here allocates while reading values, and nothing takes a lock:
// keys are changed and read on one thread.
#include <cfloat>
#include <cstdint>
#include <limits>

// The shape of the segment that starts at a key. Any other type value gives
// 0.0 inside its segment.
enum class KeyType : int32_t {
    Step = 0,   // hold the key's value until the next key
    Linear = 1, // straight line
    Smooth = 2, // smoothstep, t*t*(3 - 2t)
    Ramp = 3,   // quadratic ease-in, t*t
    Spline = 4, // cubic Hermite through neighbouring Spline keys
};

struct TrackKey {
    int32_t row;
    float value;
    int32_t type; // a KeyType value, or anything an editor or a file sent
};
static_assert(sizeof(TrackKey) == 12, "keys are packed in a contiguous array");

struct SyncTrack {
    char* name;            // full track name, "<skene>.<rest>"
    TrackKey* keys;        // sorted by row, strictly ascending; null when never filled
    int32_t num_keys;
    int32_t data_received; // 1 once the content is known (a key, an empty report, a file)
    int32_t capacity;      // allocated key slots
    // The key that get_value() found last, tried first next time: a playing
    // demo asks each track for a row a fraction past the previous frame's.
    // Only a hint (checked against the keys before use, reset when they
    // change), so any value is safe and a zeroed track needs no set-up.
    mutable int32_t last_key;
    // The segment get_value() evaluated last, with what its shape needs, so
    // that the next row inside it costs the shape's arithmetic alone. Valid
    // while keys and num_keys are the ones it was taken from; the key
    // functions below drop it whenever they change the keys, and code that
    // writes the key array itself calls keys_changed(). Zeroed: none.
    mutable struct {
        const TrackKey* keys; // the array it was taken from; null: none
        int32_t num_keys;
        int32_t type;
        double row0, row1;    // the keys' rows: row0 <= row < row1
        double span;          // row1 - row0
        // Step, Linear, Smooth, Ramp: value0 + rise * t*(a + t*(b + t*c)).
        double value0, rise, a, b, c;
        // Spline: the Hermite ends and tangents.
        float v0, v1, m0, m1;
    } segment;
};

struct SyncTrackSet {
    SyncTrack** tracks; // index = track index
    int32_t num_tracks;
    int32_t capacity;
};

// ---- The track set --------------------------------------------------------

// Index of the first track whose name equals name byte for byte, or -1.
int find_track(const SyncTrackSet* set, const char* name);

// Appends a new empty track (no keys, data_received 0) holding a copy of
// name. Returns its index, or -1 when memory ran out.
int create_track(SyncTrackSet* set, const char* name);

// Releases every track and the pointer array; the set is empty afterwards.
void track_set_free(SyncTrackSet* set);

// ---- Keys -----------------------------------------------------------------

// Binary search for row. >= 0: index of the key on exactly that row.
// < 0: the complement of the insertion point (-insertion - 1); -1 for an
// empty track or a row before the first key.
int find_key(const SyncTrack* track, int row);

// Index of the last key at or before row, or -1 when row lies before the
// first key (or the track is empty).
int key_index_floor(const SyncTrack* track, int row);

// Value at a fractional row: 0.0 for an empty track, the first key's value
// before it, the last key's value at or after it, and the segment's shape in
// between. Never allocates. Remembers the key and the segment it found in the
// track (last_key, segment), so one track must not be read from two threads
// at once. A row inside the segment of the call before costs the segment's
// arithmetic alone.
inline float get_value(const SyncTrack* track, double row);

// get_value() for a row outside the kept segment: searches, and keeps the
// segment it finds.
float get_value_searched(const SyncTrack* track, double row);

// Inserts key, or overwrites the key already on key.row (value and type),
// and marks the track as received. Returns 0, or 1 when memory ran out (the
// track is then unchanged).
int set_key(SyncTrack* track, const TrackKey& key);

// Removes the key on exactly row. A row without a key changes nothing.
void delete_key(SyncTrack* track, int row);

// Frees the keys; num_keys becomes 0, data_received stays as it is.
void clear_keys(SyncTrack* track);

// To be called after writing the key array other than through the functions
// here (a file read into it): get_value() forgets what it kept of it.
void keys_changed(SyncTrack* track);

// num_keys once the content is known, else 1, so that a track still waiting
// for its keys does not look empty.
int key_count_or_one(const SyncTrack* track);

// For trigger evaluation: the key at or before row, clamped to the first and
// last key. Returns that key's index and stores its row in *key_row. With no
// keys returns 0 and leaves *key_row untouched.
int key_at_or_before(const SyncTrack* track, int row, int* key_row);

// ---- The row clock --------------------------------------------------------

constexpr float sync_default_bpm = 88.0f;
constexpr int sync_default_rows_per_beat = 8;

// Rows per second: bpm / 60 * rows_per_beat (11.7333 with the defaults).
double sync_row_rate(float bpm, int rows_per_beat);

// Seconds at which row plays: row * 60 / (rows_per_beat * bpm).
double sync_row_to_seconds(double row, float bpm, int rows_per_beat);

// Row playing at seconds: seconds * row rate.
double sync_seconds_to_row(double seconds, float bpm, int rows_per_beat);

// ---- Inline parts -----------------------------------------------------------

// The kept segment's value, with the arithmetic the search would do.
inline float kept_segment_value(const SyncTrack* track, double row)
{
    const auto& s = track->segment;
    const double t = (row - s.row0) / s.span;
    if (s.type == int32_t(KeyType::Spline)) {
        const float f = float(t);
        const float t2 = f * f;
        const float t3 = t2 * f;
        const float h00 = 2.0f * t3 - 3.0f * t2 + 1.0f;
        const float h10 = t3 - 2.0f * t2 + f;
        const float h01 = 3.0f * t2 - 2.0f * t3;
        const float h11 = t3 - t2;
        return h00 * s.v0 + h10 * s.m0 + h01 * s.v1 + h11 * s.m1;
    }
    const double v = s.value0 + s.rise * (t * (s.a + t * (s.b + t * s.c)));
    // Saturated as the search saturates (only a damaged file gets there).
    if (v > double(FLT_MAX))
        return std::numeric_limits<float>::infinity();
    if (v < -double(FLT_MAX))
        return -std::numeric_limits<float>::infinity();
    return float(v);
}

inline float get_value(const SyncTrack* track, double row)
{
    const auto& s = track->segment;
    // A playing demo stays inside one segment for many frames. (A NaN row
    // fails both comparisons; so does every row while none is kept, its
    // rows being equal.)
    if (row >= s.row0 && row < s.row1 && s.keys == track->keys && s.num_keys == track->num_keys)
        return kept_segment_value(track, row);
    return get_value_searched(track, row);
}
