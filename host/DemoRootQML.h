#pragma once
// Window-bound root item of the shell views ("DemoRoot"): exposes the window
// geometry and can raise the edit view.
#include "host/IRenderItem.h"

class DemoRootQML : public IRenderItem {
    Q_OBJECT

public:
    explicit DemoRootQML(QQuickItem* parent = nullptr);

public Q_SLOTS:
    void doBeforeRender() override;
    void setEditViewAsForegroundWindow();
};
