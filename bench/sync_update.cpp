// An editor's full resend: 100,000 SET_KEY commands (100 tracks of 1,000
// keys) already waiting on the socket, handled by one sync_update().
// Target: 50 ms.
//
// The commands wait in a local stream socket pair whose sending side may
// hold them all, so the one update finds every byte there, as it would after
// an editor wrote them over loopback. Two cases: the debug log as shipped
// (the default category's debug lines on, the sync traffic's per-key lines
// off unless -verbose asks for them), and the debug log filtered off.
#include "sync/sync_device.h"

#include <benchmark/benchmark.h>

#include <QLoggingCategory>

#include <chrono>
#include <cstring>
#include <string>

#include <fcntl.h>
#include <sys/socket.h>
#include <unistd.h>

namespace {

constexpr int kTracks = 100;
constexpr int kKeysPerTrack = 1000;
constexpr int kCommands = kTracks * kKeysPerTrack;

void putBe32(std::string& out, uint32_t v)
{
    out.push_back(char(v >> 24));
    out.push_back(char(v >> 16));
    out.push_back(char(v >> 8));
    out.push_back(char(v));
}

std::string resend()
{
    std::string bytes;
    bytes.reserve(size_t(kCommands) * 14);
    for (int t = 0; t < kTracks; ++t) {
        for (int k = 0; k < kKeysPerTrack; ++k) {
            const float value = float(k) * 0.25f;
            uint32_t bits;
            std::memcpy(&bits, &value, sizeof bits);
            bytes.push_back(char(SyncCommand::SET_KEY));
            putBe32(bytes, uint32_t(t));
            putBe32(bytes, uint32_t(k * 4));
            putBe32(bytes, bits);
            bytes.push_back(char(k % 5));
        }
    }
    return bytes;
}

// Queues all bytes on one end of a fresh socket pair; false when the socket
// cannot hold them without a reader.
bool queue(const std::string& bytes, int fds[2])
{
    if (::socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, fds) != 0)
        return false;
    int size = int(bytes.size() * 2);
    if (::setsockopt(fds[1], SOL_SOCKET, SO_SNDBUFFORCE, &size, sizeof size) != 0)
        ::setsockopt(fds[1], SOL_SOCKET, SO_SNDBUF, &size, sizeof size);
    ::fcntl(fds[1], F_SETFL, O_NONBLOCK);
    size_t done = 0;
    while (done < bytes.size()) {
        const ssize_t n = ::send(fds[1], bytes.data() + done, bytes.size() - done, MSG_NOSIGNAL);
        if (n <= 0)
            break;
        done += size_t(n);
    }
    return done == bytes.size();
}

void BM_SetKeyBurst(benchmark::State& state)
{
    const bool logged = state.range(0) != 0;
    QLoggingCategory::setFilterRules(logged ? QStringLiteral("default.debug=true")
                                            : QStringLiteral("default.debug=false"));
    const std::string bytes = resend();
    for (auto _ : state) {
        SyncDevice* device = sync_create_device("sync", 1);
        for (int t = 0; t < kTracks; ++t)
            sync_get_track(device, ("skene.track" + std::to_string(t)).c_str(), 1); // no socket yet
        int fds[2];
        if (!queue(bytes, fds)) {
            state.SkipWithError("the socket pair cannot hold the whole burst");
            sync_destroy_device(device);
            break;
        }
        device->socket = fds[0];
        device->port = 1338;

        int changed = 0, activity = 0;
        const auto start = std::chrono::steady_clock::now();
        const int result = sync_update(device, 0, 1338, &changed, &activity);
        const auto end = std::chrono::steady_clock::now();
        state.SetIterationTime(std::chrono::duration<double>(end - start).count());

        int keys = 0;
        for (int t = 0; t < kTracks; ++t)
            keys += device->tracks.tracks[t]->num_keys;
        if (result != 0 || keys != kCommands) {
            state.SkipWithError("the update did not handle the whole burst");
            ::close(fds[1]);
            sync_destroy_device(device);
            break;
        }
        ::close(fds[1]);
        sync_destroy_device(device); // closes fds[0]
    }
    state.SetItemsProcessed(int64_t(state.iterations()) * kCommands);
}

} // namespace

BENCHMARK(BM_SetKeyBurst)->ArgName("logged")->Arg(0)->Arg(1)->UseManualTime()->Unit(benchmark::kMillisecond)
    ->Iterations(10);

BENCHMARK_MAIN();
