#pragma once
// What start-up keeps for itself and for the demo controller beside it: the
// start dialog's choices, the setup files it offers, the Qt Creator found on
// this machine, and the shell views it creates, shows and destroys. Nothing
// below app/ reads it; what the other floors need lives in state/.
#include <functional>
#include <string>
#include <vector>

#include "app/CaptureOptions.h"

#include <QtGui/qwindowdefs.h>

class QQuickView;

// What the start dialog chooses through the controller's slots; read by
// start-up once the dialog has closed. Full screen is a choice of the
// dialog too, but the window items read it, so it lives in DemoDisplay.
struct StartSettings {
    bool editView = true;
    bool startAccepted = false;
    std::string selectedResolution;
};

struct AppState {
    std::vector<std::string> setupFiles; // fx/_ActiveSkeneSetups, in listing order
    std::string currentSetupName;        // content of the current-setup file
    std::string qtCreatorDir;            // prefix of the qtcreator executable

    StartSettings start;

    // Owned here from creation until start-up's tear-down.
    QQuickView* startDialogView = nullptr;
    QQuickView* rocketView = nullptr;
    QQuickView* editView = nullptr;
    QQuickView* mainView = nullptr;
    WId mainWindowId = 0;
    WId editWindowId = 0;

    // Called right before the main event loop runs; tests use it to watch
    // the running views and end the loop.
    std::function<void()> beforeMainLoop;

    // From the command line: a capture instead of the start dialog.
    app::CaptureOptions capture;
    // Called after each captured frame has been read back, with its number,
    // while the demo clock and the music are still at its time; tests use
    // it to compare what the frame saw.
    std::function<void(int frame)> afterCapturedFrame;
    // What the last capture measured (benchmarks read it).
    app::CaptureReport captureReport;
};

// The one AppState of the process.
AppState& appState();

// Back to a state without views or choices (for tests; the views must have
// been torn down).
void resetAppState();
