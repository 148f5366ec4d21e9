#pragma once
// What the program does before its application object exists, so that it
// works without a display: the command line, entering the demo folder, and
// making sure a display is there before Qt would abort on its own terms.
#include <string>

namespace app {

// Ends the program before start-up: a command line it cannot use, a folder
// that is no demo, no display.
constexpr int kExitCannotStart = 2;

// The whole program: answers --help and --version, enters the demo folder,
// checks the display, then runs start-up. Returns the exit code.
int runProgram(int argc, char** argv);

// What decides whether Qt will find a display.
struct DisplayEnvironment {
    std::string platform;       // QT_QPA_PLATFORM; empty for Qt's default, xcb
    std::string x11Display;     // DISPLAY
    std::string waylandDisplay; // WAYLAND_DISPLAY
    // Whether an X server answers at this display name.
    bool (*canOpenX11)(const std::string& name) = nullptr;
};

DisplayEnvironment currentDisplayEnvironment();

// Empty when one of the platforms Qt will try can reach its display (or
// needs none, like offscreen); otherwise one line that says what is missing.
std::string displayProblem(const DisplayEnvironment& env);

} // namespace app
