// Reads arbitrary bytes as a track file, then writes the track back.
//
// Checks that no more keys come out than the file holds, that they come out
// in strictly ascending rows, and that writing them back and reading the
// result gives the same keys.
#include "fuzz_target.h"

#include "sync/track_file.h"

#include <cstdint>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>

namespace {

const char path[] = "sync/sync_f.x.track";

void setup()
{
    enter_fuzz_dir();
    std::filesystem::create_directory("sync");
}

int run(const uint8_t* data, size_t size)
{
    {
        std::ofstream out(path, std::ios::binary | std::ios::trunc);
        out.write(reinterpret_cast<const char*>(data), std::streamsize(size));
    }
    SyncTrack track{};
    char name[] = "f.x";
    track.name = name;
    fuzz_check(read_track_file(&track, "sync") == 0, "the file was not read");
    fuzz_check(track.data_received == 1, "not marked received");
    const int64_t present = size < 4 ? 0 : int64_t(size - 4) / 9;
    fuzz_check(track.num_keys >= 0 && track.num_keys <= present, "more keys than the file holds");
    for (int32_t i = 1; i < track.num_keys; ++i)
        fuzz_check(track.keys[i - 1].row < track.keys[i].row, "rows not strictly ascending");

    for (double row : {-1e12, -1.0, 0.0, 0.5, 7.75, 1e12})
        (void)get_value(&track, row);
    int key_row = 0;
    (void)key_at_or_before(&track, 3, &key_row);

    fuzz_check(write_track_file(&track, "sync") == 0, "the track was not written");
    std::ifstream in(path, std::ios::binary);
    const std::string back((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    const size_t body = size_t(track.num_keys) * 9;
    fuzz_check(back.size() == 4 + body, "wrong file size");
    int32_t count;
    std::memcpy(&count, back.data(), 4); // little-endian host
    fuzz_check(count == track.num_keys, "wrong count");
    SyncTrack again{};
    again.name = name;
    fuzz_check(read_track_file(&again, "sync") == 0, "the written file was not read");
    fuzz_check(again.num_keys == track.num_keys
              && (track.num_keys == 0
                  || std::memcmp(again.keys, track.keys, size_t(track.num_keys) * sizeof(TrackKey)) == 0),
          "keys changed on the way");

    clear_keys(&again);
    clear_keys(&track);
    return 0;
}

} // namespace

FUZZ_TARGET(track_file, setup, run)
