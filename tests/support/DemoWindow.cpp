#include <GL/glew.h>

#include "support/DemoWindow.h"

#include "gpu/GpuResources.h"
#include "host/DemoQML.h"
#include "state/DemoDisplay.h"
#include "sync/Rocket.h"

#include "support/QtTestApp.h"

#include <QQmlComponent>
#include <QQmlEngine>
#include <QQuickWindow>

#include <gtest/gtest.h>

DemoWindow::DemoWindow(const char* qml, int width, int height, const std::function<void(DemoWindow&)>& beforeShow)
{
    ensureQtApp();
    demoDisplay().width = width;
    demoDisplay().height = height;
    // Playing, so the idle rule stays out of the way unless a case asks.
    Rocket::instance().on_pause(false);
    window = std::make_unique<QQuickWindow>();
    window->resize(width, height);
    engine = std::make_unique<QQmlEngine>();
    QQmlComponent component(engine.get());
    component.setData(qml, QUrl::fromLocalFile("/frame-test/main.qml"));
    root.reset(qobject_cast<QQuickItem*>(component.create()));
    if (!root)
        ADD_FAILURE() << component.errorString().toStdString();
    demo = qobject_cast<DemoQML*>(root.get());
    if (demo) {
        demo->setParentItem(window->contentItem());
        QObject::disconnect(window.get(), SIGNAL(afterRendering()), demo, nullptr);
    }
    // Runs a frame that is due, then reads the window's back buffer when
    // asked to.
    QObject::connect(window.get(), &QQuickWindow::afterRendering, window.get(), [this] {
        if (framesDue == 0)
            return;
        --framesDue;
        // The Demo's frame loads GLEW itself; this runs before it.
        if (beforeFrame && gpuReady())
            beforeFrame();
        if (demo)
            demo->doBeforeRender();
        if (afterFrame && glewReady())
            afterFrame();
        if (!readPixel || !glewReady())
            return;
        glBindFramebuffer(GL_READ_FRAMEBUFFER, 0);
        glReadBuffer(GL_BACK);
        const int x = readX < 0 ? window->width() / 2 : readX;
        const int y = readY < 0 ? window->height() / 2 : readY;
        glReadPixels(x, y, 1, 1, GL_RGBA, GL_UNSIGNED_BYTE, pixel.data());
    }, Qt::DirectConnection);
    if (beforeShow && demo)
        beforeShow(*this);
    framesDue = 1;
    window->show();
    waitUntil([&] { return window->isExposed(); });
    waitUntil([&] { return framesDue == 0; });
}

DemoWindow::~DemoWindow()
{
    root.reset();
    window.reset();
    engine.reset();
}

void DemoWindow::frames(int n)
{
    for (int i = 0; i < n; ++i) {
        framesDue = 1;
        window->update();
        ASSERT_TRUE(waitUntil([&] { return framesDue == 0; }, 3000));
    }
}

std::array<unsigned char, 4> DemoWindow::windowPixel()
{
    return windowPixelAt(-1, -1);
}

std::array<unsigned char, 4> DemoWindow::windowPixelAt(int x, int y)
{
    readX = x;
    readY = y;
    readPixel = true;
    frames(1);
    readPixel = false;
    return pixel;
}
