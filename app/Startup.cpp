#include "app/Startup.h"

#include "app/ActiveSkeneList.h"
#include "app/AppState.h"
#include "app/CommandLine.h"
#include "app/DisplayModes.h"
#include "app/GlewSetup.h"
#include "app/QmlTypes.h"
#include "app/QtCreator.h"
#include "app/SkeneSetups.h"
#include "app/SurfaceFormat.h"
#include "editor/DOActiveScenes.h"
#include "editor/DataObject.h"
#include "platform/Files.h"
#include "platform/Notifier.h"
#include "sync/Rocket.h"
#include "sync/rocket_flags.h"
#include "time/Music.h"
#include "time/Stopwatch.h"
#include "time/SystemTime.h"
#include "time/TimeState.h"

#include <QApplication>
#include <QDebug>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QOpenGLContext>
#include <QQmlContext>
#include <QQmlEngine>
#include <QQuickView>
#include <QSurfaceFormat>
#include <QUrl>
#include <QVariant>

#include <cstdio>
#include <cstdlib>
#include <iostream>

namespace app {

namespace {

QQuickView* createView()
{
    auto* view = new QQuickView();
    view->setFormat(demoSurfaceFormat(view->format(), appState().sampleCount));
    QObject::connect(view->engine(), &QQmlEngine::quit, qApp, &QCoreApplication::quit);
    QObject::connect(view->engine(), &QQmlEngine::exit, qApp, &QCoreApplication::exit);
    return view;
}

// Loads a shell view's QML relative to the root directory. On failure the
// QML errors go to the standard error stream.
bool loadShellView(QQuickView* view, const char* relativePath)
{
    const QString path = QString::fromStdString(appState().rootDir) + "/" + relativePath;
    view->setSource(QUrl::fromLocalFile(path));
    if (view->status() != QQuickView::Error && view->rootObject())
        return true;
    std::cerr << "Cannot load " << relativePath << ":\n";
    for (const QQmlError& e : view->errors())
        std::cerr << "  " << e.toString().toStdString() << "\n";
    std::cerr.flush();
    return false;
}

// A nested event loop that runs while one shell view is up. The view's QML may
// end it while it is still loading, so the end is remembered, not only sent.
struct ShellLoop {
    QEventLoop loop;
    bool done = false;
    void finish()
    {
        done = true;
        loop.quit();
    }
};

// The shell view loop that runs now, if any.
ShellLoop* currentShellLoop = nullptr;

// Loads, titles and shows a shell view, then runs until its window closes or
// is destroyed or until loop.finish(). False when the QML did not load.
bool runShellView(QQuickView* view, const char* relativePath, const char* title, ShellLoop& loop)
{
    // QQuickCloseEvent is private, so this one connects by signature.
    QObject::connect(view, SIGNAL(closing(QQuickCloseEvent*)), &loop.loop, SLOT(quit()));
    QObject::connect(view, &QQuickWindow::visibleChanged, &loop.loop, [&loop](bool visible) {
        if (!visible)
            loop.finish();
    });
    currentShellLoop = &loop;
    const bool loaded = loadShellView(view, relativePath);
    if (loaded) {
        view->setTitle(title);
        if (!loop.done)
            view->show();
        if (!loop.done)
            loop.loop.exec();
    }
    currentShellLoop = nullptr;
    return loaded;
}

QList<QObject*> toDataObjects(const std::vector<std::string>& names)
{
    QList<QObject*> list;
    for (const auto& n : names)
        list.append(new DataObject(QString::fromStdString(n), "white"));
    return list;
}

// The setups equal to the current setup name first, then the others, each
// group in listing order.
std::vector<std::string> orderedSetupFiles()
{
    return orderSetupFiles(appState().setupFiles, appState().currentSetupName);
}

// The basic render loop creates the GL context on the first exposed frame;
// wait for it so GLEW can load its entry points against it.
void makeMainContextCurrent(QQuickView* view)
{
    QElapsedTimer waited;
    waited.start();
    while (!view->openglContext() && waited.elapsed() < 5000)
        QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
    if (QOpenGLContext* context = view->openglContext())
        context->makeCurrent(view);
}

void tearDown()
{
    restoreDisplayMode();
    AppState& s = appState();
    delete s.mainView;
    delete s.editView;
    delete s.rocketView;
    delete s.startDialogView;
    s.mainView = s.editView = s.rocketView = s.startDialogView = nullptr;
    s.editContext = nullptr;
}

} // namespace

void endShellView(QQuickView* view)
{
    if (view)
        view->destroy();
    if (currentShellLoop)
        currentShellLoop->finish();
}

void exitProcess(int code)
{
    restoreDisplayMode();
    std::fflush(nullptr);
    std::cerr.flush();
    std::_Exit(code);
}

int runStartup(int argc, char** argv)
{
    AppState& s = appState();

    // 1. Application object. Qt Quick's threaded render loop would render
    // skenes on a second thread; the process-wide state is unlocked, so the
    // basic loop, which renders on the GUI thread, is required.
    qputenv("QSG_RENDER_LOOP", "basic");
    QSurfaceFormat::setDefaultFormat(demoSurfaceFormat(QSurfaceFormat::defaultFormat(), s.sampleCount));
    QApplication application(argc, argv);
    QCoreApplication::setOrganizationName("Quellin");
    QCoreApplication::setOrganizationDomain("quellin.demo");
    QCoreApplication::setApplicationName("QuellinDemoSystem");

    // 2. Root directory.
    int error = 0;
    if (!platform::currentDirectory(s.rootDir, error))
        return error;
    s.fxPath = s.rootDir + "/fx";

    // 3.-5. The active setup: option, default, then the current-setup file.
    std::vector<std::string> args(argv, argv + argc);
    const std::string optionPath = scanActiveSkenesFileOption(args, s.activeSetupPath);
    s.setupFiles = listSetupFiles(s.fxPath + "/_ActiveSkeneSetups");
    s.currentSetupName = readCurrentSetupName(s.fxPath);
    s.activeSetupPath = chooseActiveSetupPath(optionPath, s.fxPath, s.currentSetupName);

    // 7. Skene directories.
    qDebug() << s.fxPath.c_str();
    s.skeneDirectories = listSkeneDirectories(s.fxPath);

    // 8. Resolutions.
    const std::vector<std::string> resolutions = listResolutions();

    // 9. Clocks, registries and the QML module.
    timeState().frameTimer = std::make_unique<Stopwatch>();
    timeState().systemTime = std::make_unique<SystemTime>();
    registerQmlTypes();

    // 10. Start dialog.
    s.startDialogView = createView();
    QQmlContext* dialogContext = s.startDialogView->rootContext();
    dialogContext->setContextProperty("resolutions", QVariant::fromValue(toDataObjects(resolutions)));
    dialogContext->setContextProperty("activeSkeneSetups", QVariant::fromValue(toDataObjects(orderedSetupFiles())));
    s.startDialogView->setFlags(Qt::WindowStaysOnTopHint | Qt::FramelessWindowHint | Qt::BypassWindowManagerHint);
    {
        ShellLoop loop;
        if (!runShellView(s.startDialogView, "fx/startDialog.qml",
                          "Tarvonic demo system - Quellin 2015-2016", loop)) {
            tearDown();
            return kExitShellViewFailed;
        }
    }

    // 11.
    if (!s.start.startAccepted) {
        tearDown();
        return kExitOk;
    }

    // 12. The active skene list.
    readActiveSkenes();
    for (const auto& dir : s.skeneDirectories)
        qDebug("dir %s", dir.c_str());

    // 13.
    if (s.skeneDirectories.empty()) {
        platform::notifier().notify("No skenes found from:" + s.fxPath, "ERROR LOADING QML from fx/*",
                                    platform::NotifyButtons::Ok, platform::NotifyIcon::Error);
        tearDown();
        return kExitNoSkenes;
    }

    // 14. Resolution.
    applySelectedResolution(s.start.selectedResolution, s.demoWidth, s.demoHeight);
    qDebug() << "resoltuon received:" << s.start.selectedResolution.c_str();

    // 15. The sync editor's window height follows the demo width at 16:9.
    s.syncEditorWindowHeight = int(float(-s.demoWidth) / 1.7777778f);

    // 16. Rocket view.
    s.rocketView = createView();
    if (rocket_flags().rocket_enabled) {
        ShellLoop loop;
        if (!runShellView(s.rocketView, "fx/startingRockets.qml",
                          "Quellin - igniting rockets - hold your horses!", loop)) {
            tearDown();
            return kExitShellViewFailed;
        }
    }

    // 17. Rocket connections.
    Rocket::instance().connect_rockets();

    // 18. Full screen, at the height chosen in the dialog.
    if (s.start.fullScreen && !enterFullScreenMode(s.demoWidth, s.demoHeight)) {
        const platform::NotifyAnswer answer = platform::notifier().notify(
            "The Requested Fullscreen Mode Is Not Supported By\nYour Video Card. Use Windowed Mode Instead?",
            "OPENGL", platform::NotifyButtons::YesNo, platform::NotifyIcon::Warning);
        if (answer != platform::NotifyAnswer::Yes) {
            tearDown();
            return kExitOk;
        }
        s.start.fullScreen = false;
    }

    // 19. Rendering always uses a 16:9 area of the chosen width.
    s.demoHeight = s.demoWidth * 9 / 16;

    // 20. Edit view.
    s.editView = createView();
    if (s.start.editView) {
        probeQtCreator();
        s.editContext = s.editView->rootContext();
        if (s.editContext) {
            s.editContext->setContextProperty("activeSkenesSetupFile",
                                              QString::fromStdString(s.currentSetupName));
        }
        QList<QObject*> waiting;
        waiting.append(new DataObject("Waiting for rocket to connect", "white"));
        s.editContext->setContextProperty("myModel", QVariant::fromValue(waiting));
        publishSkeneListPlaceholder(s.editContext);
        if (!loadShellView(s.editView, "fx/mainEdit.qml")) {
            tearDown();
            return kExitShellViewFailed;
        }
        s.editView->setTitle("demo edit view");
        s.editView->setPosition(50, 35);
        s.editView->show();
    }

    // 21. Main view.
    s.mainView = createView();
    s.mainView->engine()->addImportPath("./plugins");
    // The controller publishes the demo time here every frame; skenes may
    // bind to it before the first frame has run.
    Rocket::instance().qml_context = s.mainView->rootContext();
    s.mainView->rootContext()->setContextProperty("demoTimeNow", 0.0);
    if (!loadShellView(s.mainView, "fx/main.qml")) {
        tearDown();
        return kExitShellViewFailed;
    }
    s.mainView->setTitle("demo  -  Quellin 2018");
    if (s.start.fullScreen) {
        s.mainView->setPosition(0, 0);
        s.mainView->setFlags(Qt::Window | Qt::FramelessWindowHint);
    } else if (s.start.editView) {
        s.mainView->setPosition(470, 35);
    }

    // 22. Every finished frame schedules the next: the demo renders
    // continuously.
    QObject::connect(s.mainView, &QQuickWindow::afterRendering, s.mainView, &QQuickWindow::update,
                     Qt::DirectConnection);

    // 23. Show, then GLEW.
    s.mainView->show();
    makeMainContextCurrent(s.mainView);
    if (initGlew())
        s.glewReady = true;

    // 24.
    s.mainWindowId = s.mainView->winId();
    if (s.start.editView) {
        s.editWindowId = s.editView->winId();
        publishActiveSkeneListsAfterFirstFrame(s.mainView, s.editContext);
    }

    // 25. Hidden cursor in full screen.
    if (s.start.fullScreen)
        QGuiApplication::setOverrideCursor(Qt::BlankCursor);

    // 26. Music. A missing or broken file leaves it silent; the demo runs on.
    timeState().music = std::make_unique<Music>();
    timeState().music->load("music.mp3");
    timeState().music->set_paused(true);

    // 27. Main event loop.
    if (s.beforeMainLoop)
        s.beforeMainLoop();
    const int code = application.exec();
    tearDown();
    return code;
}

} // namespace app
