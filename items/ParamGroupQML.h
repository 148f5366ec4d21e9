#pragma once
// "ParamGroup": groups parameter items; draw items look inside it.
#include <QQuickItem>

class ParamGroupQML : public QQuickItem {
    Q_OBJECT

public:
    explicit ParamGroupQML(QQuickItem* parent = nullptr) : QQuickItem(parent) {}
};
