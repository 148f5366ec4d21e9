#include "app/RocketQML.h"

#include "app/AppState.h"
#include "app/QtCreator.h"
#include "app/Startup.h"
#include "app/SyncEditors.h"
#include "app/TrackQML.h"
#include "editor/DOActiveScenes.h"
#include "items/QmlText.h"
#include "platform/Process.h"
#include "state/ActiveSkeneList.h"
#include "state/BuildErrors.h"
#include "state/DemoDisplay.h"
#include "state/DemoFolders.h"
#include "state/FrameState.h"
#include "state/SkeneSetups.h"
#include "state/rocket_flags.h"
#include "sync/Rocket.h"

#include <algorithm>

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
    demoDisplay().fullScreen = b;
}

bool RocketQML::getFullScreen()
{
    return demoDisplay().fullScreen;
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

void RocketQML::setErrorsBesideDemo(bool b)
{
    if (buildErrors().besideDemo() == b)
        return;
    buildErrors().setBesideDemo(b);
    Q_EMIT errorsBesideDemoChanged();
}

bool RocketQML::getErrorsBesideDemo()
{
    return buildErrors().besideDemo();
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
    const std::string& fxPath = demoFolders().fxPath;
    const std::string file = activeSkenesSetupFile.toStdString();
    std::string& setupPath = activeSkeneList().setupPath;
    setupPath = setupFilePath(fxPath, file);
    qDebug() << "g_activeScenesFile set to:" << setupPath.c_str();
    appState().currentSetupName = file;
    // Unwritable: the choice holds for this run only.
    writeCurrentSetupName(fxPath, file);
    readActiveSkenes();
    if (QQmlContext* context = editContext())
        context->setContextProperty("activeSkenesSetupFile", activeSkenesSetupFile);
    if (QQmlEngine* engine = qmlEngine(this))
        engine->rootContext()->setContextProperty("activeSkenesSetupFile", activeSkenesSetupFile);
    publishActiveSkeneLists(editContext());
}

void RocketQML::igniteRockets()
{
    app::launchSyncEditors();
    Q_EMIT rocketsIgnited();
}

// --- end of start flow ---

std::string RocketQML::getEffectName()
{
    return "Rocket";
}

void RocketQML::render(RenderNameListItem* pRNLI)
{
    Rocket& rocket = Rocket::instance();
    AppState& s = appState();
    if (!s.demoContext) {
        if (QQmlEngine* engine = qmlEngine(this))
            s.demoContext = engine->rootContext();
    }
    if (s.demoContext)
        s.demoContext->setContextProperty(QStringLiteral("demoTimeNow"), rocket.demo_seconds());
    rocket.update();
    // The editors may have moved the clock: the items of this frame read
    // it as it stands now.
    rocket.publish_time(frameState().time);
    if (s.demoContext && rocket.master_index() != s.publishedMasterIndex)
        s.demoContext->setContextProperty(QStringLiteral("masterRocketIndex"), rocket.master_index());
    s.publishedMasterIndex = rocket.master_index();
    followEditorStatus();
    // Sources and bindings alike see this frame's row: the sources are
    // written first, then the signal re-runs the bindings.
    for (TrackQML* source : s.trackSources)
        source->follow(rocket);
    Q_EMIT rocketUpdated();
    Q_EMIT timeUpdated();
    // timeStep, timeStepReal and isPaused change with the frame too; without
    // these their bindings would keep their first values.
    Q_EMIT timeStepUpdated();
    Q_EMIT isPausedUpdated();
    renderChildren(pRNLI);
}

void RocketQML::followEditorStatus()
{
    // A demo waiting for its editors sits paused at row 0; the author must
    // see why, not guess.
    QString status;
    const Rocket& rocket = Rocket::instance();
    if (rocket_flags().rocket_enabled) {
        for (int slot = 0; slot < Rocket::kSlots; ++slot) {
            const SyncDevice* d = rocket.device(slot);
            if (d && d->socket < 0) {
                status = QStringLiteral("waiting for sync editor on port %1").arg(rocket.base_port() + slot);
                break;
            }
        }
    }
    if (status == editorStatus_)
        return;
    editorStatus_ = status;
    Q_EMIT editorStatusChanged();
}

// --- Tracks, the clock and the editors ---

namespace {

// Track names arrive from QML bindings every frame: convert into one reused
// buffer instead of allocating for each call.
const std::string& trackKey(const QString& track)
{
    static std::string key;
    assignText(key, track);
    return key;
}

SyncDevice* deviceOf(const std::string& track)
{
    Rocket& rocket = Rocket::instance();
    return rocket.device(rocket.resolve_rocket(track));
}

std::string skeneOf(const std::string& track)
{
    return track.substr(0, track.find('.'));
}

// QML hands over URLs and Windows-style paths alike. Only "file://" goes:
// the slash after it starts an absolute path here.
std::string plainPath(std::string path)
{
    std::replace(path.begin(), path.end(), '\\', '/');
    for (size_t at; (at = path.find("file://")) != std::string::npos;)
        path.erase(at, 7);
    return path;
}

} // namespace

float RocketQML::sync(const QString& track)
{
    return Rocket::instance().track_value(trackKey(track));
}

float RocketQML::syncTrigger(const QString& track)
{
    return Rocket::instance().trigger(trackKey(track));
}

void RocketQML::openFile(QString, QString fileName)
{
    app::openInEditor(fileName.toStdString());
}

void RocketQML::openFileAtLine(QString fileName, int line)
{
    app::openInEditor(fileName.toStdString(), line);
}

void RocketQML::runCommand(QString command)
{
    // The author's own command line: run by a shell on purpose.
    platform::launchDetached("/bin/sh", {"-c", command.toStdString()});
}

void RocketQML::findTrack(QString track)
{
    const std::string name = track.toStdString();
    app::openInEditor("fx/" + skeneOf(name) + "/Skene.qml");
    if (SyncDevice* d = deviceOf(name))
        send_find_track(d, name.c_str(), 0);
}

void RocketQML::rocketWindowToForeground(QString track)
{
    if (SyncDevice* d = deviceOf(track.toStdString()))
        send_find_track(d, "_windowToForeground", 0);
}

void RocketQML::findSkeneStart(QString track)
{
    const std::string name = track.toStdString();
    if (SyncDevice* d = deviceOf(name))
        send_find_skene_start(d, name.c_str(), 0);
}

void RocketQML::setTrackValue(QString track, float trackValue)
{
    const std::string name = track.toStdString();
    if (SyncDevice* d = deviceOf(name))
        send_track_value(d, name.c_str(), trackValue);
}

void RocketQML::setTrackFirstValue(QString track, float trackValue)
{
    const std::string name = track.toStdString();
    SyncDevice* d = deviceOf(name);
    if (!d)
        return;
    const SyncTrack* t = Rocket::instance().GetSyncTrack(name);
    if (t && t->data_received && t->num_keys == 0)
        send_first_value(d, name.c_str(), trackValue);
}

void RocketQML::setTrackTempValue(QString track, float trackValue)
{
    Rocket::instance().set_temp_value(track.toStdString(), trackValue);
}

void RocketQML::clearTrackTempValues()
{
    Rocket::instance().clear_temp_values();
}

int RocketQML::getTrackNumKeys(QString track)
{
    const std::string name = track.toStdString();
    if (!deviceOf(name))
        return 1;
    const SyncTrack* t = Rocket::instance().GetSyncTrack(name);
    return t ? key_count_or_one(t) : 1;
}

double RocketQML::getTime()
{
    return Rocket::instance().demo_seconds();
}

bool RocketQML::getIsPaused()
{
    return Rocket::instance().is_paused();
}

void RocketQML::setPause(bool bPause)
{
    Rocket::instance().on_pause(bPause);
}

float RocketQML::getFrameTime()
{
    return Rocket::instance().last_frame_time();
}

float RocketQML::getFrameTimeSmooth()
{
    return Rocket::instance().average_frame_time();
}

float RocketQML::getTimeStepRocket()
{
    return Rocket::instance().time_step();
}

void RocketQML::update()
{
}

void RocketQML::markDemoLoaded()
{
    if (!rocket_flags().rocket_enabled)
        Rocket::instance().set_demo_loaded(true);
}

void RocketQML::reload()
{
    if (QQuickView* view = appState().mainView)
        view->engine()->clearComponentCache();
}

void RocketQML::reloadParticles()
{
    frameState().particleResetRequest = true;
    qDebug() << "reloadParticles received";
}

void RocketQML::markUpdateFrequent()
{
    Rocket::instance().note_change();
}

void RocketQML::remoteExportAll()
{
    qDebug() << "RocketQML::remoteExportAll() called from QML";
    Rocket::instance().export_all();
}

void RocketQML::saveAll()
{
    Rocket::instance().save_all_remote();
}

bool RocketQML::fileExists(QString fileName)
{
    if (fileName.isEmpty())
        return true;
    return demoFileReadable(plainPath(fileName.toStdString()));
}

QString RocketQML::path(QString fileName, QString skeneName)
{
    bool announce = false;
    const std::string url = skeneFileUrl(fileName.toStdString(), skeneName.toStdString(), &announce);
    if (announce)
        Q_EMIT fileNotFound(fileName, skeneName);
    return QString::fromStdString(url);
}

QString RocketQML::rootPath()
{
    return QString::fromStdString(demoFolders().rootDir);
}
