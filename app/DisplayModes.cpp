#include "app/DisplayModes.h"

#include <QGuiApplication>
#include <QScreen>
#include <QSocketNotifier>

#include <algorithm>
#include <csignal>
#include <fcntl.h>
#include <unistd.h>

// Xlib's macros (None, Bool, Status, ...) clash with Qt's names: X headers
// come after every Qt header.
#include <X11/Xlib.h>
#include <X11/extensions/Xrandr.h>

namespace app {

namespace {

// Everything needed to put back a switched mode. The display connection is
// our own and stays open until the restore.
struct DisplayModeState {
    Display* display = nullptr;
    bool switched = false;
    RRCrtc crtc = 0;
    RRMode originalMode = 0;
    int x = 0;
    int y = 0;
    Rotation rotation = RR_Rotate_0;
    std::vector<RROutput> outputs;
    bool screenGrown = false;
    int screenWidth = 0;
    int screenHeight = 0;
    int screenWidthMm = 0;
    int screenHeightMm = 0;

    // SIGINT/SIGTERM reach the GUI thread through this pipe, where the
    // restore can talk to the X server safely.
    int signalPipe[2] = {-1, -1};
    QSocketNotifier* signalNotifier = nullptr;
    // Termination signals since the handler was installed. A second one
    // ends the process at once: the GUI thread may be the one that hangs.
    volatile sig_atomic_t signalsReceived = 0;
    struct sigaction previousInt {};
    struct sigaction previousTerm {};

    int lastXError = 0;

    // Top left of the output that shows the full-screen mode.
    ScreenPoint origin;
};

DisplayModeState& displayModeState()
{
    static DisplayModeState state;
    return state;
}

int trapXError(Display*, XErrorEvent* event)
{
    displayModeState().lastXError = event->error_code;
    return 0;
}

// Turns X errors into a result instead of the default handler's exit, for
// the requests made while it lives.
class XErrorTrap {
public:
    explicit XErrorTrap(Display* display)
        : display_(display)
    {
        XSync(display_, False);
        displayModeState().lastXError = 0;
        previous_ = XSetErrorHandler(trapXError);
    }
    ~XErrorTrap() { XSetErrorHandler(previous_); }
    // Waits for the server's answers; true when any request failed.
    bool failed()
    {
        XSync(display_, False);
        return displayModeState().lastXError != 0;
    }

private:
    Display* display_;
    XErrorHandler previous_ = nullptr;
};

bool onXcb()
{
    return qGuiApp && QGuiApplication::platformName() == QLatin1String("xcb");
}

// The primary output when it is set and connected, else the first connected
// output; 0 when none.
RROutput chooseOutput(Display* display, Window root, XRRScreenResources* res)
{
    const RROutput primary = XRRGetOutputPrimary(display, root);
    RROutput firstConnected = 0;
    for (int i = 0; i < res->noutput; ++i) {
        XRROutputInfo* info = XRRGetOutputInfo(display, res, res->outputs[i]);
        if (!info)
            continue;
        const bool connected = info->connection == RR_Connected;
        XRRFreeOutputInfo(info);
        if (!connected)
            continue;
        if (res->outputs[i] == primary)
            return primary;
        if (!firstConnected)
            firstConnected = res->outputs[i];
    }
    return firstConnected;
}

const XRRModeInfo* findMode(XRRScreenResources* res, RRMode id)
{
    for (int i = 0; i < res->nmode; ++i) {
        if (res->modes[i].id == id)
            return &res->modes[i];
    }
    return nullptr;
}

void onTerminationSignal(int sig)
{
    DisplayModeState& s = displayModeState();
    if (s.signalsReceived++ > 0) {
        // The first one is still waiting for the GUI thread. Only
        // async-signal-safe calls here: the mode stays switched.
        std::signal(sig, SIG_DFL);
        std::raise(sig);
        return;
    }
    const unsigned char byte = static_cast<unsigned char>(sig);
    const int fd = s.signalPipe[1];
    if (fd >= 0) {
        const ssize_t ignored = ::write(fd, &byte, 1);
        (void)ignored;
    }
}

void installSignalRestore()
{
    DisplayModeState& s = displayModeState();
    if (!QCoreApplication::instance() || s.signalNotifier)
        return;
    if (::pipe2(s.signalPipe, O_CLOEXEC | O_NONBLOCK) != 0) {
        s.signalPipe[0] = s.signalPipe[1] = -1;
        return;
    }
    s.signalsReceived = 0;
    s.signalNotifier = new QSocketNotifier(s.signalPipe[0], QSocketNotifier::Read);
    QObject::connect(s.signalNotifier, &QSocketNotifier::activated, [] {
        unsigned char sig = 0;
        if (::read(displayModeState().signalPipe[0], &sig, 1) != 1)
            return;
        restoreDisplayMode();
        // End the way the signal would have ended the process.
        std::signal(sig, SIG_DFL);
        std::raise(sig);
    });
    struct sigaction action {};
    action.sa_handler = onTerminationSignal;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART;
    sigaction(SIGINT, &action, &s.previousInt);
    sigaction(SIGTERM, &action, &s.previousTerm);
}

void removeSignalRestore()
{
    DisplayModeState& s = displayModeState();
    if (!s.signalNotifier)
        return;
    sigaction(SIGINT, &s.previousInt, nullptr);
    sigaction(SIGTERM, &s.previousTerm, nullptr);
    // This may run inside the notifier's own signal: retire it, never delete
    // it under its feet.
    s.signalNotifier->setEnabled(false);
    s.signalNotifier->deleteLater();
    s.signalNotifier = nullptr;
    ::close(s.signalPipe[0]);
    ::close(s.signalPipe[1]);
    s.signalPipe[0] = s.signalPipe[1] = -1;
}

// Reads the leading decimal digits of piece; 0 when there are none or the
// number is larger than kMaxResolutionSide.
int leadingNumber(const std::string& piece)
{
    long value = 0;
    for (const char c : piece) {
        if (c < '0' || c > '9')
            break;
        value = value * 10 + (c - '0');
        if (value > kMaxResolutionSide)
            return 0;
    }
    return int(value);
}

} // namespace

std::vector<std::string> resolutionTexts(const std::vector<DisplayMode>& modes)
{
    std::vector<std::string> out;
    for (const DisplayMode& m : modes) {
        const std::string text = std::to_string(m.width) + "x" + std::to_string(m.height);
        if (std::find(out.begin(), out.end(), text) == out.end())
            out.push_back(text);
    }
    return out;
}

namespace {

// The modes of the chosen output as res describes them; false without one.
bool outputModes(Display* display, Window root, XRRScreenResources* res, std::vector<DisplayMode>& modes)
{
    const RROutput output = chooseOutput(display, root, res);
    XRROutputInfo* info = output ? XRRGetOutputInfo(display, res, output) : nullptr;
    if (!info)
        return false;
    for (int i = 0; i < info->nmode; ++i) {
        if (const XRRModeInfo* mode = findMode(res, info->modes[i]))
            modes.push_back({int(mode->width), int(mode->height)});
    }
    XRRFreeOutputInfo(info);
    return true;
}

} // namespace

bool listXrandrModes(const char* displayName, std::vector<DisplayMode>& modes)
{
    modes.clear();
    Display* display = XOpenDisplay(displayName);
    if (!display)
        return false;
    int eventBase = 0, errorBase = 0;
    bool found = false;
    if (XRRQueryExtension(display, &eventBase, &errorBase)) {
        const Window root = DefaultRootWindow(display);
        // What the server knows already is enough and costs nothing; probing
        // the outputs again can take a noticeable part of a second.
        if (XRRScreenResources* res = XRRGetScreenResourcesCurrent(display, root)) {
            found = outputModes(display, root, res, modes);
            XRRFreeScreenResources(res);
        }
        if (modes.empty()) {
            if (XRRScreenResources* res = XRRGetScreenResources(display, root)) {
                found = outputModes(display, root, res, modes);
                XRRFreeScreenResources(res);
            }
        }
    }
    XCloseDisplay(display);
    return found;
}

std::vector<std::string> listResolutions()
{
    std::vector<DisplayMode> modes;
    if (onXcb() && listXrandrModes(nullptr, modes))
        return resolutionTexts(modes);
    std::vector<std::string> out;
    if (QScreen* screen = qGuiApp ? QGuiApplication::primaryScreen() : nullptr) {
        const QSize size = screen->size();
        out.push_back(std::to_string(size.width()) + "x" + std::to_string(size.height()));
    }
    return out;
}

void applySelectedResolution(const std::string& text, int& width, int& height)
{
    std::vector<std::string> pieces;
    std::string piece;
    for (const char c : text) {
        if (c == 'x') {
            if (!piece.empty())
                pieces.push_back(piece);
            piece.clear();
        } else {
            piece += c;
        }
    }
    if (!piece.empty())
        pieces.push_back(piece);
    const int first = pieces.empty() ? 0 : leadingNumber(pieces[0]);
    if (first == 0)
        return;
    width = first;
    height = pieces.size() > 1 ? leadingNumber(pieces[1]) : 0;
}

namespace {

// Without XRandR (or without an output or crtc to switch) the screen shows
// one size: the start dialog offers just that one, and full screen at it
// needs no switch.
bool screenShows(Display* display, int width, int height)
{
    const int screen = DefaultScreen(display);
    displayModeState().origin = ScreenPoint();
    return DisplayWidth(display, screen) == width && DisplayHeight(display, screen) == height;
}

} // namespace

bool switchXrandrMode(const char* displayName, int width, int height)
{
    DisplayModeState& s = displayModeState();
    if (s.switched)
        restoreDisplayMode();
    if (width <= 0 || height <= 0)
        return false;
    Display* display = XOpenDisplay(displayName);
    if (!display)
        return false;
    int eventBase = 0, errorBase = 0;
    XRRScreenResources* res = nullptr;
    const Window root = DefaultRootWindow(display);
    if (XRRQueryExtension(display, &eventBase, &errorBase))
        res = XRRGetScreenResourcesCurrent(display, root);
    if (!res) {
        const bool shown = screenShows(display, width, height);
        XCloseDisplay(display);
        return shown;
    }

    bool shown = false;   // the output shows width x height at the end
    bool switched = false;
    XRROutputInfo* output = nullptr;
    XRRCrtcInfo* crtc = nullptr;
    const RROutput outputId = chooseOutput(display, root, res);
    if (outputId)
        output = XRRGetOutputInfo(display, res, outputId);
    if (output && output->crtc)
        crtc = XRRGetCrtcInfo(display, res, output->crtc);
    if (!crtc)
        shown = screenShows(display, width, height);
    if (crtc) {
        // The crtc keeps its place when its mode changes.
        s.origin = {crtc->x, crtc->y};
        const XRRModeInfo* current = findMode(res, crtc->mode);
        if (current && int(current->width) == width && int(current->height) == height) {
            shown = true;
        } else {
            RRMode target = 0;
            for (int i = 0; i < output->nmode && !target; ++i) {
                const XRRModeInfo* mode = findMode(res, output->modes[i]);
                if (mode && int(mode->width) == width && int(mode->height) == height)
                    target = mode->id;
            }
            if (target) {
                const int screen = DefaultScreen(display);
                const int screenW = DisplayWidth(display, screen);
                const int screenH = DisplayHeight(display, screen);
                const int neededW = std::max(screenW, crtc->x + width);
                const int neededH = std::max(screenH, crtc->y + height);
                XErrorTrap trap(display);
                bool grown = false;
                if (neededW != screenW || neededH != screenH) {
                    // The crtc must fit the screen: grow the screen first,
                    // keeping its physical size per pixel.
                    const int mmW = DisplayWidthMM(display, screen);
                    const int mmH = DisplayHeightMM(display, screen);
                    XRRSetScreenSize(display, root, neededW, neededH,
                                     screenW ? mmW * neededW / screenW : mmW,
                                     screenH ? mmH * neededH / screenH : mmH);
                    grown = !trap.failed();
                    s.screenWidth = screenW;
                    s.screenHeight = screenH;
                    s.screenWidthMm = mmW;
                    s.screenHeightMm = mmH;
                }
                if (grown || (neededW == screenW && neededH == screenH)) {
                    const Status status = XRRSetCrtcConfig(display, res, output->crtc, CurrentTime, crtc->x,
                                                           crtc->y, target, crtc->rotation, crtc->outputs,
                                                           crtc->noutput);
                    switched = !trap.failed() && status == RRSetConfigSuccess;
                }
                if (switched) {
                    s.crtc = output->crtc;
                    s.originalMode = crtc->mode;
                    s.x = crtc->x;
                    s.y = crtc->y;
                    s.rotation = crtc->rotation;
                    s.outputs.assign(crtc->outputs, crtc->outputs + crtc->noutput);
                    s.screenGrown = grown;
                    shown = true;
                } else if (grown) {
                    XRRSetScreenSize(display, root, screenW, screenH, s.screenWidthMm, s.screenHeightMm);
                    trap.failed();
                }
            }
        }
    }
    if (crtc)
        XRRFreeCrtcInfo(crtc);
    if (output)
        XRRFreeOutputInfo(output);
    XRRFreeScreenResources(res);

    if (switched) {
        s.display = display;
        s.switched = true;
        installSignalRestore();
    } else {
        XCloseDisplay(display);
    }
    return shown;
}

bool enterFullScreenMode(int width, int height)
{
    if (onXcb())
        return switchXrandrMode(nullptr, width, height);
    QScreen* screen = qGuiApp ? QGuiApplication::primaryScreen() : nullptr;
    if (!screen || screen->size() != QSize(width, height))
        return false;
    displayModeState().origin = {screen->geometry().x(), screen->geometry().y()};
    return true;
}

ScreenPoint fullScreenOrigin()
{
    return displayModeState().origin;
}

void restoreDisplayMode()
{
    DisplayModeState& s = displayModeState();
    if (!s.switched)
        return;
    s.switched = false;
    Display* display = s.display;
    s.display = nullptr;
    const Window root = DefaultRootWindow(display);
    {
        XErrorTrap trap(display);
        if (XRRScreenResources* res = XRRGetScreenResourcesCurrent(display, root)) {
            XRRSetCrtcConfig(display, res, s.crtc, CurrentTime, s.x, s.y, s.originalMode, s.rotation,
                             s.outputs.data(), int(s.outputs.size()));
            XRRFreeScreenResources(res);
        }
        if (s.screenGrown)
            XRRSetScreenSize(display, root, s.screenWidth, s.screenHeight, s.screenWidthMm, s.screenHeightMm);
        trap.failed();
    }
    XCloseDisplay(display);
    removeSignalRestore();
}

bool displayModeSwitched()
{
    return displayModeState().switched;
}

} // namespace app
