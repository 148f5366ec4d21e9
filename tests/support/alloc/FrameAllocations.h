#pragma once
// Every heap allocation of the rendering thread while the showcase
// (examples/lumenfall) plays its steady frames, driven as a capture drives
// them (track files, fixed-step clock, every frame rendered) at 64 x 36, and
// sorted by who asked for the block:
//   ours          our code, directly or through a value type of Qt's
//                 (QString, QByteArray, QList, QVariant, ...) or the C++
//                 library: the target is 0 a frame;
//   qtCalled      inside Qt where our code called it (a timer that
//                 QQuickItem::polish starts, a property read);
//   glDriver      inside the GL driver (Mesa's software rasteriser
//                 allocates per draw; a hardware driver's differ);
//   qmlSignals    the QML bindings and slots that our per-frame signals run
//                 (the engine's own);
//   outsideHook   the rendering thread outside the Demo item's window hook
//                 (Qt Quick's scene graph, the capture).
//
// The counting replaces malloc and its kin (glibc keeps its own under the
// __libc_ names); under AddressSanitizer, which owns malloc, it installs the
// sanitizer's allocation hooks instead. Linked only into the programs that
// count (it is not part of the test support library).
#include <functional>
#include <string>
#include <utility>
#include <vector>

struct FrameAllocations {
    // False when the showcase did not play its frames.
    bool ran = false;
    int frames = 0;
    // Allocations a frame.
    double ours = 0;
    double qtCalled = 0;
    double glDriver = 0;
    double qmlSignals = 0;
    double outsideHook = 0;
    // Allocations whose stacks did not fit the reserved block (a frame).
    double unsorted = 0;
    // Allocations a frame and call site, most first.
    std::vector<std::pair<double, std::string>> ourSites;
    std::vector<std::pair<double, std::string>> qtSites;
};

// Plays warmup frames, then counts the next frames frames. onCountStart and
// onCountEnd run on the rendering thread right where counting starts and
// ends (a profiler's marks). Runs start-up inside the caller's application
// object with a fresh process state, in the example's folder.
FrameAllocations countShowcaseFrameAllocations(int warmup, int frames, const std::function<void()>& onCountStart = {},
                                               const std::function<void()>& onCountEnd = {});

// The sites as lines for a report: "  0.23  site".
std::string formatSites(const char* title, const std::vector<std::pair<double, std::string>>& sites, int shown);
