#pragma once
// "SavePoint": marks a point in its mesh item's local space. Each time the
// mesh item draws, the point's world, screen and eye positions are recorded
// under `target` in the save-point table, so QML can follow where the point
// is (overlays, camera moves). Only mesh items record their save points; one
// under a DrawVB or a Group is never recorded. A parameter item: its parent
// reads it, the traversal never renders it.
#include <glm/mat4x4.hpp>

#include <QQuickItem>
#include <QString>

class SavePointQML : public QQuickItem {
    Q_OBJECT
    // These three stand in for the item's own position in QML; writes are
    // plain stores.
    Q_PROPERTY(float x READ savePointX WRITE setSavePointX NOTIFY savePointXChanged)
    Q_PROPERTY(float y READ savePointY WRITE setSavePointY NOTIFY savePointYChanged)
    Q_PROPERTY(float z READ savePointZ WRITE setSavePointZ NOTIFY savePointZChanged)
    Q_PROPERTY(QString target MEMBER target)

public:
    explicit SavePointQML(QQuickItem* parent = nullptr) : QQuickItem(parent) {}

    float savePointX() const { return x_; }
    float savePointY() const { return y_; }
    float savePointZ() const { return z_; }
    void setSavePointX(float v) { x_ = v; }
    void setSavePointY(float v) { y_ = v; }
    void setSavePointZ(float v) { z_ = v; }

    QString target;

Q_SIGNALS:
    void savePointXChanged();
    void savePointYChanged();
    void savePointZChanged();

private:
    float x_ = 0.0f, y_ = 0.0f, z_ = 0.0f;
};

// Records each SavePoint child of the mesh item, in child order, with its
// model-view matrix mv and model matrix m, and the projection of the current
// camera at the demo's aspect (the identity without a camera).
void recordSavePoints(const QQuickItem& meshItem, const glm::mat4& mv, const glm::mat4& m);
