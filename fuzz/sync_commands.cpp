// Feeds arbitrary bytes to sync_update() as if an editor had sent them.
//
// Input: byte 0 = number of tracks the demo announced (0..7), byte 1 =
// flags (bit 0: the demo plays, bit 1: this device is the master), then the
// bytes the editor sends, followed by the end of the connection.
// Checks that the tracks stay sorted and that the device ends disconnected.
#include "fuzz_target.h"

#include "sync/sync_device.h"

#include <cstdint>
#include <string>

#include <fcntl.h>
#include <sys/socket.h>
#include <unistd.h>

namespace {

int playing = 0;

const SyncCallbacks callbacks = {
    [](void*, int, int32_t) {},
    [](void*, int32_t) {},
    [](void*) { return playing; },
};

// A clock that stands still: the update's time budget never runs out, so
// one update takes in the whole input whatever the machine's speed.
uint32_t still_clock()
{
    return 0;
}

void setup()
{
    enter_fuzz_dir(); // SAVE_TRACKS writes below it (no sync/ folder: nothing lands)
}

int run(const uint8_t* data, size_t size)
{
    if (size < 2)
        return 0;
    const int tracks = data[0] % 8;
    playing = data[1] & 1;
    const bool master = (data[1] & 2) != 0;
    data += 2;
    size -= 2;

    SyncDevice* device = sync_create_device("sync", 1);
    fuzz_check(device != nullptr, "no device");
    sync_set_callbacks(device, &callbacks, nullptr);
    device->clock_ms = still_clock;
    for (int t = 0; t < tracks; ++t)
        sync_get_track(device, ("f.t" + std::to_string(t)).c_str(), 1);

    int fds[2];
    fuzz_check(::socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, fds) == 0, "no socket pair");
    int room = int(size) * 2 + 4096;
    ::setsockopt(fds[1], SOL_SOCKET, SO_SNDBUF, &room, sizeof room);
    ::fcntl(fds[1], F_SETFL, O_NONBLOCK);
    size_t sent = 0;
    while (sent < size) {
        const ssize_t n = ::send(fds[1], data + sent, size - sent, MSG_NOSIGNAL);
        if (n <= 0)
            break;
        sent += size_t(n);
    }
    ::shutdown(fds[1], SHUT_WR); // the editor is gone after its last byte
    device->socket = fds[0];
    device->port = 1338;

    int changed = 0, activity = 0;
    int result = 0;
    for (int i = 0; i < 4 && result == 0; ++i)
        result = sync_update(device, i, master ? 1338 : 1339, &changed, &activity);
    fuzz_check(result == 1 && device->socket == -1, "the end of the connection was not noticed");
    fuzz_check(activity >= 0 && activity <= 2 && (changed == 0 || changed == 1), "odd outputs");

    for (int t = 0; t < device->tracks.num_tracks; ++t) {
        const SyncTrack* track = device->tracks.tracks[t];
        for (int k = 1; k < track->num_keys; ++k)
            fuzz_check(track->keys[k - 1].row < track->keys[k].row, "keys out of order");
        for (int k = 0; k < track->num_keys; ++k)
            fuzz_check(find_key(track, track->keys[k].row) == k, "a key cannot be found");
        for (double row : {-1.5, 0.0, 3.25, 1e9})
            (void)get_value(track, row);
    }

    ::close(fds[1]);
    sync_destroy_device(device);
    return 0;
}

} // namespace

FUZZ_TARGET(sync_commands, setup, run)
