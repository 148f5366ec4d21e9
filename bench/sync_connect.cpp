// What a listening but silent sync editor (hung, or stopped in a debugger)
// costs. Start-up's attempt waits for the greeting: about 200 ms (it was the
// 5 s stall timeout). A frame's attempt never waits: target well under a
// millisecond per frame (it was the same 200 ms, every frame).
#include "sync/sync_device.h"

#include <benchmark/benchmark.h>

#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

namespace {

// Listens on 127.0.0.1 and never accepts: the kernel completes the
// connection, and nobody ever answers.
struct SilentListener {
    int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    uint16_t port = 0;
    SilentListener()
    {
        sockaddr_in a{};
        a.sin_family = AF_INET;
        a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        socklen_t len = sizeof a;
        if (::bind(fd, reinterpret_cast<sockaddr*>(&a), sizeof a) == 0 && ::listen(fd, 16) == 0
            && ::getsockname(fd, reinterpret_cast<sockaddr*>(&a), &len) == 0)
            port = ntohs(a.sin_port);
    }
    ~SilentListener() { ::close(fd); }
};

void BM_ConnectToSilentEditor(benchmark::State& state)
{
    SilentListener editor;
    SyncDevice* device = sync_create_device("sync", 1);
    for (auto _ : state) {
        if (sync_tcp_connect(device, "localhost", editor.port) != 1) {
            state.SkipWithError("a silent editor was accepted");
            break;
        }
    }
    sync_destroy_device(device);
}
BENCHMARK(BM_ConnectToSilentEditor)->Unit(benchmark::kMillisecond)->Iterations(3);

// One frame's connection work for a silent editor, over the whole life of
// attempts: started, carried on, given up after a second, waiting its turn.
uint32_t fakeNow = 0;
uint32_t fakeClock()
{
    return fakeNow;
}

void BM_FramePollOfSilentEditor(benchmark::State& state)
{
    SilentListener editor;
    SyncDevice* device = sync_create_device("sync", 1);
    device->clock_ms = fakeClock;
    for (auto _ : state) {
        fakeNow += 16; // a frame
        if (sync_tcp_connect_poll(device, "localhost", editor.port) != 1) {
            state.SkipWithError("a silent editor was accepted");
            break;
        }
    }
    sync_destroy_device(device);
}
BENCHMARK(BM_FramePollOfSilentEditor)->Unit(benchmark::kMicrosecond);

} // namespace

BENCHMARK_MAIN();
