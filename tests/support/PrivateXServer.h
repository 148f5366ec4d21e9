#pragma once
// A private X server (Xvfb with XRandR) for tests that change display modes,
// so that no test running beside them on the shared server sees its screen
// change, and a probe that looks at and arranges its one output through a
// connection of the test's own.
#include "app/DisplayModes.h"

#include <string>
#include <sys/types.h>

class PrivateXServer {
public:
    // Starts Xvfb with one screen of the given "WxHxD", with or without the
    // XRandR extension; running() tells whether it came up.
    explicit PrivateXServer(const char* screen = "1920x1080x24", bool randr = true);
    ~PrivateXServer();
    PrivateXServer(const PrivateXServer&) = delete;
    PrivateXServer& operator=(const PrivateXServer&) = delete;

    bool running() const { return !name_.empty(); }
    // The display name, ":<number>".
    const char* name() const { return name_.c_str(); }

private:
    void tryDisplay(int number, const char* screen, bool randr);
    void stop();

    pid_t pid_ = -1;
    std::string name_;
};

// Test-side view of a server's one output.
class XrandrProbe {
public:
    explicit XrandrProbe(const char* displayName);
    ~XrandrProbe();
    XrandrProbe(const XrandrProbe&) = delete;
    XrandrProbe& operator=(const XrandrProbe&) = delete;

    bool ok() const { return display_ != nullptr; }

    // Offers a mode of this size and refresh rate on the output.
    void addMode(int width, int height, int refreshHz);
    // Size of the mode the output's crtc shows now.
    app::DisplayMode currentMode();
    // The screen size as a fresh connection sees it.
    app::DisplayMode screenSize();
    // Makes the output show the first mode of this size and shrinks the
    // screen to it, like a desktop running below the largest mode.
    void showMode(int width, int height);
    // Makes the output show the first mode of this size with its top left
    // at (x, y) of a screen that keeps its size, like a second monitor.
    void placeMode(int width, int height, int x, int y);

private:
    // An Xlib Display, kept opaque so Xlib's macros stay out of the tests.
    struct _XDisplay* display_ = nullptr;
};
