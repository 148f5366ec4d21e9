#include "sync/RocketQML.h"

#include "app/ActiveSkeneList.h"
#include "app/AppState.h"
#include "app/Startup.h"
#include "editor/DOActiveScenes.h"
#include "sync/rocket_flags.h"

#include <QDebug>
#include <QQmlContext>
#include <QQmlEngine>
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

// --- Start flow: active skene setup and rocket ignition ---

void RocketQML::setActiveSkeneSetup(QString activeSkenesSetupFile)
{
    AppState& s = appState();
    const std::string file = activeSkenesSetupFile.toStdString();
    s.activeSetupPath = setupFilePath(s.fxPath, file);
    qDebug() << "g_activeScenesFile set to:" << s.activeSetupPath.c_str();
    s.currentSetupName = file;
    // Unwritable: the choice holds for this run only.
    writeCurrentSetupName(s.fxPath, file);
    readActiveSkenes();
    if (s.editContext)
        s.editContext->setContextProperty("activeSkenesSetupFile", activeSkenesSetupFile);
    if (QQmlEngine* engine = qmlEngine(this))
        engine->rootContext()->setContextProperty("activeSkenesSetupFile", activeSkenesSetupFile);
    publishActiveSkeneLists(s.editContext);
}

void RocketQML::igniteRockets()
{
    // The rocket manager launches the sync editors here once it exists.
    Q_EMIT rocketsIgnited();
}

// --- end of start flow ---

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
