#pragma once
// "Pos": translates what its parent draw item draws.
#include <QQuickItem>

class PosQML : public QQuickItem {
    Q_OBJECT
    Q_PROPERTY(float x MEMBER x)
    Q_PROPERTY(float y MEMBER y)
    Q_PROPERTY(float z MEMBER z)

public:
    explicit PosQML(QQuickItem* parent = nullptr) : QQuickItem(parent) {}
    float x = 0.0f, y = 0.0f, z = 0.0f;
};
