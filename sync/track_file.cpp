#include "sync/track_file.h"

#include "platform/Files.h"

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <vector>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

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
    // The whole file in one read: an editor takes in thousands of these as
    // a demo connects, and each system call counts.
    const int fd = ::open(path, O_RDONLY | O_CLOEXEC);
    if (fd < 0)
        return 1;
    struct stat st;
    std::vector<unsigned char> bytes;
    if (::fstat(fd, &st) == 0 && S_ISREG(st.st_mode) && st.st_size > 0)
        bytes.resize(size_t(st.st_size));
    size_t got = 0;
    while (got < bytes.size()) {
        const ssize_t n = ::read(fd, bytes.data() + got, bytes.size() - got);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            break;
        got += size_t(n);
    }
    ::close(fd);

    // Never trust the count further than the bytes that are really there.
    int32_t count = got >= 4 ? read_le32(bytes.data()) : 0;
    const long present = got >= 4 ? long((got - 4) / key_bytes) : 0;
    if (count < 0)
        count = 0;
    if (count > present)
        count = int32_t(present);

    clear_keys(track);
    if (count > 0) {
        auto* keys = static_cast<TrackKey*>(std::malloc(size_t(count) * sizeof(TrackKey)));
        if (keys) {
            for (int32_t i = 0; i < count; ++i) {
                const unsigned char* p = bytes.data() + 4 + size_t(i) * key_bytes;
                const uint32_t bits = uint32_t(read_le32(p + 4));
                keys[i].row = read_le32(p);
                std::memcpy(&keys[i].value, &bits, sizeof bits);
                keys[i].type = int32_t(static_cast<signed char>(p[8]));
            }
            track->keys = keys;
            track->num_keys = int32_t(sort_keys(keys, size_t(count)));
            keys_changed(track);
            track->capacity = count;
        }
    }
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
