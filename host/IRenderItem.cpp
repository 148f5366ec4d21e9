#include "host/IRenderItem.h"

#include "state/DemoDisplay.h"

#include <QDebug>
#include <QQuickWindow>

IRenderItem::IRenderItem(QQuickItem* parent)
    : QQuickItem(parent)
    , windowWidth_(demoDisplay().width)
    , windowHeight_(demoDisplay().height)
{
    connect(this, &QQuickItem::windowChanged, this, &IRenderItem::handleWindowChanged);
}

IRenderItem::~IRenderItem()
{
    // QQuickItem's destructor still emits windowChanged; by then this part of
    // the object is gone, and the slot must not run on what is left of it.
    QObject::disconnect(this, &QQuickItem::windowChanged, this, &IRenderItem::handleWindowChanged);
    QObject::disconnect(hook_);
}

void IRenderItem::setWindowWidth(int v)
{
    if (v == windowWidth_)
        return;
    windowWidth_ = v;
    Q_EMIT windowWidthChanged();
}

void IRenderItem::setWindowHeight(int v)
{
    if (v == windowHeight_)
        return;
    windowHeight_ = v;
    Q_EMIT windowHeightChanged();
}

void IRenderItem::setWindowPosX(int v)
{
    if (v == windowPosX_ || demoDisplay().fullScreen)
        return;
    windowPosX_ = v;
    if (boundWindow_) {
        windowPosY_ = boundWindow_->y();
        boundWindow_->setPosition(windowPosX_, windowPosY_);
    }
    Q_EMIT windowPosXChanged();
}

void IRenderItem::setWindowPosY(int v)
{
    if (v == windowPosY_ || demoDisplay().fullScreen)
        return;
    windowPosY_ = v;
    if (boundWindow_) {
        windowPosX_ = boundWindow_->x();
        boundWindow_->setPosition(windowPosX_, windowPosY_);
    }
    Q_EMIT windowPosYChanged();
}

void IRenderItem::handleWindowChanged(QQuickWindow* win)
{
    if (!win) {
        boundWindow_ = nullptr;
        QObject::disconnect(hook_);
        return;
    }
    qDebug() << "window Changed and we have a window";
    qDebug() << "window size " << win->width() << "," << win->height();

    const int x = win->x();
    const int y = win->y();
    const bool fullScreen = demoDisplay().fullScreen;
    if (x != windowPosX_ && !fullScreen) {
        windowPosX_ = x;
        if (boundWindow_) {
            windowPosY_ = boundWindow_->y();
            boundWindow_->setPosition(windowPosX_, windowPosY_);
        }
        Q_EMIT windowPosXChanged();
    }
    if (y != windowPosY_ && !fullScreen) {
        windowPosY_ = y;
        if (boundWindow_) {
            windowPosX_ = boundWindow_->x();
            boundWindow_->setPosition(windowPosX_, windowPosY_);
        }
        Q_EMIT windowPosYChanged();
    }
    qDebug("window pos x is:%d", x);

    if (!boundWindow_) {
        boundWindow_ = win;
        // The name is the design's: the frame runs after Qt Quick has drawn
        // its own items (afterRendering), so the demo draws over them into
        // the same framebuffer, on the render thread (a direct connection).
        hook_ = connect(win, &QQuickWindow::afterRendering, this, &IRenderItem::doBeforeRender,
                        Qt::DirectConnection);
    } else {
        boundWindow_ = nullptr;
        QObject::disconnect(hook_);
    }
}
