#pragma once
// "Rot": turns what its parent draw item draws by d degrees about (ax, ay, az).
#include <QQuickItem>

class RotQML : public QQuickItem {
    Q_OBJECT
    Q_PROPERTY(float d MEMBER d)
    Q_PROPERTY(float ax MEMBER ax)
    Q_PROPERTY(float ay MEMBER ay)
    Q_PROPERTY(float az MEMBER az)
    Q_PROPERTY(float cx MEMBER cx)
    Q_PROPERTY(float cy MEMBER cy)
    Q_PROPERTY(float cz MEMBER cz)

public:
    explicit RotQML(QQuickItem* parent = nullptr) : QQuickItem(parent) {}
    float d = 0.0f;
    float ax = 0.0f, ay = 0.0f, az = 1.0f;
    float cx = 0.0f, cy = 0.0f, cz = 0.0f; // kept for skene files; unused
};
