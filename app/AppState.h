#pragma once
// Process-wide state of the application shell: what start-up finds and
// chooses, and the views it keeps for the Parts that move or close them.
#include <functional>
#include <string>
#include <vector>

#include <QtGui/qwindowdefs.h>

class QQuickView;
class QQmlContext;

// What the start dialog chooses through the controller's slots; read by
// start-up once the dialog has closed.
struct StartSettings {
    bool fullScreen = false;
    bool editView = true;
    bool startAccepted = false;
    std::string selectedResolution;
};

struct AppState {
    std::string rootDir;           // the working directory at start
    std::string fxPath;            // rootDir + "/fx"
    std::string activeSetupPath;   // the active skene setup file
    std::string currentSetupName;  // content of the current-setup file
    std::vector<std::string> setupFiles;
    std::vector<std::string> skeneDirectories;
    std::string qtCreatorDir;      // prefix of the qtcreator executable

    int demoWidth = 1280;
    int demoHeight = 720;
    int sampleCount = 1;
    int syncEditorWindowHeight = -720;
    bool glewReady = false;

    StartSettings start;

    QQuickView* startDialogView = nullptr;
    QQuickView* rocketView = nullptr;
    QQuickView* editView = nullptr;
    QQuickView* mainView = nullptr;
    WId mainWindowId = 0;
    WId editWindowId = 0;
    QQmlContext* editContext = nullptr;

    // Called right before the main event loop runs; tests use it to watch
    // the running views and end the loop.
    std::function<void()> beforeMainLoop;
};

// The one AppState of the process.
AppState& appState();

// True when name can be read below the root directory or as it stands
// (callers pass both demo-relative and full paths).
bool demoFileReadable(const std::string& name);
