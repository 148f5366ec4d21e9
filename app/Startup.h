#pragma once
// The program's start-up sequence: the start dialog, the optional rocket and
// edit views, the main view, and the main event loop.

class QQuickView;

namespace app {

// Exit codes beyond those of the start-up sequence itself.
enum ExitCode {
    kExitOk = 0,
    kExitNoSkenes = 1,
    // A shell view that is missing or fails to load: its QML errors go to the
    // standard error stream and the program ends instead of leaving a
    // frameless, always-on-top window that cannot be closed.
    kExitShellViewFailed = 3,
    // A capture that could not write all its frames, its audio or its video.
    kExitCaptureFailed = 4,
};

// Runs the whole program; returns the process exit code.
int runStartup(int argc, char** argv);

// Destroys view's native window and ends the shell view loop that runs now
// (the start dialog's or the rocket view's), also while its QML still loads.
void endShellView(QQuickView* view);

// Ends the process at once with code, after restoring what start-up changed
// on the display.
[[noreturn]] void exitProcess(int code);

} // namespace app
