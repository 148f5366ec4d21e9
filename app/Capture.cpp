#include "app/Capture.h"

#include "app/AppState.h"
#include "app/Launch.h"
#include "app/Startup.h"
#include "gpu/FrameReadback.h"
#include "platform/Clock.h"
#include "platform/FrameWriter.h"
#include "platform/Notifier.h"
#include "platform/PipedProcess.h"
#include "platform/PngFile.h"
#include "platform/Process.h"
#include "state/DemoDisplay.h"
#include "state/FrameState.h"
#include "state/rocket_flags.h"
#include "sync/Rocket.h"
#include "time/Music.h"
#include "time/Stopwatch.h"
#include "time/TimeState.h"
#include "time/WavExport.h"

#include <QCoreApplication>
#include <QOpenGLContext>
#include <QQuickWindow>
#include <QSurfaceFormat>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <deque>
#include <filesystem>
#include <memory>
#include <system_error>
#include <thread>
#include <unistd.h>

namespace app {

namespace {

// As start-up loads it.
const char* const kMusicFile = "music.mp3";
const char* const kAudioFile = "audio.wav";
const char* const kVideoFile = "capture.mp4";
const char* const kFfmpeg = "ffmpeg";
// The frame files' names hold six digits.
constexpr int kMaxFrames = 999999;
// Frames that may go by before the demo starts playing. One whose main view
// holds no Demo item never does; the capture then ends instead of waiting.
constexpr int kFramesToStart = 600;
// Frames in flight between the GPU and the writers.
constexpr int kReadbackDepth = 2;

std::string frameName(int n)
{
    char name[32];
    std::snprintf(name, sizeof name, "frame_%06d.png", n);
    return name;
}

double msSince(int64_t startNs)
{
    return double(platform::steadyNanoseconds() - startNs) / 1e6;
}

// A capture runs unattended: a box would wait for nobody. Its text goes to
// the standard error stream and the demo runs on.
class StderrNotifier : public platform::INotifier {
public:
    platform::NotifyAnswer notify(const std::string& text, const std::string& caption,
                                  platform::NotifyButtons buttons, platform::NotifyIcon) override
    {
        std::fprintf(stderr, "\n%s:\n%s\n", caption.c_str(), text.c_str());
        return buttons == platform::NotifyButtons::YesNo ? platform::NotifyAnswer::Yes
                                                         : platform::NotifyAnswer::Ok;
    }
};

// "frame n of N, fps, time left" on the standard error stream: one line
// rewritten in place on a terminal, a line every few seconds in a log.
class Progress {
public:
    explicit Progress(int total)
        : total_(total)
        , terminal_(isatty(2) != 0)
    {
    }

    void frameDone(int done)
    {
        const int64_t now = platform::steadyNanoseconds();
        // The rate is measured from the first frame on.
        if (done == 1)
            start_ = shown_ = now;
        const double sinceShown = double(now - shown_) / 1e6;
        if (done != total_ && (done == 1 || sinceShown < (terminal_ ? 250.0 : 3000.0)))
            return;
        shown_ = now;
        const double seconds = double(now - start_) / 1e9;
        const double fps = done > 1 && seconds > 0.0 ? double(done - 1) / seconds : 0.0;
        const int left = fps > 0.0 ? int(std::lround(double(total_ - done) / fps)) : 0;
        std::fprintf(stderr, "%scapture: frame %d of %d, %.1f fps, %d:%02d left%s", terminal_ ? "\r" : "", done,
                     total_, fps, left / 60, left % 60, terminal_ ? "\033[K" : "\n");
        if (terminal_ && done == total_)
            std::fputc('\n', stderr);
        std::fflush(stderr);
    }

private:
    int total_;
    bool terminal_;
    int64_t start_ = 0;
    int64_t shown_ = 0;
};

// Steps the demo clock frame by frame and reads each frame back. Once a
// frame in which the demo played is on screen (the demo's offscreen image
// still intact) it starts the frame's copy, hands finished copies to the
// writers and moves the clock to the next frame's time.
class FrameCapture {
public:
    FrameCapture(QQuickWindow* window, const CaptureOptions& options, int frames, platform::FrameWriter& writer)
        : window_(window)
        , options_(options)
        , frames_(frames)
        , writer_(writer)
        , readback_(std::make_unique<FrameReadback>(options.width, options.height, kReadbackDepth))
        , progress_(frames)
    {
        setTime(0);
        swapped_ = QObject::connect(
            window, &QQuickWindow::frameSwapped, window, [this] { frameSwapped(); }, Qt::DirectConnection);
    }

    ~FrameCapture()
    {
        QObject::disconnect(swapped_);
        releaseReadback();
    }

    bool finished() const { return finished_; }
    const std::string& failure() const { return failure_; }
    int captured() const { return captured_; }
    double wallMs() const { return wallMs_; }
    double ourMs() const { return ourMs_; }

private:
    // Moves the demo clock to frame n's time, and with it the music and the
    // frame timer that stamps the spectrum item's history.
    void setTime(int n)
    {
        const double seconds = double(n) / double(options_.fps);
        Rocket::instance().hold_at(seconds);
        if (Music* music = timeState().music.get())
            music->advance_to(seconds);
        if (Stopwatch* timer = timeState().frameTimer.get())
            timer->hold_at(seconds * 1000.0);
    }

    void frameSwapped()
    {
        if (finished_)
            return;
        // Frames before file playback starts draw no skene. It starts at
        // the beginning of a frame, which then draws at time 0.
        if (Rocket::instance().is_paused()) {
            if (++framesWaited_ > kFramesToStart)
                finish("the demo did not start playing (does fx/main.qml hold a Demo item?)");
            return;
        }
        const int64_t start = platform::steadyNanoseconds();
        if (captured_ == 0)
            startNs_ = start;
        if (QOpenGLContext* context = window_->openglContext())
            context->makeCurrent(window_);
        if (!readback_->queue(frameState().windowFramebuffer)) {
            finish("cannot read the frames back from the GPU");
            return;
        }
        inFlight_.push_back(captured_);
        if (appState().afterCapturedFrame)
            appState().afterCapturedFrame(captured_);
        ++captured_;
        const bool last = captured_ >= frames_;
        while (readback_->full() || (last && readback_->pending() > 0)) {
            if (!handOldestOver()) {
                finish(failure_);
                return;
            }
        }
        if (writer_.failed()) {
            finish(writer_.error());
            return;
        }
        if (last) {
            ourMs_ += msSince(start);
            wallMs_ = msSince(startNs_);
            progress_.frameDone(captured_);
            finish(std::string());
            return;
        }
        setTime(captured_);
        ourMs_ += msSince(start);
        progress_.frameDone(captured_);
    }

    bool handOldestOver()
    {
        std::vector<uint8_t> pixels = writer_.takeBuffer(readback_->frameBytes());
        const int index = inFlight_.front();
        inFlight_.pop_front();
        if (!readback_->takeOldest(pixels.data())) {
            failure_ = "cannot read frame " + std::to_string(index) + " back from the GPU";
            return false;
        }
        // Waiting for room is the writers' time; the report counts it apart.
        const int64_t handOff = platform::steadyNanoseconds();
        writer_.submit(index, std::move(pixels));
        ourMs_ -= msSince(handOff);
        return true;
    }

    void finish(std::string failure)
    {
        finished_ = true;
        failure_ = std::move(failure);
        releaseReadback();
        // The demo renders continuously; nothing more is needed of it.
        QObject::disconnect(window_, &QQuickWindow::afterRendering, window_, &QQuickWindow::update);
        QCoreApplication::exit(0);
    }

    // Its GL objects go with the context current; without a context they
    // went with it.
    void releaseReadback()
    {
        if (!readback_)
            return;
        QOpenGLContext* context = window_->openglContext();
        if (context && context->makeCurrent(window_))
            readback_.reset();
        else
            (void)readback_.release();
    }

    QQuickWindow* window_;
    const CaptureOptions options_;
    const int frames_;
    platform::FrameWriter& writer_;
    std::unique_ptr<FrameReadback> readback_;
    std::deque<int> inFlight_; // frame numbers of the copies under way
    Progress progress_;
    QMetaObject::Connection swapped_;
    bool finished_ = false;
    std::string failure_;
    int framesWaited_ = 0;
    int captured_ = 0;
    int64_t startNs_ = 0;
    double wallMs_ = 0.0;
    double ourMs_ = 0.0;
};

// The encoder settings of capture.mp4: H.264 for the picture, AAC for the
// sound, playable in browsers from the first byte.
std::vector<std::string> videoOutputArgs(const std::string& video)
{
    return {"-c:v", "libx264", "-preset", "medium", "-crf", "18", "-pix_fmt", "yuv420p",
            "-c:a", "aac",     "-b:a",    "320k",   "-movflags", "+faststart", video};
}

// Frames piped in raw, the audio from its file.
std::vector<std::string> pipeArgs(const CaptureOptions& o, const std::string& audio, const std::string& video)
{
    std::vector<std::string> args = {"-hide_banner", "-loglevel", "error", "-y",
                                     "-f", "rawvideo", "-pix_fmt", "rgb24",
                                     "-video_size", std::to_string(o.width) + "x" + std::to_string(o.height),
                                     "-framerate", std::to_string(o.fps), "-i", "-",
                                     "-i", audio, "-map", "0:v", "-map", "1:a"};
    for (std::string& a : videoOutputArgs(video))
        args.push_back(std::move(a));
    return args;
}

// The frame files and the audio file into one video.
std::vector<std::string> muxArgs(const CaptureOptions& o, int frames, const std::string& audio,
                                 const std::string& video)
{
    std::vector<std::string> args = {"-hide_banner", "-loglevel", "error", "-nostdin", "-y",
                                     "-framerate", std::to_string(o.fps), "-start_number", "0",
                                     "-i", o.folder + "/frame_%06d.png", "-i", audio,
                                     "-map", "0:v", "-map", "1:a", "-frames:v", std::to_string(frames)};
    for (std::string& a : videoOutputArgs(video))
        args.push_back(std::move(a));
    return args;
}

// Files of an earlier capture in the folder would mix with this one's: a
// longer one's last frames, a video that no longer matches.
void removeEarlierCapture(const std::string& folder)
{
    std::error_code error;
    for (const auto& entry : std::filesystem::directory_iterator(folder, error)) {
        const std::string name = entry.path().filename().string();
        const bool frame = name.size() == 16 && name.compare(0, 6, "frame_") == 0 &&
                           name.compare(12, 4, ".png") == 0 &&
                           std::all_of(name.begin() + 6, name.begin() + 12, [](char c) { return c >= '0' && c <= '9'; });
        if (frame || name == kVideoFile)
            std::filesystem::remove(entry.path(), error);
    }
}

// Where the time went: the frame as a whole, and the render thread's share
// outside the demo's frame (the copies, the music, waiting for the writers).
void printMeasured(const CaptureReport& r)
{
    if (r.frames < 1)
        return;
    const double frame = r.wallMs / r.frames;
    const double ours = (r.ourMs + r.waitedMs) / r.frames;
    std::fprintf(stderr,
                 "capture: %d frames in %.1f s, %.1f fps; a frame took %.1f ms, %.1f ms of it reading back, "
                 "stepping the music and handing over (%.0f %%); the writers worked %.1f ms a frame\n",
                 r.frames, r.wallMs / 1000.0, r.wallMs > 0.0 ? r.frames * 1000.0 / r.wallMs : 0.0, frame, ours,
                 frame > 0.0 ? 100.0 * ours / frame : 0.0, r.writerMs / r.frames);
}

// Start-up to the first frame, from the clock readings start-up and the
// frame left behind; empty when no frame ended yet.
CaptureReport::StartupSplit measureStartup()
{
    CaptureReport::StartupSplit split;
    const AppState& s = appState();
    const FrameState& fs = frameState();
    if (fs.firstFrameEndNs == 0 || s.startupBeganNs == 0 || s.mainViewShownNs == 0)
        return split;
    const FrameState::LoadTimes& at = fs.loadTimesAtFirstFrame;
    split.totalMs = double(fs.firstFrameEndNs - s.startupBeganNs) * 1e-6;
    split.skeneQmlMs = at.skeneQmlMs;
    split.shaderMs = at.shaderMs;
    split.meshMs = at.meshMs;
    const double toShown = double(s.mainViewShownNs - s.startupBeganNs) * 1e-6;
    split.qtAndViewsMs = std::max(0.0, toShown - at.skeneQmlMs);
    split.firstFrameMs = std::max(0.0, split.totalMs - toShown - at.shaderMs - at.meshMs);
    return split;
}

void printStartup(const CaptureReport::StartupSplit& r)
{
    if (r.totalMs <= 0.0)
        return;
    std::fprintf(stderr,
                 "capture: start-up to the first frame took %.0f ms: Qt and views %.0f ms, skene QML %.0f ms, "
                 "shader compiles %.0f ms, meshes %.0f ms, the rest of the first frame %.0f ms\n",
                 r.totalMs, r.qtAndViewsMs, r.skeneQmlMs, r.shaderMs, r.meshMs, r.firstFrameMs);
}

int failed(const std::string& line)
{
    std::fprintf(stderr, "capture: %s\n", line.c_str());
    return kExitCaptureFailed;
}

// The writers: with a pipe, one, which keeps the frames in order down it;
// else as many as there are cores, each frame a PNG file of its own.
std::unique_ptr<platform::FrameWriter> makeWriter(const CaptureOptions& o, platform::PipedProcess* pipe)
{
    if (pipe) {
        return std::make_unique<platform::FrameWriter>(
            1, 3, [pipe](int index, const std::vector<uint8_t>& pixels, std::string& why) {
                if (pipe->write(pixels.data(), pixels.size()))
                    return true;
                why = "ffmpeg stopped taking frames at frame " + std::to_string(index);
                return false;
            });
    }
    const int threads = std::clamp(int(std::thread::hardware_concurrency()), 1, 8);
    return std::make_unique<platform::FrameWriter>(
        threads, threads + 1,
        [folder = o.folder, width = o.width, height = o.height](int index, const std::vector<uint8_t>& pixels,
                                                                 std::string& why) {
            return platform::writePngFile(folder + "/" + frameName(index), pixels.data(), width, height, why);
        });
}

// The demo clock and the music at 0, held there until the demo plays, then
// stepped frame by frame.
void holdClockAtStart(const CaptureOptions& o)
{
    Rocket& rocket = Rocket::instance();
    if (!rocket.is_paused())
        rocket.on_pause(true);
    if (Music* music = timeState().music.get()) {
        music->set_paused(true);
        music->set_position(0.0);
    }
    rocket.use_fixed_step(1000.0 / double(o.fps));
    // Shaders settle within the frame that compiles them, and the clock does
    // not move meanwhile: no waiting on the wall clock for them.
    frameState().shadersSettled = true;
    // Nor on the mesh imports' pace: every frame waits for its meshes.
    frameState().waitForMeshImports = true;
    // Plays from the track files once the next frame has begun, whatever the
    // demo's main view asks.
    rocket.set_demo_loaded(true);
}

// capture.mp4 from the frame files and the audio, when ffmpeg is there.
int muxVideo(const CaptureOptions& o, int frames, const std::string& audio, const std::string& video)
{
    if (platform::findOnSearchPath(kFfmpeg).empty()) {
        std::fprintf(stderr, "capture: ffmpeg is not on PATH: no %s\n", kVideoFile);
        return kExitOk;
    }
    platform::PipedProcess mux;
    std::string error;
    if (!mux.start(kFfmpeg, muxArgs(o, frames, audio, video), false, error))
        return failed(error);
    if (const int code = mux.wait(); code != 0)
        return failed("ffmpeg ended with code " + std::to_string(code) + ": no " + kVideoFile);
    std::fprintf(stderr, "capture: muxed %s\n", video.c_str());
    return kExitOk;
}

} // namespace

int captureFrameCount(double seconds, int fps)
{
    if (!(seconds > 0.0) || fps <= 0)
        return 0;
    // The last frame's time must lie before the end; a product that is a
    // whole number up to rounding counts as one.
    const double product = seconds * double(fps);
    const double count = std::ceil(product - 1e-6);
    // Frame 0, at time 0, lies within any span.
    return count > double(kMaxFrames) + 1.0 ? kMaxFrames + 1 : int(std::max(1.0, count));
}

int64_t captureAudioFrames(int frames, int fps)
{
    if (frames <= 0 || fps <= 0)
        return 0;
    return (int64_t(frames) * Music::kOutputRate + fps / 2) / fps;
}

std::string readyCaptureFolder(CaptureOptions& options)
{
    std::error_code error;
    const std::filesystem::path folder = std::filesystem::absolute(options.folder, error);
    if (error)
        return "cannot find the capture folder " + options.folder + ": " + error.message();
    std::filesystem::create_directories(folder, error);
    if (error || !std::filesystem::is_directory(folder))
        return "cannot make the capture folder " + options.folder + ": " +
               (error ? error.message() : std::string("a file of that name is in the way"));
    if (access(folder.c_str(), W_OK) != 0)
        return "cannot write into the capture folder " + options.folder;
    options.folder = folder.lexically_normal().string();
    while (options.folder.size() > 1 && options.folder.back() == '/')
        options.folder.pop_back();
    if (options.format == CaptureFormat::Mp4 && platform::findOnSearchPath(kFfmpeg).empty())
        return "-captureFormat:mp4 pipes the frames to ffmpeg, which is not on PATH (install it, or capture PNG frames)";
    return {};
}

void prepareCapture(const CaptureOptions& options)
{
    AppState& s = appState();
    s.start.startAccepted = true;
    s.start.editView = false;
    s.start.selectedResolution = std::to_string(options.width) + "x" + std::to_string(options.height);
    DemoDisplay& display = demoDisplay();
    display.fullScreen = false;
    display.fixedSize = true;
    rocket_flags().rocket_enabled = false;
    // Frames follow each other as fast as they render, never at the pace of
    // the display's refresh.
    QSurfaceFormat format = QSurfaceFormat::defaultFormat();
    format.setSwapInterval(0);
    QSurfaceFormat::setDefaultFormat(format);
    platform::setNotifier(std::make_unique<StderrNotifier>());
}

int runCapture(QQuickWindow* window, const CaptureOptions& options, CaptureReport* report)
{
    Music* music = timeState().music.get();
    double seconds = options.seconds;
    if (seconds <= 0.0)
        seconds = music && music->is_loaded() ? music->length_ms() / 1000.0 : 0.0;
    if (seconds <= 0.0) {
        std::fprintf(stderr, "capture: no music to take the length from: give -captureSeconds:<s>\n");
        return kExitCannotStart;
    }
    const int frames = captureFrameCount(seconds, options.fps);
    if (frames > kMaxFrames)
        return failed("more than " + std::to_string(kMaxFrames) + " frames: capture a shorter span");

    removeEarlierCapture(options.folder);
    const std::string audio = options.folder + "/" + kAudioFile;
    const std::string video = options.folder + "/" + kVideoFile;
    std::string error;
    if (!writeMusicWav(kMusicFile, audio, captureAudioFrames(frames, options.fps), error))
        return failed(error);
    platform::PipedProcess ffmpeg;
    const bool piped = options.format == CaptureFormat::Mp4;
    if (piped && !ffmpeg.start(kFfmpeg, pipeArgs(options, audio, video), true, error))
        return failed(error);
    const std::unique_ptr<platform::FrameWriter> writer = makeWriter(options, piped ? &ffmpeg : nullptr);

    holdClockAtStart(options);
    std::fprintf(stderr, "capture: %d frames of %dx%d at %d fps (%.3f s) into %s\n", frames, options.width,
                 options.height, options.fps, double(frames) / options.fps, options.folder.c_str());
    FrameCapture capture(window, options, frames, *writer);
    window->update();
    QCoreApplication::exec();

    const bool written = writer->finish();
    const int ffmpegCode = piped ? ffmpeg.wait() : 0;
    CaptureReport measured;
    measured.frames = capture.captured();
    measured.wallMs = capture.wallMs();
    measured.ourMs = capture.ourMs();
    measured.waitedMs = writer->waitedMs();
    measured.writerMs = writer->busyMs();
    measured.startup = measureStartup();
    if (report)
        *report = measured;
    if (!capture.finished())
        return failed("stopped after " + std::to_string(capture.captured()) + " of " + std::to_string(frames) +
                      " frames");
    if (!capture.failure().empty())
        return failed(capture.failure());
    if (!written)
        return failed(writer->error());
    printMeasured(measured);
    printStartup(measured.startup);

    if (piped) {
        if (ffmpegCode != 0)
            return failed("ffmpeg ended with code " + std::to_string(ffmpegCode) + ": no " + kVideoFile);
        std::fprintf(stderr, "capture: %d frames written to %s, the music to %s\n", frames, video.c_str(),
                     audio.c_str());
        return kExitOk;
    }
    std::fprintf(stderr, "capture: %d frames written to %s/frame_000000.png ..., the music to %s\n", frames,
                 options.folder.c_str(), audio.c_str());
    return muxVideo(options, frames, audio, video);
}

} // namespace app
