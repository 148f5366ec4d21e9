#include "sync/track.h"

#include <cfloat>
#include <cmath>
#include <cstdlib>
#include <cstring>

namespace {

// Grows an array of `size`-byte elements so that it holds at least `needed`;
// doubling keeps a burst of inserts linear. False when memory ran out (the
// old block is kept).
bool reserve(void** block, int32_t* capacity, int32_t needed, size_t size)
{
    if (needed <= *capacity)
        return true;
    int64_t grown = *capacity > 0 ? int64_t(*capacity) * 2 : 4;
    if (grown < needed)
        grown = needed;
    if (grown > INT32_MAX)
        grown = INT32_MAX;
    if (grown < needed)
        return false;
    void* p = std::realloc(*block, size_t(grown) * size);
    if (!p)
        return false;
    *block = p;
    *capacity = int32_t(grown);
    return true;
}

int row_floor(double row)
{
    // NaN and rows beyond the int range clamp instead of overflowing.
    if (!(row >= double(INT32_MIN)))
        return INT32_MIN;
    if (row >= double(INT32_MAX))
        return INT32_MAX;
    return int(std::floor(row));
}

// The answer of find_key() turned into "last key at or before row", found
// without a branch per step: values are read at scattered rows every frame,
// and a mispredicted branch per halving would cost more than the rest of
// get_value().
inline int floor_index(const TrackKey* keys, int num, int row)
{
    if (num <= 0)
        return -1;
    const TrackKey* base = keys;
    int n = num;
    while (n > 1) {
        const int half = n / 2;
        base = base[half].row <= row ? base + half : base;
        n -= half;
    }
    const int i = int(base - keys);
    return base->row <= row ? i : i - 1;
}

// floor_index() for a row far from the remembered key: keys are spread
// roughly evenly along most tracks, so the row's place between the first and
// the last key guesses its index, and a search that widens from the guess
// finds it in a few steps (and in twice the plain search's steps at worst).
inline int guessed_floor_index(const TrackKey* keys, int num, int row)
{
    if (num <= 2 || row < keys[0].row)
        return floor_index(keys, num, row);
    const int last = num - 1;
    if (row >= keys[last].row)
        return last;
    // keys[0].row <= row < keys[last].row from here on.
    const double span = double(keys[last].row) - double(keys[0].row);
    int g = int((double(row) - double(keys[0].row)) / span * last);
    g = g < 0 ? 0 : (g > last - 1 ? last - 1 : g);
    int lo, hi; // keys[lo].row <= row < keys[hi].row
    if (keys[g].row <= row) {
        lo = g;
        int step = 1;
        for (;;) {
            hi = lo + step;
            if (hi >= last) {
                hi = last;
                break;
            }
            if (keys[hi].row > row)
                break;
            lo = hi;
            step *= 2;
        }
    } else {
        hi = g;
        int step = 1;
        for (;;) {
            lo = hi - step;
            if (lo <= 0) {
                lo = 0;
                break;
            }
            if (keys[lo].row <= row)
                break;
            hi = lo;
            step *= 2;
        }
    }
    // The last key at or before row within [lo, hi).
    return lo + floor_index(keys + lo, hi - lo, row);
}

// floor_index() that starts from the key found last: the same segment or
// the next one answers nearly every call of a playing demo without a search.
// Keys are sorted, so a key at or before row whose successor lies after it is
// the one the search would find.
// *hinted tells whether the remembered key answered (rows that advance)
// rather than a search (scattered rows).
inline int remembered_floor_index(const SyncTrack* track, int row, bool* hinted)
{
    const TrackKey* keys = track->keys;
    const int num = track->num_keys;
    const int h = track->last_key;
    *hinted = true;
    if (h >= 0 && h < num && keys[h].row <= row) {
        if (h + 1 == num || row < keys[h + 1].row)
            return h;
        if (h + 2 == num || row < keys[h + 2].row)
            return track->last_key = h + 1;
    } else if (h == -1 && num > 0 && row < keys[0].row) {
        return -1;
    }
    *hinted = false;
    return track->last_key = guessed_floor_index(keys, num, row);
}

// Keys read from a damaged file need not be sorted, so t can leave 0..1 and
// the result the float range; saturate instead of converting out of range.
float to_float(double v)
{
    if (v > double(FLT_MAX))
        return INFINITY;
    if (v < -double(FLT_MAX))
        return -INFINITY;
    return float(v);
}

// u(t) = t*(a + t*(b + t*c)) for Step, Linear, Smooth (t*t*(3 - 2t)) and
// Ramp (t*t); Spline has its own segment function.
struct Shape {
    double a, b, c;
};
constexpr Shape shapes[4] = {{0, 0, 0}, {1, 0, 0}, {0, 3, -2}, {0, 1, 0}};

// The tangents of the Spline segment that starts at key i.
void spline_tangents(const TrackKey* keys, int num_keys, int i, float* m0, float* m1)
{
    const TrackKey& k0 = keys[i];
    const TrackKey& k1 = keys[i + 1];
    // Tangents come only from neighbours that are Spline keys themselves;
    // otherwise the segment's own end stands in.
    const TrackKey& p = (i - 1 >= 0 && keys[i - 1].type == int32_t(KeyType::Spline)) ? keys[i - 1] : k0;
    const TrackKey& n = (i + 2 < num_keys && k1.type == int32_t(KeyType::Spline)) ? keys[i + 2] : k1;

    const float dvA = k1.value - p.value;
    const float drA = float(int64_t(k1.row) - int64_t(p.row));
    const float dvB = n.value - k0.value;
    const float drB = float(int64_t(n.row) - int64_t(k0.row));
    const float w = 1.0f / (drA + drB);
    *m0 = drB * dvA * w;
    *m1 = drA * dvB * w;
}

float hermite(float v0, float v1, float m0, float m1, float t)
{
    const float t2 = t * t;
    const float t3 = t2 * t;
    const float h00 = 2.0f * t3 - 3.0f * t2 + 1.0f;
    const float h10 = t3 - 2.0f * t2 + t;
    const float h01 = 3.0f * t2 - 2.0f * t3;
    const float h11 = t3 - t2;
    return h00 * v0 + h10 * m0 + h01 * v1 + h11 * m1;
}

} // namespace

int find_track(const SyncTrackSet* set, const char* name)
{
    for (int32_t i = 0; i < set->num_tracks; ++i) {
        if (std::strcmp(set->tracks[i]->name, name) == 0)
            return i;
    }
    return -1;
}

int create_track(SyncTrackSet* set, const char* name)
{
    if (set->num_tracks == INT32_MAX)
        return -1;
    void* block = set->tracks;
    if (!reserve(&block, &set->capacity, set->num_tracks + 1, sizeof(SyncTrack*)))
        return -1;
    set->tracks = static_cast<SyncTrack**>(block);

    auto* track = static_cast<SyncTrack*>(std::calloc(1, sizeof(SyncTrack)));
    const size_t len = std::strlen(name);
    char* copy = static_cast<char*>(std::malloc(len + 1));
    if (!track || !copy) {
        std::free(track);
        std::free(copy);
        return -1;
    }
    std::memcpy(copy, name, len + 1);
    track->name = copy;
    set->tracks[set->num_tracks] = track;
    return set->num_tracks++;
}

void track_set_free(SyncTrackSet* set)
{
    for (int32_t i = 0; i < set->num_tracks; ++i) {
        std::free(set->tracks[i]->name);
        std::free(set->tracks[i]->keys);
        std::free(set->tracks[i]);
    }
    std::free(set->tracks);
    set->tracks = nullptr;
    set->num_tracks = 0;
    set->capacity = 0;
}

int find_key(const SyncTrack* track, int row)
{
    int lo = 0;
    int hi = track->num_keys;
    if (hi <= 0)
        return -1;
    while (lo < hi) {
        const int mid = lo + (hi - lo) / 2;
        const int r = track->keys[mid].row;
        if (r < row)
            lo = mid + 1;
        else if (r > row)
            hi = mid;
        else
            return mid;
    }
    return -lo - 1;
}

int key_index_floor(const SyncTrack* track, int row)
{
    return floor_index(track->keys, track->num_keys, row);
}

float get_value_searched(const SyncTrack* track, double row)
{
    const int num = track->num_keys;
    if (num == 0)
        return 0.0f;
    const TrackKey* keys = track->keys;
    const int r = row_floor(row);
    bool hinted = false;
    const int i = remembered_floor_index(track, r, &hinted);
    if (i == -1)
        return keys[0].value;
    if (i > num - 2)
        return keys[num - 1].value;

    const TrackKey& k0 = keys[i];
    const TrackKey& k1 = keys[i + 1];
    // Rows only fail to ascend in a damaged file; t stays finite there.
    const double span = double(k1.row) - double(k0.row);
    const double t = span > 0.0 ? (row - double(k0.row)) / span : 0.0;
    if (uint32_t(k0.type) > uint32_t(KeyType::Spline))
        return 0.0f;
    auto& s = track->segment;
    if (k0.type == int32_t(KeyType::Spline)) {
        float m0 = 0.0f, m1 = 0.0f;
        spline_tangents(keys, num, i, &m0, &m1);
        // Kept only for rows that advance: scattered rows would pay for
        // keeping a segment they leave at the next call.
        if (span > 0.0 && hinted) {
            s = {};
            s.keys = keys;
            s.num_keys = num;
            s.row0 = k0.row;
            s.row1 = k1.row;
            s.type = k0.type;
            s.span = span;
            s.v0 = k0.value;
            s.v1 = k1.value;
            s.m0 = m0;
            s.m1 = m1;
        }
        return hermite(k0.value, k1.value, m0, m1, float(t));
    }
    // The other shapes are one polynomial each, u = t*(a + t*(b + t*c)):
    // a table lookup instead of a branch that tracks of mixed key types
    // would mispredict on every other call.
    const Shape& sh = shapes[k0.type];
    // A Step key holds its value even where the rise overflows to infinity.
    const double rise = k0.type == int32_t(KeyType::Step) ? 0.0 : double(k1.value - k0.value);
    if (span > 0.0 && hinted) {
        s = {};
        s.keys = keys;
        s.num_keys = num;
        s.row0 = k0.row;
        s.row1 = k1.row;
        s.type = k0.type;
        s.span = span;
        s.value0 = k0.value;
        s.rise = rise;
        s.a = sh.a;
        s.b = sh.b;
        s.c = sh.c;
    }
    const double u = t * (sh.a + t * (sh.b + t * sh.c));
    const double v = k0.value + rise * u;
    return to_float(v);
}

int set_key(SyncTrack* track, const TrackKey& key)
{
    const int i = find_key(track, key.row);
    if (i >= 0) {
        track->keys[i] = key;
    } else {
        if (track->num_keys == INT32_MAX)
            return 1;
        void* block = track->keys;
        if (!reserve(&block, &track->capacity, track->num_keys + 1, sizeof(TrackKey)))
            return 1;
        track->keys = static_cast<TrackKey*>(block);
        const int p = -i - 1;
        std::memmove(track->keys + p + 1, track->keys + p, size_t(track->num_keys - p) * sizeof(TrackKey));
        track->keys[p] = key;
        ++track->num_keys;
    }
    track->last_key = 0;
    keys_changed(track);
    track->data_received = 1;
    return 0;
}

void delete_key(SyncTrack* track, int row)
{
    const int i = find_key(track, row);
    if (i < 0)
        return;
    std::memmove(track->keys + i, track->keys + i + 1, size_t(track->num_keys - i - 1) * sizeof(TrackKey));
    --track->num_keys;
    track->last_key = 0;
    keys_changed(track);
}

void clear_keys(SyncTrack* track)
{
    std::free(track->keys);
    track->keys = nullptr;
    track->num_keys = 0;
    track->capacity = 0;
    track->last_key = 0;
    keys_changed(track);
}

void keys_changed(SyncTrack* track)
{
    track->segment.keys = nullptr;
}

int key_count_or_one(const SyncTrack* track)
{
    return track->data_received == 1 ? track->num_keys : 1;
}

int key_at_or_before(const SyncTrack* track, int row, int* key_row)
{
    const int num = track->num_keys;
    if (num == 0)
        return 0;
    int i = find_key(track, row);
    if (i == -1) {
        *key_row = track->keys[0].row;
        return 0;
    }
    if (i < -1)
        i = -i - 2;
    if (i > num - 2) {
        *key_row = track->keys[num - 1].row;
        return num - 1;
    }
    *key_row = track->keys[i].row;
    return i;
}

double sync_row_rate(float bpm, int rows_per_beat)
{
    return double(bpm) / 60.0 * rows_per_beat;
}

double sync_row_to_seconds(double row, float bpm, int rows_per_beat)
{
    return row * 60.0 / (double(rows_per_beat) * double(bpm));
}

double sync_seconds_to_row(double seconds, float bpm, int rows_per_beat)
{
    return seconds * sync_row_rate(bpm, rows_per_beat);
}
