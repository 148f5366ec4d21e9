#pragma once
// A Demo item from QML in a real window with real GL, for tests that meet a
// skene as its author does. Frames are driven one at a time, so a test knows
// exactly what each frame did: Qt Quick renders frames of its own too
// (exposes, moves, a busy machine's late events), so the Demo's frame runs
// only in the renders a test asks for.
#include <array>
#include <functional>
#include <memory>

class DemoQML;
class QQmlEngine;
class QQuickItem;
class QQuickWindow;

struct DemoWindow {
    // Loads qml (a Demo at its root), sizes the demo and the window to
    // width x height, runs beforeShow, shows the window and runs one frame.
    explicit DemoWindow(const char* qml, int width = 64, int height = 36,
                        const std::function<void(DemoWindow&)>& beforeShow = {});
    ~DemoWindow();

    // Renders n frames of the Demo, one after the other.
    void frames(int n);

    // The centre pixel of the window as the last frame left it.
    std::array<unsigned char, 4> windowPixel();
    // The window's pixel at (x, y), counted from the bottom left, after one
    // more frame.
    std::array<unsigned char, 4> windowPixelAt(int x, int y);

    template <typename T>
    T* find(const char* name);

    std::unique_ptr<QQmlEngine> engine;
    std::unique_ptr<QQuickWindow> window;
    std::unique_ptr<QQuickItem> root;
    DemoQML* demo = nullptr;
    int framesDue = 0;
    // Runs in each frame right before the Demo's, with the context current.
    std::function<void()> beforeFrame;
    // Runs in each frame right after the Demo's, with the context current.
    std::function<void()> afterFrame;
    bool readPixel = false;
    int readX = -1, readY = -1; // the centre when negative
    std::array<unsigned char, 4> pixel = {0, 0, 0, 0};
};

#include <QQuickItem>

template <typename T>
T* DemoWindow::find(const char* name)
{
    return root->findChild<T*>(name);
}
