#include "support/alloc/FrameAllocations.h"

#include "app/AppState.h"
#include "app/Startup.h"
#include "host/DemoQML.h"

#include "support/FreshState.h"
#include "support/QtTestApp.h"
#include "support/TempDemo.h"

#include <QGuiApplication>
#include <QQuickItem>
#include <QQuickWindow>
#include <QTimer>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <cxxabi.h>
#include <dlfcn.h>
#include <execinfo.h>
#include <filesystem>
#include <link.h>
#include <map>
#include <string>
#include <thread>
#include <unistd.h>
#include <vector>

#if defined(__SANITIZE_ADDRESS__)
#define TARVONIC_ASAN 1
// GCC ships the sanitizer runtime without this header (only Clang installs
// it), so the one hook is declared here as the runtime exports it.
extern "C" int __sanitizer_install_malloc_and_free_hooks(
    void (*mallocHook)(const volatile void*, size_t),
    void (*freeHook)(const volatile void*));
#else
#define TARVONIC_ASAN 0
#endif

namespace {

// --- Counting allocations ---------------------------------------------------------

const int kDepth = 40;
// Frames of the first walk: the sanitizer's own lie between the
// allocation and its caller.
#if TARVONIC_ASAN
const int kShortWalk = 14;
#else
const int kShortWalk = 8;
#endif
struct Stack {
    void* frames[kDepth];
    int depth;
};
// Stacks of the counted allocations, in a block reserved before counting.
const size_t kMaxStacks = 1 << 20;
Stack* stacks = nullptr;
std::atomic<size_t> stackCount{0};
std::atomic<size_t> droppedStacks{0};
std::atomic<bool> counting{false};
// The GL driver's code (Mesa's software rasteriser here allocates ~10^5
// blocks a frame for a big point grid): its allocations are only counted,
// their stacks not kept. Address ranges taken when counting starts.
struct Range {
    uintptr_t from, to;
};
Range driverRanges[64];
int driverRangeCount = 0;
std::atomic<size_t> driverCount{0};
std::thread::id countedThread;
thread_local bool inHook = false;

bool inDriver(const void* address)
{
    const uintptr_t a = reinterpret_cast<uintptr_t>(address);
    for (int r = 0; r < driverRangeCount; ++r) {
        if (a >= driverRanges[r].from && a < driverRanges[r].to)
            return true;
    }
    return false;
}

// caller: the return address of the allocating call, which settles most of
// the driver's allocations without a walk.
void record(const void* caller)
{
    if (!counting.load(std::memory_order_relaxed) || inHook || std::this_thread::get_id() != countedThread)
        return;
    if (caller && inDriver(caller)) {
        driverCount.fetch_add(1, std::memory_order_relaxed);
        return;
    }
    inHook = true;
    // The driver's frames lie next to the allocation: a short walk finds
    // nearly all of them, and only the others pay for the whole stack.
    Stack s;
    s.depth = backtrace(s.frames, kShortWalk);
    bool whole = false;
again:
    for (int d = 0; d < s.depth; ++d) {
        if (inDriver(s.frames[d])) {
            driverCount.fetch_add(1, std::memory_order_relaxed);
            inHook = false;
            return;
        }
    }
    if (!whole && s.depth == kShortWalk) {
        whole = true;
        s.depth = backtrace(s.frames, kDepth);
        goto again;
    }
    const size_t at = stackCount.fetch_add(1, std::memory_order_relaxed);
    if (at < kMaxStacks)
        stacks[at] = s;
    else
        droppedStacks.fetch_add(1, std::memory_order_relaxed);
    inHook = false;
}

} // namespace

// Every heap block comes through these: C++'s operator new and Qt's
// containers (which call malloc and realloc themselves) alike. glibc lets a
// program replace them and keeps its own under the __libc_ names.
#if !TARVONIC_ASAN
extern "C" {
void* __libc_malloc(size_t);
void* __libc_calloc(size_t, size_t);
void* __libc_realloc(void*, size_t);
void* __libc_memalign(size_t, size_t);

void* malloc(size_t size)
{
    record(__builtin_return_address(0));
    return __libc_malloc(size);
}
void* calloc(size_t count, size_t size)
{
    record(__builtin_return_address(0));
    return __libc_calloc(count, size);
}
void* realloc(void* p, size_t size)
{
    record(__builtin_return_address(0));
    return __libc_realloc(p, size);
}
void* memalign(size_t alignment, size_t size)
{
    record(__builtin_return_address(0));
    return __libc_memalign(alignment, size);
}
void* aligned_alloc(size_t alignment, size_t size)
{
    record(__builtin_return_address(0));
    return __libc_memalign(alignment, size);
}
int posix_memalign(void** out, size_t alignment, size_t size)
{
    record(__builtin_return_address(0));
    void* p = __libc_memalign(alignment, size);
    if (!p)
        return ENOMEM;
    *out = p;
    return 0;
}
}
#endif

namespace {

#if TARVONIC_ASAN
// Called by the sanitizer's allocator for every block, on the allocating
// thread; the caller's address is not handed over, so the stack tells.
void sanitizerMallocHook(const volatile void*, size_t)
{
    record(nullptr);
}
// The runtime installs a malloc hook only together with a free hook.
void sanitizerFreeHook(const volatile void*)
{
}
#endif

void startCounting()
{
#if TARVONIC_ASAN
    // Installed once for the process (the runtime has no way to remove
    // them); record() ignores blocks while nothing is counted.
    static const bool installed =
        __sanitizer_install_malloc_and_free_hooks(sanitizerMallocHook, sanitizerFreeHook) != 0;
    if (!installed)
        std::fprintf(stderr, "allocation counting: the sanitizer refused the malloc hook\n");
#endif
    counting = true;
}

void stopCounting()
{
    counting = false;
}

int addDriverRange(dl_phdr_info* info, size_t, void*)
{
    const char* name = info->dlpi_name;
    if (!name || !(std::strstr(name, "dri") || std::strstr(name, "LLVM") || std::strstr(name, "libGL") ||
                   std::strstr(name, "glapi") || std::strstr(name, "gallium")))
        return 0;
    for (int i = 0; i < info->dlpi_phnum && driverRangeCount < 64; ++i) {
        const ElfW(Phdr)& h = info->dlpi_phdr[i];
        if (h.p_type == PT_LOAD && (h.p_flags & PF_X))
            driverRanges[driverRangeCount++] = {info->dlpi_addr + h.p_vaddr, info->dlpi_addr + h.p_vaddr + h.p_memsz};
    }
    return 0;
}

// --- Naming the frames of a stack ---------------------------------------------

struct Frame {
    std::string function;
    std::string module; // the shared object's file name, or "" for the program
    std::string where;  // the program's: source file and line of the call
};

std::string demangle(const char* name)
{
    int status = 0;
    char* plain = abi::__cxa_demangle(name, nullptr, nullptr, &status);
    std::string out = status == 0 && plain ? plain : name;
    std::free(plain);
    return out;
}

// The program's own addresses through addr2line (its functions are not in
// the dynamic symbol table), the libraries' through dladdr.
std::map<void*, Frame> nameFrames(const std::vector<void*>& addresses)
{
    std::map<void*, Frame> names;
    std::vector<void*> own;
    Dl_info self{};
    dladdr(reinterpret_cast<void*>(&nameFrames), &self);
    for (void* a : addresses) {
        Dl_info info{};
        // A return address: the call lies one byte before it.
        void* call = static_cast<char*>(a) - 1;
        if (dladdr(call, &info) && info.dli_fbase != self.dli_fbase) {
            const char* file = std::strrchr(info.dli_fname, '/');
            names[a] = {info.dli_sname ? demangle(info.dli_sname) : "?", file ? file + 1 : info.dli_fname, ""};
        } else {
            own.push_back(a);
        }
    }
    const size_t batch = 500;
    for (size_t from = 0; from < own.size(); from += batch) {
        std::string command = "addr2line -f -C -e /proc/" + std::to_string(getpid()) + "/exe";
        const size_t to = std::min(own.size(), from + batch);
        for (size_t i = from; i < to; ++i) {
            char hex[32];
            std::snprintf(hex, sizeof hex, " %zx",
                          size_t(static_cast<char*>(own[i]) - 1 - static_cast<char*>(self.dli_fbase)));
            command += hex;
        }
        FILE* pipe = popen(command.c_str(), "r");
        char line[4096];
        for (size_t i = from; i < to; ++i) {
            std::string function = pipe && std::fgets(line, sizeof line, pipe) ? line : "?\n";
            function.pop_back();
            std::string where = pipe && std::fgets(line, sizeof line, pipe) ? line : "\n";
            where.pop_back();
            const size_t slash = where.rfind('/');
            names[own[i]] = {function, "", slash == std::string::npos ? where : where.substr(slash + 1)};
        }
        if (pipe)
            pclose(pipe);
    }
    return names;
}

bool startsWith(const std::string& s, const char* prefix)
{
    return s.compare(0, std::strlen(prefix), prefix) == 0;
}

// Qt's value types: what our code builds when it builds a string or a list.
bool isQtValueType(const std::string& function)
{
    for (const char* t : {"QString", "QByteArray", "QList", "QListData", "QArrayData", "QVariant", "QHash",
                          "QHashData", "QMap", "QMapData", "QVector", "QTypedArrayData", "QUrl", "QRegExp",
                          "QMetaType", "QtPrivate::QVariantValueHelper", "qstrdup"}) {
        if (startsWith(function, t))
            return true;
    }
    return false;
}

bool isCLibrary(const std::string& module)
{
    return startsWith(module, "libc.") || startsWith(module, "libstdc++") || startsWith(module, "libgcc") ||
           startsWith(module, "libm.");
}

// The sanitizer's allocator and interceptors, between an allocation and its
// caller under AddressSanitizer.
bool isSanitizer(const Frame& f)
{
    return startsWith(f.module, "libasan") || startsWith(f.module, "libubsan") ||
           startsWith(f.function, "__sanitizer") || startsWith(f.function, "__asan") ||
           startsWith(f.function, "__interceptor");
}

struct Tally {
    size_t ours = 0;
    size_t qtCalled = 0;
    size_t qmlSignals = 0;
    size_t outsideHook = 0;
    std::map<std::string, size_t> ourSites;
    std::map<std::string, size_t> qtSites;
};

Tally sortStacks()
{
    const size_t n = std::min(stackCount.load(), kMaxStacks);
    std::vector<void*> addresses;
    for (size_t i = 0; i < n; ++i)
        addresses.insert(addresses.end(), stacks[i].frames, stacks[i].frames + stacks[i].depth);
    std::sort(addresses.begin(), addresses.end());
    addresses.erase(std::unique(addresses.begin(), addresses.end()), addresses.end());
    const std::map<void*, Frame> names = nameFrames(addresses);

    Tally tally;
    for (size_t i = 0; i < n; ++i) {
        const Stack& s = stacks[i];
        std::vector<const Frame*> frames;
        for (int d = 0; d < s.depth; ++d)
            frames.push_back(&names.at(s.frames[d]));
        size_t first = 0;
        // Past the counting itself: record() and operator new, and the
        // sanitizer's allocator where it owns malloc.
        auto counting = [](const Frame& f) {
            if (isSanitizer(f))
                return true;
            const std::string& fn = f.function;
            return f.module.empty() &&
                   (startsWith(fn, "malloc") || startsWith(fn, "calloc") || startsWith(fn, "realloc") ||
                    startsWith(fn, "memalign") || startsWith(fn, "aligned_alloc") ||
                    startsWith(fn, "posix_memalign") || fn.find("::record(") != std::string::npos ||
                    fn.find("::sanitizerMallocHook(") != std::string::npos);
        };
        while (first < frames.size() && counting(*frames[first]))
            ++first;
        bool inFrame = false;
        for (const Frame* f : frames)
            inFrame = inFrame || f->function == "DemoQML::doBeforeRender()";
        if (!inFrame) {
            ++tally.outsideHook;
            continue;
        }
        // The innermost frame of our own, and what lies between it and the
        // allocation.
        // The C++ library's templates compiled into the program count as
        // the library.
        auto library = [](const Frame& f) {
            return !f.module.empty() || startsWith(f.function, "std::") || startsWith(f.function, "void std::") ||
                   startsWith(f.function, "__gnu_cxx::") || startsWith(f.function, "QString::") ||
                   startsWith(f.function, "QByteArray::") || startsWith(f.function, "QList<") ||
                   startsWith(f.function, "QVector<") || startsWith(f.function, "QtPrivate::");
        };
        size_t own = first;
        while (own < frames.size() && library(*frames[own]))
            ++own;
        // Our code calling a value type's function (QString::toUtf8) asked
        // for the block, whatever runs inside that function.
        const bool valueCall = own > first && (frames[own - 1]->module.empty() ||
                                               (startsWith(frames[own - 1]->module, "libQt5Core") &&
                                                isQtValueType(frames[own - 1]->function)));
        bool throughQt = false;
        for (size_t d = first; d < own && !valueCall; ++d) {
            const Frame& f = *frames[d];
            if (!f.module.empty() && !isCLibrary(f.module) &&
                !(startsWith(f.module, "libQt5Core") && isQtValueType(f.function)))
                throughQt = true;
        }
        const std::string site = own < frames.size() ? frames[own]->function : "?";
        // A signal of ours (a moc function that activates the connections)
        // runs the engine's bindings: theirs, not ours.
        bool signal = false;
        for (size_t d = first; d < own; ++d)
            signal = signal || startsWith(frames[d]->function, "QMetaObject::activate") ||
                     startsWith(frames[d]->function, "QQmlNotifier::emitNotify");
        if (signal) {
            ++tally.qmlSignals;
        } else if (throughQt) {
            ++tally.qtCalled;
            std::string inner;
            for (size_t d = own; d-- > first && d + 3 >= own;)
                inner += "  ->  " + frames[d]->function + (frames[d]->module.empty() ? "" : " [" + frames[d]->module + "]");
            tally.qtSites[site + inner]++;
        } else {
            ++tally.ours;
            std::string chain = site + " at " + frames[own]->where;
            for (size_t d = own + 1; d < frames.size() && d <= own + 2; ++d)
                chain += "  <-  " + frames[d]->function;
            if (own > first)
                chain += "  (through " + frames[own - 1]->function + ")";
            tally.ourSites[chain]++;
        }
    }
    return tally;
}

// --- Driving the frames ------------------------------------------------------------

// Finds the Demo item once the capture has made its window, and counts its
// frames.
class FrameWatch : public QObject {
public:
    FrameWatch()
    {
        connect(&poll_, &QTimer::timeout, this, [this] { attach(); });
        poll_.start(5);
    }
    int frames = 0;

private:
    void attach()
    {
        for (QWindow* w : QGuiApplication::topLevelWindows()) {
            auto* quick = qobject_cast<QQuickWindow*>(w);
            DemoQML* demo = quick ? quick->contentItem()->findChild<DemoQML*>() : nullptr;
            if (!demo)
                continue;
            poll_.stop();
            connect(demo, &DemoQML::frameRendered, this, [this] { onFrame(); }, Qt::DirectConnection);
            return;
        }
    }
    void onFrame()
    {
        ++frames;
        if (frames == warmupFrames) {
            if (onStart)
                onStart();
            countedThread = std::this_thread::get_id();
            driverRangeCount = 0;
            dl_iterate_phdr(addDriverRange, nullptr);
            startCounting();
        } else if (frames == warmupFrames + framesToCount) {
            stopCounting();
            if (onEnd)
                onEnd();
        }
    }
    QTimer poll_;

public:
    int warmupFrames = 0;
    int framesToCount = 0;
    std::function<void()> onStart;
    std::function<void()> onEnd;
};

std::vector<std::pair<double, std::string>> perFrame(const std::map<std::string, size_t>& sites, int frames)
{
    std::vector<std::pair<double, std::string>> sorted;
    for (const auto& [site, count] : sites)
        sorted.emplace_back(double(count) / frames, site);
    std::sort(sorted.rbegin(), sorted.rend());
    return sorted;
}

} // namespace

FrameAllocations countShowcaseFrameAllocations(int warmupFrames, int framesToCount,
                                               const std::function<void()>& onCountStart,
                                               const std::function<void()>& onCountEnd)
{
    FrameAllocations result;
    ensureQtApp();
    stacks = static_cast<Stack*>(std::malloc(kMaxStacks * sizeof(Stack)));
    stackCount = 0;
    droppedStacks = 0;
    driverCount = 0;
    void* prime[2];
    backtrace(prime, 2); // loads the unwinder before counting starts
    const std::filesystem::path start = std::filesystem::current_path();
    {
        resetProcessState();
        TempDemo out;
        FrameWatch watch;
        watch.warmupFrames = warmupFrames;
        watch.framesToCount = framesToCount;
        watch.onStart = onCountStart;
        watch.onEnd = onCountEnd;
        std::filesystem::current_path(std::string(TARVONIC_SOURCE_DIR) + "/examples/lumenfall");
        app::CaptureOptions& options = appState().capture;
        options.folder = out.root();
        options.width = 64;
        options.height = 36;
        options.fps = 60;
        options.seconds = double(warmupFrames + framesToCount + 2) / options.fps;
        static char name[] = "tarvonic";
        char* argv[] = {name, nullptr};
        const int code = app::runStartup(1, argv);
        std::filesystem::current_path(start);
        stopCounting();
        result.ran = code == 0 && watch.frames >= warmupFrames + framesToCount;
    }
    const Tally t = sortStacks();
    const double frames = framesToCount;
    result.frames = framesToCount;
    result.ours = double(t.ours) / frames;
    result.qtCalled = double(t.qtCalled) / frames;
    result.glDriver = double(driverCount) / frames;
    result.qmlSignals = double(t.qmlSignals) / frames;
    result.outsideHook = double(t.outsideHook) / frames;
    result.unsorted = double(droppedStacks) / frames;
    result.ourSites = perFrame(t.ourSites, framesToCount);
    result.qtSites = perFrame(t.qtSites, framesToCount);
    std::free(stacks);
    stacks = nullptr;
    return result;
}

std::string formatSites(const char* title, const std::vector<std::pair<double, std::string>>& sites, int shown)
{
    std::string text = std::string(title) + " (allocations a frame, call site):\n";
    for (int i = 0; i < int(sites.size()) && i < shown; ++i) {
        char count[32];
        std::snprintf(count, sizeof count, "  %8.2f  ", sites[size_t(i)].first);
        text += count + sites[size_t(i)].second + "\n";
    }
    return text;
}
