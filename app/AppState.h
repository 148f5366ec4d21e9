#pragma once
// What start-up keeps for itself and for the demo controller beside it: the
// start dialog's choices, the setup files it offers, the Qt Creator found on
// this machine, and the shell views it creates, shows and destroys. Nothing
// below app/ reads it; what the other floors need lives in state/.
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "app/CaptureOptions.h"

#include <QPointer>
#include <QtGui/qwindowdefs.h>

class GpuResources;
class TrackQML;
class QQmlContext;
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
    AppState();
    ~AppState();
    AppState(const AppState&) = delete;
    AppState& operator=(const AppState&) = delete;

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
    // The GPU resources of the main view's context when its QML holds no
    // Demo item to make them (the Demo item makes and keeps its own).
    std::unique_ptr<GpuResources> mainViewResources;

    // Where the controller publishes "demoTimeNow" and "masterRocketIndex"
    // (the main view's root context; until start-up sets it, the rendering
    // controller's own engine's), and the master index published there last.
    QPointer<QQmlContext> demoContext;
    int publishedMasterIndex = 0;
    // The live "Track" value sources, which the controller writes once a
    // frame; each joins when its target is set and leaves when destroyed.
    std::vector<TrackQML*> trackSources;

    // The "-windowHeight:" of the sync editors' command lines; start-up sets
    // it from the demo width before the editors are launched.
    int editorWindowHeight = -720;
    // Starts a program with arguments (never through a shell); tests record
    // instead.
    std::function<bool(const std::string&, const std::vector<std::string>&)> launchProgram;

    // Called right before the main event loop runs; tests use it to watch
    // the running views and end the loop.
    std::function<void()> beforeMainLoop;

    // The steady clock's nanoseconds when start-up began and when the main
    // view was shown: the ends of start-up's split (CaptureReport).
    int64_t startupBeganNs = 0;
    int64_t mainViewShownNs = 0;

    // From the command line: a capture instead of the start dialog.
    app::CaptureOptions capture;
    // Called after each captured frame has been read back, with its number,
    // while the demo clock and the music are still at its time; tests use
    // it to compare what the frame saw.
    std::function<void(int frame)> afterCapturedFrame;
    // What the last capture measured (benchmarks read it).
    app::CaptureReport captureReport;
};

// The one AppState of the running demo, made by its owner
// (app/ProcessState.h).
AppState& appState();
