#pragma once
// "Sca": scales what its parent draw item draws by (s*x, s*y, s*z).
#include <QQuickItem>

class ScaQML : public QQuickItem {
    Q_OBJECT
    Q_PROPERTY(float s MEMBER s)
    Q_PROPERTY(float x MEMBER x)
    Q_PROPERTY(float y MEMBER y)
    Q_PROPERTY(float z MEMBER z)
    Q_PROPERTY(float cx MEMBER cx)
    Q_PROPERTY(float cy MEMBER cy)
    Q_PROPERTY(float cz MEMBER cz)

public:
    explicit ScaQML(QQuickItem* parent = nullptr) : QQuickItem(parent) {}
    float s = 1.0f;
    float x = 1.0f, y = 1.0f, z = 1.0f;
    float cx = 0.0f, cy = 0.0f, cz = 0.0f; // kept for skene files; unused
};
