// A long session of a demo, as an author has it while editing: the demo
// plays (headless under Xvfb is fine), starting over near the end of its
// music, while a sync editor of our own connects, serves the demo's tracks
// from its track files, and goes away again every few seconds.
//
//   soak_demo <demo folder> [-seconds:<n>] [-frames:<n>] [-editorPeriod:<ms>]
//             [-port:<n>] [-out:<file.md>] [-noEditor]
//
// Every 10 s it records the process's memory (RSS), the demo clock, the
// music position and the drift between the two, and at the end writes a
// table (markdown, to -out) and says whether the session held up: the
// highest memory after the warm-up (the first fifth of the run, at most a
// minute) within 5 % of the highest during it, and the drift within one
// 60 Hz frame. -frames ends the
// session after that many frames instead (for the leak check under
// LeakSanitizer). Exit code 0 when it held up, 1 when not, 2 when it could
// not run.
//
// The drift: the demo clock minus the position the music output sounds
// (which moves smoothly between its buffers), each second the median of the
// frames in it, so that one frame that met a late buffer does not stand for
// the second; the table shows the last second before each row.
//
// -mallocInfo:<file> appends malloc's own account of every arena at each
// row, and -offsets:<file> writes every frame's drift, for looking into a
// failed run.
#include "app/AppState.h"
#include "app/ProcessState.h"
#include "app/Startup.h"
#include "platform/FreeMemory.h"
#include "platform/Notifier.h"
#include "sync/Rocket.h"
#include "sync/track_file.h"
#include "time/Music.h"
#include "time/TimeState.h"
#include "tracker/lib/wire.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QQuickItem>
#include <QQuickView>
#include <QTimer>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include <arpa/inet.h>
#include <malloc.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

namespace {

constexpr double kFrameMs = 1000.0 / 60.0;

struct Options {
    std::string demo;
    int seconds = 1800;
    int frames = 0;
    int editorPeriodMs = 4000;
    int port = 23380;
    std::string out;
    std::string mallocInfo;
    std::string offsets;
    bool editor = true;
};

bool parse(int argc, char** argv, Options& o)
{
    for (int i = 1; i < argc; ++i) {
        const std::string a = argv[i];
        auto value = [&](const char* key, int& v) {
            if (a.rfind(key, 0) != 0)
                return false;
            v = std::atoi(a.c_str() + std::strlen(key));
            return true;
        };
        if (value("-seconds:", o.seconds) || value("-frames:", o.frames) || value("-editorPeriod:", o.editorPeriodMs)
            || value("-port:", o.port))
            continue;
        if (a.rfind("-out:", 0) == 0)
            o.out = a.substr(5);
        else if (a.rfind("-offsets:", 0) == 0)
            o.offsets = a.substr(9);
        else if (a.rfind("-mallocInfo:", 0) == 0)
            o.mallocInfo = a.substr(12);
        else if (a == "-noEditor")
            o.editor = false;
        else if (a[0] != '-' && o.demo.empty())
            o.demo = a;
        else
            return false;
    }
    return !o.demo.empty();
}

// The resident size and where it lives: anonymous memory (malloc's heaps
// and the mappings that the QML engine and the driver make of their own),
// file pages, shared memory (images the X server shares with the window);
// and what malloc holds and hands out, summed over every thread's arena.
// A step in the resident size that malloc's figures do not show was mapped
// past malloc.
struct Memory {
    long rssKb = 0, anonKb = 0, fileKb = 0, shmemKb = 0, threads = 0;
    double mallocHeldMb = 0.0, mallocUsedMb = 0.0;
};

Memory memoryNow()
{
    Memory m;
    std::ifstream status("/proc/self/status");
    std::string line;
    const struct {
        const char* key;
        long Memory::*field;
    } kFields[] = {{"VmRSS:", &Memory::rssKb}, {"RssAnon:", &Memory::anonKb}, {"RssFile:", &Memory::fileKb},
                   {"RssShmem:", &Memory::shmemKb}, {"Threads:", &Memory::threads}};
    while (std::getline(status, line)) {
        for (const auto& f : kFields) {
            if (line.rfind(f.key, 0) == 0)
                m.*f.field = std::atol(line.c_str() + std::strlen(f.key));
        }
    }
    const struct mallinfo2 info = mallinfo2();
    m.mallocHeldMb = double(info.arena + info.hblkhd) / (1024.0 * 1024.0);
    m.mallocUsedMb = double(info.uordblks + info.hblkhd) / (1024.0 * 1024.0);
    return m;
}

// Boxes would wait for a click nobody gives: each goes to the log instead.
class LoggingNotifier : public platform::INotifier {
public:
    platform::NotifyAnswer notify(const std::string& text, const std::string& caption, platform::NotifyButtons buttons,
                                  platform::NotifyIcon) override
    {
        std::fprintf(stderr, "soak: box \"%s\": %s\n", caption.c_str(), text.c_str());
        return buttons == platform::NotifyButtons::YesNo ? platform::NotifyAnswer::Yes : platform::NotifyAnswer::Ok;
    }
};

// Our sync editor's part, on a thread of its own: takes the demo, starts it
// playing, answers every track it asks for with the keys of the demo's own
// track file, and closes the connection after periodMs; then waits a
// second before it takes the demo again.
class CyclingEditor {
public:
    CyclingEditor(int port, int periodMs)
        : periodMs_(periodMs)
    {
        listen_ = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
        const int one = 1;
        ::setsockopt(listen_, SOL_SOCKET, SO_REUSEADDR, &one, sizeof one);
        sockaddr_in a{};
        a.sin_family = AF_INET;
        a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        a.sin_port = htons(uint16_t(port));
        ok_ = ::bind(listen_, reinterpret_cast<sockaddr*>(&a), sizeof a) == 0 && ::listen(listen_, 4) == 0;
        if (ok_)
            thread_ = std::thread([this] { run(); });
    }
    ~CyclingEditor()
    {
        stop_ = true;
        if (thread_.joinable())
            thread_.join();
        ::close(listen_);
    }
    bool ok() const { return ok_; }
    int sessions() const { return sessions_; }

private:
    static bool sendAll(int fd, const std::string& bytes)
    {
        size_t done = 0;
        while (done < bytes.size()) {
            const ssize_t n = ::send(fd, bytes.data() + done, bytes.size() - done, MSG_NOSIGNAL);
            if (n <= 0)
                return false;
            done += size_t(n);
        }
        return true;
    }

    void serve(int fd)
    {
        tracker::DemoStreamDecoder decoder;
        bool counted = false;
        QElapsedTimer served;
        served.start();
        while (!stop_ && served.elapsed() < periodMs_) {
            pollfd p{fd, POLLIN, 0};
            if (::poll(&p, 1, 20) != 1)
                continue;
            char buf[4096];
            const ssize_t n = ::recv(fd, buf, sizeof buf, 0);
            if (n <= 0)
                return;
            decoder.feed(buf, size_t(n));
            tracker::DemoMessage m;
            for (;;) {
                const auto r = decoder.next(&m);
                if (r == tracker::DemoStreamDecoder::Result::NeedMore)
                    break;
                if (r == tracker::DemoStreamDecoder::Result::Garbage)
                    return;
                std::string out;
                if (r == tracker::DemoStreamDecoder::Result::Greeted) {
                    out.append(tracker::editor_greeting, tracker::editor_greeting_len);
                    tracker::encode_pause(out, false, 0); // play
                } else if (m.cmd == SyncCommand::GET_TRACK) {
                    if (!counted) {
                        ++sessions_;
                        counted = true;
                    }
                    SyncTrack track{};
                    const std::string path = "sync/sync_" + m.name + ".track";
                    if (read_track_file_at(&track, path.c_str()) == 0 && track.num_keys > 0) {
                        for (int k = 0; k < track.num_keys; ++k)
                            tracker::encode_set_key(out, m.index, track.keys[k].row, track.keys[k].value,
                                                    uint8_t(track.keys[k].type));
                    } else {
                        tracker::encode_set_no_key(out, m.index);
                    }
                    clear_keys(&track);
                }
                if (!out.empty() && !sendAll(fd, out))
                    return;
            }
        }
    }

    void run()
    {
        while (!stop_) {
            pollfd p{listen_, POLLIN, 0};
            if (::poll(&p, 1, 50) != 1)
                continue;
            const int fd = ::accept4(listen_, nullptr, nullptr, SOCK_CLOEXEC);
            if (fd < 0)
                continue;
            serve(fd);
            ::close(fd);
            for (int i = 0; i < 20 && !stop_; ++i)
                std::this_thread::sleep_for(std::chrono::milliseconds(50));
        }
    }

    int periodMs_;
    int listen_ = -1;
    bool ok_ = false;
    std::atomic<bool> stop_{false};
    std::atomic<int> sessions_{0};
    std::thread thread_;
};

struct Sample {
    double seconds;
    Memory memory;
    double demoClock;
    double music;
    double driftMs;
    int frames;
    int sessions;
};

// Clock minus music, frame by frame over one second: its median, so that
// one frame that met a late output buffer does not stand for the second.
struct Second {
    std::vector<double> offsets;
    double median()
    {
        std::sort(offsets.begin(), offsets.end());
        const size_t n = offsets.size();
        return n % 2 ? offsets[n / 2] : (offsets[n / 2 - 1] + offsets[n / 2]) / 2.0;
    }
};

struct SecondDrift {
    double seconds;  // wall time at the end of that second
    double driftMs;
};

} // namespace

int main(int argc, char** argv)
{
    // The demo's state for the whole session, as the program makes it.
    ProcessState state;
    Options o;
    if (!parse(argc, argv, o)) {
        std::fprintf(stderr, "usage: soak_demo <demo folder> [-seconds:n] [-frames:n] [-editorPeriod:ms] [-port:n] "
                             "[-out:file.md] [-noEditor]\n");
        return 2;
    }
    // The files land where they were asked for from here, not in the demo.
    for (std::string* path : {&o.out, &o.mallocInfo, &o.offsets}) {
        char here[4096];
        if (!path->empty() && (*path)[0] != '/' && ::getcwd(here, sizeof here))
            *path = std::string(here) + "/" + *path;
    }
    if (::chdir(o.demo.c_str()) != 0) {
        std::fprintf(stderr, "soak: cannot enter %s\n", o.demo.c_str());
        return 2;
    }
    qputenv("QSG_RENDER_LOOP", "basic");
    QApplication app(argc, argv);
    platform::setNotifier(std::make_unique<LoggingNotifier>());

    std::unique_ptr<CyclingEditor> editor;
    if (o.editor) {
        editor = std::make_unique<CyclingEditor>(o.port, o.editorPeriodMs);
        if (!editor->ok()) {
            std::fprintf(stderr, "soak: port %d is taken\n", o.port);
            return 2;
        }
    }
    Rocket& rocket = Rocket::instance();
    rocket.set_base_port(o.port);
    appState().launchProgram = nullptr; // our editor is already there

    // The start dialog, answered the way an author would.
    QTimer dialog;
    dialog.setInterval(50);
    QObject::connect(&dialog, &QTimer::timeout, [&] {
        QQuickView* view = appState().startDialogView;
        QQuickItem* root = view ? view->rootObject() : nullptr;
        if (!root)
            return;
        QObject* controller = nullptr;
        for (QObject* child : root->findChildren<QObject*>()) {
            if (std::strcmp(child->metaObject()->className(), "RocketQML") == 0)
                controller = child;
        }
        if (!controller)
            return;
        dialog.stop();
        QMetaObject::invokeMethod(controller, "setEditViewEnabled", Q_ARG(bool, false));
        QMetaObject::invokeMethod(controller, "setFullScreen", Q_ARG(bool, false));
        QMetaObject::invokeMethod(controller, "setRocketEnabled", Q_ARG(bool, o.editor));
        QMetaObject::invokeMethod(controller, "setMultiRocketEnabled", Q_ARG(bool, false));
        QMetaObject::invokeMethod(controller, "setSelectedResolution", Q_ARG(QString, QStringLiteral("640x360")));
        QMetaObject::invokeMethod(controller, "startDemo");
    });
    dialog.start();

    std::vector<Sample> samples;
    QElapsedTimer wall;
    int frames = 0;
    Second second;
    std::vector<SecondDrift> seconds;
    double worstFrameMs = 0.0, worstFrameAt = 0.0;
    QElapsedTimer secondAge;
    QElapsedTimer sinceRestart;
    QTimer sampler;

    FILE* offsetsFile = o.offsets.empty() ? nullptr : std::fopen(o.offsets.c_str(), "w");
    appState().beforeMainLoop = [&] {
        QQuickView* view = appState().mainView;
        wall.start();
        secondAge.start();
        QObject::connect(view, &QQuickWindow::frameSwapped, view, [&] {
            ++frames;
            if (o.frames > 0 && frames >= o.frames)
                QCoreApplication::exit(0);
            Music* music = timeState().music.get();
            if (!music || !music->is_loaded())
                return;
            // Near its end the music starts over, as an author's editor
            // would have it: the clock is set from the music again. Asked
            // before whether it still plays: a long frame can carry it past
            // its end, where it has stopped.
            if (!rocket.is_paused() && music->position() * 1000.0 > double(music->length_ms()) - 1500.0) {
                rocket.on_set_row(0);
                music->set_position(0.0);
                sinceRestart.start();
                return;
            }
            // The music starts at the new place with the output's next
            // buffer, up to a buffer after the clock did, and the clock meets
            // it over the next two frames: a seek's start, not drift.
            if (rocket.is_paused() || !music->is_playing()
                || (sinceRestart.isValid() && sinceRestart.elapsed() < 500))
                return;
            // Against what sounds now, which moves smoothly between the
            // output's buffers: the clock and the music together read 0.
            const double offset = (rocket.current_seconds() - music->sounding_position()) * 1000.0;
            const double at = double(wall.elapsed()) / 1000.0;
            if (std::abs(offset) > std::abs(worstFrameMs)) {
                worstFrameMs = offset;
                worstFrameAt = at;
            }
            if (secondAge.elapsed() >= 1000 && !second.offsets.empty()) {
                seconds.push_back({at, second.median()});
                second.offsets.clear();
                secondAge.start();
            }
            second.offsets.push_back(offset);
            if (offsetsFile)
                std::fprintf(offsetsFile, "%lld %.3f %.4f\n", (long long)wall.elapsed(), offset, music->position());
        });
        sampler.setInterval(10000);
        QObject::connect(&sampler, &QTimer::timeout, [&] {
            Music* music = timeState().music.get();
            Sample s{};
            s.seconds = double(wall.elapsed()) / 1000.0;
            s.memory = memoryNow();
            s.demoClock = rocket.current_seconds();
            s.music = music ? music->position() : 0.0;
            s.driftMs = seconds.empty() ? 0.0 : seconds.back().driftMs;
            s.frames = frames;
            s.sessions = editor ? editor->sessions() : 0;
            samples.push_back(s);
            if (!o.mallocInfo.empty()) {
                if (FILE* f = std::fopen(o.mallocInfo.c_str(), "a")) {
                    std::fprintf(f, "<sample seconds=\"%.0f\" rssKb=\"%ld\" threads=\"%ld\">\n", s.seconds,
                                 s.memory.rssKb, s.memory.threads);
                    malloc_info(0, f);
                    std::fputs("</sample>\n", f);
                    std::fclose(f);
                }
            }
            std::fprintf(stderr,
                         "soak: %6.0f s  rss %7.1f MB (anon %.1f, file %.1f, shmem %.1f; malloc held %.1f, "
                         "in use %.1f; %ld threads)  clock %8.3f s  music %8.3f s  drift %+6.2f ms  frames %d  "
                         "editor sessions %d\n",
                         s.seconds, s.memory.rssKb / 1024.0, s.memory.anonKb / 1024.0, s.memory.fileKb / 1024.0,
                         s.memory.shmemKb / 1024.0, s.memory.mallocHeldMb, s.memory.mallocUsedMb, s.memory.threads,
                         s.demoClock, s.music, s.driftMs, s.frames, s.sessions);
            if (o.frames == 0 && s.seconds >= o.seconds)
                QCoreApplication::exit(0);
        });
        sampler.start();
    };

    static char name[] = "tarvonic";
    char* startArgv[] = {name, nullptr};
    const int code = app::runStartup(1, startArgv);
    editor.reset();
    if (offsetsFile)
        std::fclose(offsetsFile);
    if (code != 0) {
        std::fprintf(stderr, "soak: the demo ended with code %d\n", code);
        return 2;
    }
    if (o.frames > 0) {
        std::fprintf(stderr, "soak: %d frames\n", frames);
        return 0;
    }
    if (samples.size() < 3) {
        std::fprintf(stderr, "soak: too short to judge\n");
        return 2;
    }

    // Warm-up: the first fifth of the run, at most a minute.
    const double warm = std::min(60.0, samples.back().seconds / 5.0);
    size_t warmIndex = 0;
    while (warmIndex + 1 < samples.size() && samples[warmIndex].seconds < warm)
        ++warmIndex;
    // Peak against peak: the software rasterizer takes and gives back tens
    // of megabytes from one draw to the next, and the program hands freed
    // pages back once a second, so a single sample may land high or low.
    // Growth is a peak later in the run above the peaks of the warm-up.
    const long warmRss = samples[warmIndex].memory.rssKb;
    long warmPeakRss = 0, peakRss = 0;
    for (size_t i = 0; i <= warmIndex; ++i)
        warmPeakRss = std::max(warmPeakRss, samples[i].memory.rssKb);
    for (size_t i = warmIndex + 1; i < samples.size(); ++i)
        peakRss = std::max(peakRss, samples[i].memory.rssKb);
    // The drift counts from the first seconds of play on, every second.
    double worstDrift = 0.0, worstDriftAt = 0.0;
    for (const SecondDrift& d : seconds) {
        if (d.seconds >= 10.0 && std::abs(d.driftMs) > std::abs(worstDrift)) {
            worstDrift = d.driftMs;
            worstDriftAt = d.seconds;
        }
    }
    const double growth = 100.0 * double(peakRss - warmPeakRss) / double(warmPeakRss);
    const bool held = growth <= 5.0 && std::abs(worstDrift) <= kFrameMs;

    std::ostringstream table;
    table << "| time (s) | RSS (MB) | anon | file | shmem | malloc held | malloc in use | demo clock (s) | music (s) "
             "| drift (ms) | frames | editor sessions |\n"
          << "|---:|---:|---:|---:|---:|---:|---:|---:|---:|---:|---:|---:|\n";
    char line[400];
    for (const Sample& s : samples) {
        const Memory& m = s.memory;
        std::snprintf(line, sizeof line,
                      "| %.0f | %.1f | %.1f | %.1f | %.1f | %.1f | %.1f | %.3f | %.3f | %+.2f | %d | %d |\n",
                      s.seconds, s.memory.rssKb / 1024.0, m.anonKb / 1024.0, m.fileKb / 1024.0, m.shmemKb / 1024.0,
                      m.mallocHeldMb, m.mallocUsedMb, s.demoClock, s.music, s.driftMs, s.frames, s.sessions);
        table << line;
    }
    std::snprintf(line, sizeof line,
                  "\nRSS after the warm-up (%.0f s): %.1f MB, its peak then %.1f MB; peak after it: %.1f MB "
                  "(%+.2f %%, limit 5 %%). "
                  "Worst drift over a second: %+.2f ms at %.0f s (limit one frame, %.2f ms; worst single frame "
                  "%+.2f ms at %.0f s). %s\n",
                  warm, warmRss / 1024.0, warmPeakRss / 1024.0, peakRss / 1024.0, growth, worstDrift, worstDriftAt,
                  kFrameMs, worstFrameMs, worstFrameAt, held ? "Held up." : "FAILED.");
    table << line;
    const platform::FreeMemoryReleases releases = platform::freeMemoryReleases();
    if (releases.count > 0) {
        std::snprintf(line, sizeof line,
                      "Free memory given back %lld times (once a second), %.2f ms each on average, %.2f ms at worst.\n",
                      (long long)releases.count, double(releases.totalNs) / double(releases.count) / 1e6,
                      double(releases.worstNs) / 1e6);
        table << line;
    }
    std::fputs(table.str().c_str(), stdout);
    if (!o.out.empty()) {
        std::ofstream out(o.out);
        out << table.str();
    }
    return held ? 0 : 1;
}
