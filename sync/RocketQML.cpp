#include "sync/RocketQML.h"

#include "app/AppState.h"
#include "app/Startup.h"
#include "sync/rocket_flags.h"

#include <QDebug>
#include <QQuickView>

RocketQML::RocketQML(QQuickItem* parent)
    : IEffect(parent)
{
}

void RocketQML::startDemo()
{
    appState().start.startAccepted = true;
    app::endShellView(appState().startDialogView);
}

void RocketQML::exitDemo()
{
    app::exitProcess(0);
}

void RocketQML::setEditViewEnabled(bool b)
{
    appState().start.editView = b;
}

void RocketQML::setFullScreen(bool b)
{
    appState().start.fullScreen = b;
}

bool RocketQML::getFullScreen()
{
    return appState().start.fullScreen;
}

void RocketQML::setRocketEnabled(bool b)
{
    rocket_flags().rocket_enabled = b;
}

void RocketQML::setMultiRocketEnabled(bool b)
{
    rocket_flags().multi_rocket = b;
}

void RocketQML::setSelectedResolution(QString resString)
{
    appState().start.selectedResolution = resString.toStdString();
    Q_EMIT resolutionsChanged();
}

void RocketQML::finishIgnite()
{
    QQuickView* view = appState().rocketView;
    if (!view)
        return;
    qDebug() << "closing view ignite...";
    view->close();
    app::endShellView(view);
}

std::string RocketQML::getEffectName()
{
    return "Rocket";
}

void RocketQML::render(RenderNameListItem* pRNLI)
{
    Q_EMIT rocketUpdated();
    Q_EMIT timeUpdated();
    renderChildren(pRNLI);
}
