#include "host/DemoRootQML.h"

#include "app/AppState.h"
#include "platform/Window.h"

#include <QQuickView>

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
    platform::bringToFront(appState().editView);
}
