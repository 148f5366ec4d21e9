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
// table (markdown, to -out) and says whether the session held up: memory
// within 5 % of what it was after the warm-up (the first fifth of the run,
// at most a minute), and the drift within one 60 Hz frame. -frames ends the
// session after that many frames instead (for the leak check under
// LeakSanitizer). Exit code 0 when it held up, 1 when not, 2 when it could
// not run.
//
// The drift: the music position moves in steps of one audio buffer while
// the demo clock moves smoothly, so their difference saws up and down by a
// buffer's length. The midpoint of that saw over the last second, taken
// against its value in the first second after the clock was last set from
// the music, is the drift.
#include "app/AppState.h"
#include "app/ProcessState.h"
#include "app/Startup.h"
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
    long rssKb = 0, anonKb = 0, fileKb = 0, shmemKb = 0;
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
                   {"RssShmem:", &Memory::shmemKb}};
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
    long rssKb;
    Memory memory;
    double demoClock;
    double music;
    double driftMs;
    int frames;
    int sessions;
};

// The saw of clock minus music over the last second: its midpoint.
struct Saw {
    double lo = 1e9, hi = -1e9;
    void add(double ms)
    {
        lo = std::min(lo, ms);
        hi = std::max(hi, ms);
    }
    bool empty() const { return lo > hi; }
    double mid() const { return (lo + hi) / 2.0; }
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
    // The table lands where it was asked for from here, not in the demo.
    if (!o.out.empty() && o.out[0] != '/') {
        char here[4096];
        if (::getcwd(here, sizeof here))
            o.out = std::string(here) + "/" + o.out;
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
    bool playing = false;
    Saw window;        // the last second
    Saw baselineSaw;   // the first second after the clock was set
    double baseline = 0.0;
    bool haveBaseline = false;
    QElapsedTimer sinceAnchor;
    QElapsedTimer windowAge;
    QTimer sampler;

    appState().beforeMainLoop = [&] {
        QQuickView* view = appState().mainView;
        wall.start();
        windowAge.start();
        QObject::connect(view, &QQuickWindow::frameSwapped, view, [&] {
            ++frames;
            if (o.frames > 0 && frames >= o.frames)
                QCoreApplication::exit(0);
            Music* music = timeState().music.get();
            if (!music || !music->is_loaded())
                return;
            const bool nowPlaying = !rocket.is_paused() && music->is_playing();
            if (nowPlaying && !playing) {
                sinceAnchor.start();
                baselineSaw = Saw();
                haveBaseline = false;
            }
            playing = nowPlaying;
            if (!playing)
                return;
            // Near its end the music starts over, as an author's editor
            // would have it: the clock is set from the music again.
            if (music->position() * 1000.0 > double(music->length_ms()) - 1500.0) {
                rocket.on_set_row(0);
                music->set_position(0.0);
                sinceAnchor.start();
                baselineSaw = Saw();
                haveBaseline = false;
                window = Saw();
                return;
            }
            const double offset = (rocket.current_seconds() - music->position()) * 1000.0;
            if (sinceAnchor.elapsed() < 1000) {
                baselineSaw.add(offset);
            } else if (!haveBaseline && !baselineSaw.empty()) {
                baseline = baselineSaw.mid();
                haveBaseline = true;
            }
            if (windowAge.elapsed() >= 1000) {
                window = Saw();
                windowAge.start();
            }
            window.add(offset);
        });
        sampler.setInterval(10000);
        QObject::connect(&sampler, &QTimer::timeout, [&] {
            Music* music = timeState().music.get();
            Sample s{};
            s.seconds = double(wall.elapsed()) / 1000.0;
            s.memory = memoryNow();
            s.rssKb = s.memory.rssKb;
            s.demoClock = rocket.current_seconds();
            s.music = music ? music->position() : 0.0;
            s.driftMs = haveBaseline && !window.empty() ? window.mid() - baseline : 0.0;
            s.frames = frames;
            s.sessions = editor ? editor->sessions() : 0;
            samples.push_back(s);
            std::fprintf(stderr,
                         "soak: %6.0f s  rss %7.1f MB (anon %.1f, file %.1f, shmem %.1f; malloc held %.1f, "
                         "in use %.1f)  clock %8.3f s  music %8.3f s  drift %+6.2f ms  frames %d  editor sessions %d\n",
                         s.seconds, s.rssKb / 1024.0, s.memory.anonKb / 1024.0, s.memory.fileKb / 1024.0,
                         s.memory.shmemKb / 1024.0, s.memory.mallocHeldMb, s.memory.mallocUsedMb, s.demoClock, s.music,
                         s.driftMs, s.frames, s.sessions);
            if (o.frames == 0 && s.seconds >= o.seconds)
                QCoreApplication::exit(0);
        });
        sampler.start();
    };

    static char name[] = "tarvonic";
    char* startArgv[] = {name, nullptr};
    const int code = app::runStartup(1, startArgv);
    editor.reset();
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
    const long warmRss = samples[warmIndex].rssKb;
    long peakRss = 0;
    double worstDrift = 0.0;
    for (size_t i = warmIndex; i < samples.size(); ++i) {
        peakRss = std::max(peakRss, samples[i].rssKb);
        worstDrift = std::max(worstDrift, std::abs(samples[i].driftMs));
    }
    const double growth = 100.0 * double(peakRss - warmRss) / double(warmRss);
    const bool held = growth <= 5.0 && worstDrift <= kFrameMs;

    std::ostringstream table;
    table << "| time (s) | RSS (MB) | anon | file | shmem | malloc held | malloc in use | demo clock (s) | music (s) "
             "| drift (ms) | frames | editor sessions |\n"
          << "|---:|---:|---:|---:|---:|---:|---:|---:|---:|---:|---:|---:|\n";
    char line[320];
    for (const Sample& s : samples) {
        const Memory& m = s.memory;
        std::snprintf(line, sizeof line,
                      "| %.0f | %.1f | %.1f | %.1f | %.1f | %.1f | %.1f | %.3f | %.3f | %+.2f | %d | %d |\n",
                      s.seconds, s.rssKb / 1024.0, m.anonKb / 1024.0, m.fileKb / 1024.0, m.shmemKb / 1024.0,
                      m.mallocHeldMb, m.mallocUsedMb, s.demoClock, s.music, s.driftMs, s.frames, s.sessions);
        table << line;
    }
    std::snprintf(line, sizeof line,
                  "\nRSS after the warm-up (%.0f s): %.1f MB; peak after it: %.1f MB (%+.2f %%, limit 5 %%). "
                  "Worst drift: %.2f ms (limit one frame, %.2f ms). %s\n",
                  warm, warmRss / 1024.0, peakRss / 1024.0, growth, worstDrift, kFrameMs,
                  held ? "Held up." : "FAILED.");
    table << line;
    std::fputs(table.str().c_str(), stdout);
    if (!o.out.empty()) {
        std::ofstream out(o.out);
        out << table.str();
    }
    return held ? 0 : 1;
}
