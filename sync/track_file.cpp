#include "sync/track_file.h"

#include "platform/Files.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace {

constexpr long key_bytes = 9;

int32_t read_le32(const unsigned char* p)
{
    return int32_t(uint32_t(p[0]) | uint32_t(p[1]) << 8 | uint32_t(p[2]) << 16 | uint32_t(p[3]) << 24);
}

void write_le32(std::string& out, uint32_t v)
{
    out.push_back(char(v & 0xff));
    out.push_back(char((v >> 8) & 0xff));
    out.push_back(char((v >> 16) & 0xff));
    out.push_back(char((v >> 24) & 0xff));
}

// Bytes left from the current position to the end of the file; 0 when the
// stream cannot tell.
long bytes_left(FILE* f)
{
    const long here = std::ftell(f);
    if (here < 0 || std::fseek(f, 0, SEEK_END) != 0)
        return 0;
    const long end = std::ftell(f);
    if (end < 0 || std::fseek(f, here, SEEK_SET) != 0)
        return 0;
    return end > here ? end - here : 0;
}

// Our writers store keys in row order, but a file mended by hand or damaged
// need not be, and every lookup relies on rows strictly ascending. Sorts
// keys by row; of keys on one row the later one wins, as if each had been
// set in file order. Returns the number kept.
size_t sort_keys(TrackKey* keys, size_t count)
{
    std::stable_sort(keys, keys + count, [](const TrackKey& a, const TrackKey& b) { return a.row < b.row; });
    size_t kept = 0;
    for (size_t i = 0; i < count; ++i) {
        if (kept > 0 && keys[kept - 1].row == keys[i].row)
            keys[kept - 1] = keys[i];
        else
            keys[kept++] = keys[i];
    }
    return kept;
}

} // namespace

int track_file_path(const char* base, const char* name, std::string* path)
{
    path->clear();
    if (std::strchr(name, '/') || std::strchr(base, '/'))
        return 1;
    char file[track_file_name_max];
    const int n = std::snprintf(file, sizeof file, "%s_%s.track", base, name);
    if (n < 0 || n >= int(sizeof file))
        return 1;
    *path = "sync/";
    path->append(file, size_t(n));
    return 0;
}

int read_track_file(SyncTrack* track, const char* base)
{
    std::string path;
    if (track_file_path(base, track->name, &path) != 0)
        return 1;
    return read_track_file_at(track, path.c_str());
}

int read_track_file_at(SyncTrack* track, const char* path)
{
    FILE* f = std::fopen(path, "rb");
    if (!f)
        return 1;

    unsigned char head[4];
    int32_t count = 0;
    if (std::fread(head, 1, sizeof head, f) == sizeof head)
        count = read_le32(head);
    // Never trust the count further than the bytes that are really there.
    const long present = bytes_left(f) / key_bytes;
    if (count < 0)
        count = 0;
    if (count > present)
        count = int32_t(present);

    clear_keys(track);
    if (count > 0) {
        auto* raw = static_cast<unsigned char*>(std::malloc(size_t(count) * key_bytes));
        auto* keys = static_cast<TrackKey*>(std::malloc(size_t(count) * sizeof(TrackKey)));
        if (raw && keys) {
            const size_t got = std::fread(raw, key_bytes, size_t(count), f);
            for (size_t i = 0; i < got; ++i) {
                const unsigned char* p = raw + i * key_bytes;
                const uint32_t bits = uint32_t(read_le32(p + 4));
                keys[i].row = read_le32(p);
                std::memcpy(&keys[i].value, &bits, sizeof bits);
                keys[i].type = int32_t(static_cast<signed char>(p[8]));
            }
            track->keys = keys;
            track->num_keys = int32_t(sort_keys(keys, got));
            keys_changed(track);
            track->capacity = count;
            keys = nullptr;
        }
        std::free(raw);
        std::free(keys);
    }
    std::fclose(f);
    track->data_received = 1;
    return 0;
}

namespace {

std::string encode_track(const SyncTrack* track)
{
    std::string data;
    data.reserve(4 + size_t(track->num_keys) * key_bytes);
    write_le32(data, uint32_t(track->num_keys));
    for (int32_t i = 0; i < track->num_keys; ++i) {
        const TrackKey& k = track->keys[i];
        uint32_t bits;
        std::memcpy(&bits, &k.value, sizeof bits);
        write_le32(data, uint32_t(k.row));
        write_le32(data, bits);
        data.push_back(char(uint8_t(uint32_t(k.type) & 0xffu)));
    }
    return data;
}

} // namespace

int write_track_file(const SyncTrack* track, const char* base)
{
    std::string path;
    if (track_file_path(base, track->name, &path) != 0)
        return 1;
    return platform::writeFileAtomically(path, encode_track(track)) ? 0 : 1;
}

int write_track_file_later(const SyncTrack* track, const char* base)
{
    std::string path;
    if (track_file_path(base, track->name, &path) != 0)
        return 1;
    platform::writeFileAtomicallyInBackground(path, encode_track(track));
    return 0;
}
