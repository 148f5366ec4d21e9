#include "host/DemoRootQML.h"

#include "platform/Window.h"
#include "state/DemoDisplay.h"


DemoRootQML::DemoRootQML(QQuickItem* parent)
    : IRenderItem(parent)
{
    setFlag(QQuickItem::ItemHasContents);
}

void DemoRootQML::doBeforeRender()
{
}

void DemoRootQML::setEditViewAsForegroundWindow()
{
    platform::bringToFront(demoDisplay().editWindow);
}
