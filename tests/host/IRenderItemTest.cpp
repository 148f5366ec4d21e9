#include "host/DemoRootQML.h"
#include "state/DemoDisplay.h"

#include "support/FreshState.h"
#include "support/QtTestApp.h"

#include <QQuickWindow>
#include <QSignalSpy>
#include <gtest/gtest.h>

#include <memory>

namespace {

struct Window {
    Window()
    {
        ensureQtApp();
        window = std::make_unique<QQuickWindow>();
        window->resize(320, 180);
        window->setPosition(123, 77);
        window->show();
        waitUntil([&] { return window->isExposed(); });
    }
    std::unique_ptr<QQuickWindow> window;
};

struct RenderItem : FreshStateTest {
};

} // namespace

TEST_F(RenderItem, StartsWithDemoSizeAndEmitsOnlyOnChange)
{
    ensureQtApp();
    demoDisplay().width = 1024;
    demoDisplay().height = 576;
    DemoRootQML item;
    EXPECT_EQ(item.windowWidth(), 1024);
    EXPECT_EQ(item.windowHeight(), 576);
    QSignalSpy width(&item, &IRenderItem::windowWidthChanged);
    item.setWindowWidth(1024);
    EXPECT_EQ(width.count(), 0);
    item.setWindowWidth(640);
    EXPECT_EQ(width.count(), 1);
    EXPECT_EQ(item.windowWidth(), 640);
}

TEST_F(RenderItem, FirstWindowChangeTakesOverPositionWithoutMovingWindow)
{
    Window w;
    const QPoint before = w.window->position();
    DemoRootQML item;
    QSignalSpy px(&item, &IRenderItem::windowPosXChanged);
    QSignalSpy py(&item, &IRenderItem::windowPosYChanged);
    item.setParentItem(w.window->contentItem());
    EXPECT_EQ(item.boundWindow(), w.window.get());
    EXPECT_EQ(px.count(), 1);
    EXPECT_EQ(py.count(), 1);
    EXPECT_EQ(item.windowPosX(), before.x());
    EXPECT_EQ(item.windowPosY(), before.y());
    EXPECT_EQ(w.window->position(), before);
}

TEST_F(RenderItem, HookRunsAfterEveryRenderedFrameAndLeavingUnbinds)
{
    Window w;
    struct Counting : DemoRootQML {
        int frames = 0;
        void doBeforeRender() override { ++frames; }
    } item;
    item.setParentItem(w.window->contentItem());
    w.window->update();
    ASSERT_TRUE(waitUntil([&] { return item.frames >= 1; }));
    item.setParentItem(nullptr);
    EXPECT_EQ(item.boundWindow(), nullptr);
    const int frames = item.frames;
    w.window->update();
    waitUntil([] { return false; }, 100);
    EXPECT_EQ(item.frames, frames);
}

TEST_F(RenderItem, WritingPositionMovesWindowUnlessFullScreen)
{
    Window w;
    DemoRootQML item;
    item.setParentItem(w.window->contentItem());
    QSignalSpy px(&item, &IRenderItem::windowPosXChanged);
    item.setWindowPosX(200);
    EXPECT_EQ(px.count(), 1);
    waitUntil([&] { return w.window->x() == 200; }, 1000);
    EXPECT_EQ(w.window->x(), 200);

    demoDisplay().fullScreen = true;
    item.setWindowPosX(300);
    item.setWindowPosY(300);
    EXPECT_EQ(px.count(), 1);
    EXPECT_EQ(item.windowPosX(), 200);
    EXPECT_NE(item.windowPosY(), 300);
}

TEST_F(RenderItem, FullScreenWindowChangeKeepsStoredPosition)
{
    Window w;
    demoDisplay().fullScreen = true;
    DemoRootQML item;
    QSignalSpy px(&item, &IRenderItem::windowPosXChanged);
    item.setParentItem(w.window->contentItem());
    EXPECT_EQ(px.count(), 0);
    EXPECT_EQ(item.windowPosX(), 0);
    EXPECT_EQ(item.boundWindow(), w.window.get());
}
