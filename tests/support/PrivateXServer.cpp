#include "support/PrivateXServer.h"

#include <csignal>
#include <cstring>
#include <fcntl.h>
#include <fstream>
#include <sys/wait.h>
#include <unistd.h>

// Xlib's macros clash with other names: X headers come last.
#include <X11/Xlib.h>
#include <X11/extensions/Xrandr.h>

using app::DisplayMode;

namespace {

// The server that holds display number writes its process id into the lock
// file: the one way to know that a server there is ours.
pid_t lockOwner(int number)
{
    std::ifstream lock("/tmp/.X" + std::to_string(number) + "-lock");
    long pid = -1;
    lock >> pid;
    return lock ? pid_t(pid) : -1;
}

} // namespace

PrivateXServer::PrivateXServer(const char* screen, bool randr)
{
    // Display numbers far from the ones xvfb-run hands out, spread by
    // process so that tests running side by side rarely meet.
    const int base = 300 + int(::getpid() % 400);
    for (int n = base; n < base + 20 && name_.empty(); ++n)
        tryDisplay(n, screen, randr);
}

PrivateXServer::~PrivateXServer()
{
    stop();
}

void PrivateXServer::tryDisplay(int number, const char* screen, bool randr)
{
    const std::string name = ":" + std::to_string(number);
    if (::access(("/tmp/.X" + std::to_string(number) + "-lock").c_str(), F_OK) == 0)
        return;
    pid_ = ::fork();
    if (pid_ == 0) {
        const int devNull = ::open("/dev/null", O_WRONLY);
        ::dup2(devNull, 1);
        ::dup2(devNull, 2);
        ::execl("/usr/bin/Xvfb", "Xvfb", name.c_str(), "-screen", "0", screen, "-nolisten", "tcp", "-noreset",
                randr ? "+extension" : "-extension", "RANDR", static_cast<char*>(nullptr));
        ::_exit(127);
    }
    if (pid_ < 0)
        return;
    // Ready once it accepts a connection; gone when the number was taken.
    for (int waited = 0; waited < 100; ++waited) {
        if (::waitpid(pid_, nullptr, WNOHANG) == pid_) {
            pid_ = -1;
            return;
        }
        if (lockOwner(number) == pid_) {
            if (Display* d = XOpenDisplay(name.c_str())) {
                XCloseDisplay(d);
                name_ = name;
                return;
            }
        }
        ::usleep(100000);
    }
    stop();
}

void PrivateXServer::stop()
{
    if (pid_ > 0) {
        ::kill(pid_, SIGTERM);
        ::waitpid(pid_, nullptr, 0);
    }
    pid_ = -1;
}

XrandrProbe::XrandrProbe(const char* displayName)
    : display_(XOpenDisplay(displayName))
{
}

XrandrProbe::~XrandrProbe()
{
    if (display_)
        XCloseDisplay(display_);
}

void XrandrProbe::addMode(int width, int height, int refreshHz)
{
    const Window root = DefaultRootWindow(display_);
    const std::string name = std::to_string(width) + "x" + std::to_string(height) + "_" + std::to_string(refreshHz);
    XRRModeInfo info;
    std::memset(&info, 0, sizeof info);
    info.width = unsigned(width);
    info.height = unsigned(height);
    info.hTotal = unsigned(width + 100);
    info.vTotal = unsigned(height + 10);
    info.dotClock = (unsigned long)refreshHz * info.hTotal * info.vTotal;
    info.name = const_cast<char*>(name.c_str());
    info.nameLength = unsigned(name.size());
    const RRMode mode = XRRCreateMode(display_, root, &info);
    XRRScreenResources* res = XRRGetScreenResourcesCurrent(display_, root);
    XRRAddOutputMode(display_, res->outputs[0], mode);
    XRRFreeScreenResources(res);
    XSync(display_, False);
}

DisplayMode XrandrProbe::currentMode()
{
    XRRScreenResources* res = XRRGetScreenResourcesCurrent(display_, DefaultRootWindow(display_));
    XRRCrtcInfo* crtc = XRRGetCrtcInfo(display_, res, res->crtcs[0]);
    const DisplayMode out{int(crtc->width), int(crtc->height)};
    XRRFreeCrtcInfo(crtc);
    XRRFreeScreenResources(res);
    return out;
}

DisplayMode XrandrProbe::screenSize()
{
    XSync(display_, False);
    Display* fresh = XOpenDisplay(DisplayString(display_));
    const DisplayMode out{DisplayWidth(fresh, 0), DisplayHeight(fresh, 0)};
    XCloseDisplay(fresh);
    return out;
}

void XrandrProbe::placeMode(int width, int height, int x, int y)
{
    const Window root = DefaultRootWindow(display_);
    XRRScreenResources* res = XRRGetScreenResourcesCurrent(display_, root);
    XRROutputInfo* output = XRRGetOutputInfo(display_, res, res->outputs[0]);
    XRRCrtcInfo* crtc = XRRGetCrtcInfo(display_, res, output->crtc);
    for (int i = 0; i < output->nmode; ++i) {
        for (int k = 0; k < res->nmode; ++k) {
            if (res->modes[k].id == output->modes[i] && int(res->modes[k].width) == width
                && int(res->modes[k].height) == height) {
                XRRSetCrtcConfig(display_, res, output->crtc, CurrentTime, x, y, res->modes[k].id, crtc->rotation,
                                 crtc->outputs, crtc->noutput);
                i = output->nmode;
                break;
            }
        }
    }
    XRRFreeCrtcInfo(crtc);
    XRRFreeOutputInfo(output);
    XRRFreeScreenResources(res);
    XSync(display_, False);
}

void XrandrProbe::showMode(int width, int height)
{
    const Window root = DefaultRootWindow(display_);
    XRRScreenResources* res = XRRGetScreenResourcesCurrent(display_, root);
    XRROutputInfo* output = XRRGetOutputInfo(display_, res, res->outputs[0]);
    XRRCrtcInfo* crtc = XRRGetCrtcInfo(display_, res, output->crtc);
    for (int i = 0; i < output->nmode; ++i) {
        for (int k = 0; k < res->nmode; ++k) {
            if (res->modes[k].id == output->modes[i] && int(res->modes[k].width) == width
                && int(res->modes[k].height) == height) {
                XRRSetCrtcConfig(display_, res, output->crtc, CurrentTime, 0, 0, res->modes[k].id, crtc->rotation,
                                 crtc->outputs, crtc->noutput);
                XRRSetScreenSize(display_, root, width, height, width / 4, height / 4);
                i = output->nmode;
                break;
            }
        }
    }
    XRRFreeCrtcInfo(crtc);
    XRRFreeOutputInfo(output);
    XRRFreeScreenResources(res);
    XSync(display_, False);
}
