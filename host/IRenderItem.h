#pragma once
// Base of the items that draw with GL straight into a Qt Quick window. It
// binds itself to the window that shows it and hooks afterRendering(), so
// doBeforeRender() runs after Qt Quick has drawn its own scene graph, into
// the same framebuffer with the window's context current.
#include <QMetaObject>
#include <QQuickItem>

class QQuickWindow;

class IRenderItem : public QQuickItem {
    Q_OBJECT
    Q_PROPERTY(int windowWidth READ windowWidth WRITE setWindowWidth NOTIFY windowWidthChanged)
    Q_PROPERTY(int windowHeight READ windowHeight WRITE setWindowHeight NOTIFY windowHeightChanged)
    Q_PROPERTY(int windowPosX READ windowPosX WRITE setWindowPosX NOTIFY windowPosXChanged)
    Q_PROPERTY(int windowPosY READ windowPosY WRITE setWindowPosY NOTIFY windowPosYChanged)

public:
    explicit IRenderItem(QQuickItem* parent = nullptr);
    ~IRenderItem() override;

    int windowWidth() const { return windowWidth_; }
    int windowHeight() const { return windowHeight_; }
    int windowPosX() const { return windowPosX_; }
    int windowPosY() const { return windowPosY_; }
    // The stored values change; the window itself is not resized.
    void setWindowWidth(int v);
    void setWindowHeight(int v);
    // Move the bound window; frozen while full screen is on.
    void setWindowPosX(int v);
    void setWindowPosY(int v);

    QQuickWindow* boundWindow() const { return boundWindow_; }

Q_SIGNALS:
    void windowWidthChanged();
    void windowHeightChanged();
    void windowPosXChanged();
    void windowPosYChanged();

public Q_SLOTS:
    virtual void doBeforeRender() = 0;
    void handleWindowChanged(QQuickWindow* win);

private:
    QMetaObject::Connection hook_;
    QQuickWindow* boundWindow_ = nullptr;
    int windowWidth_;
    int windowHeight_;
    int windowPosX_ = 0;
    int windowPosY_ = 0;
};
