#pragma once
// How the demo is shown: the size it renders at, its sample count, whether it
// runs full screen, and its two windows. Start-up sets the first values and
// the windows; the frame keeps the size in step with the main window; items
// read the size for their projections and the window items for full screen.
#include <QPointer>
#include <QWindow>

struct DemoDisplay {
    // Render size in pixels. Start-up sets it from the chosen resolution
    // (the height always width * 9 / 16); then every frame takes the main
    // window's size.
    int width = 1280;
    int height = 720;
    int sampleCount = 1;
    // A capture renders at its own size: the frame keeps width and height
    // as start-up set them instead of taking the window's.
    bool fixedSize = false;
    // Chosen in the start dialog; start-up clears it when the display
    // refuses the mode and the author takes a window instead.
    bool fullScreen = false;
    // The main view and, with the edit view on, the edit view. Not owned:
    // start-up owns the views. A shader error raises the main window so its
    // box is not hidden behind a full-screen demo.
    QPointer<QWindow> mainWindow;
    QPointer<QWindow> editWindow;
};

// The one DemoDisplay of the running demo, made by its owner (app/ProcessState.h).
DemoDisplay& demoDisplay();

