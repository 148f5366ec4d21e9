#pragma once
// Base of the draw items (DrawMesh, DrawVB): the depth state they draw with,
// and the blend modes, view and draw buffers they share.
//
// A draw item pushes its depth test and depth write onto the depth stacks of
// the GPU resources while it and its children draw, and pops them
// afterwards, so nested draw items hand their parent's state back. Every
// draw item sets the blending it draws with; none restores it afterwards.
#include <GL/glew.h>

#include "items/IEffect.h"

#include <glm/mat4x4.hpp>

#include <QString>

class IDrawEffect : public IEffect {
    Q_OBJECT
    Q_PROPERTY(bool clearDepth READ clearDepth WRITE setClearDepth NOTIFY clearDepthChanged)
    Q_PROPERTY(bool depthWrite READ depthWrite WRITE setDepthWrite NOTIFY depthWriteChanged)
    Q_PROPERTY(bool depthTest READ depthTest WRITE setDepthTest NOTIFY depthTestChanged)

public:
    explicit IDrawEffect(QQuickItem* parent = nullptr);

    bool clearDepth() const { return clearDepth_; }
    void setClearDepth(bool on);
    bool depthWrite() const { return depthWrite_; }
    void setDepthWrite(bool on);
    bool depthTest() const { return depthTest_; }
    void setDepthTest(bool on);

    // Blending for a blend mode name: "normal" (also any unknown name),
    // "add", "mul", "sub" turn blending on with their function; "off" turns
    // it off.
    static void applyBlendMode(const QString& mode);

    // The right-handed look-at view of the current camera; without one, the
    // eye at (0, 0, -1) looking at the origin with y up.
    static glm::mat4 viewMatrix();

    // glDrawBuffers with the first count of colour attachments 0..2; count
    // is clamped to 0..3. Nothing while the window's own framebuffer is bound
    // (gpu/FramebufferBinding.h), which has no colour attachments to name.
    static void selectDrawBuffers(int count);

Q_SIGNALS:
    void clearDepthChanged(bool clearDepth);
    void depthWriteChanged(bool depthWrite);
    void depthTestChanged(bool depthTest);

protected:
    // Pushes depthTest and depthWrite; popDepthState pops write, then test.
    void pushDepthState();
    void popDepthState();

    bool clearDepth_ = false;
    bool depthWrite_ = true;
    bool depthTest_ = true;
};
