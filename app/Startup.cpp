#include <GL/glew.h>

#include "app/Startup.h"

#include "app/AppState.h"
#include "app/Capture.h"
#include "app/CommandLine.h"
#include "app/DisplayModes.h"
#include "app/QmlTypes.h"
#include "app/QtCreator.h"
#include "app/SurfaceFormat.h"
#include "editor/DOActiveScenes.h"
#include "editor/DataObject.h"
#include "editor/EditStatus.h"
#include "editor/SkeneTree.h"
#include "gpu/GpuResources.h"
#include "platform/Clock.h"
#include "platform/Files.h"
#include "platform/GlContext.h"
#include "platform/Notifier.h"
#include "platform/ProcessEnd.h"
#include "state/ActiveSkeneList.h"
#include "state/DemoDisplay.h"
#include "state/DemoFolders.h"
#include "state/SkeneSetups.h"
#include "state/rocket_flags.h"
#include "sync/Rocket.h"
#include "time/Music.h"
#include "time/Stopwatch.h"
#include "time/SystemTime.h"
#include "time/TimeState.h"

#include <QApplication>
#include <QDebug>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QQmlContext>
#include <QQmlEngine>
#include <QQuickView>
#include <QSurfaceFormat>
#include <QUrl>
#include <QVariant>

#include <clocale>
#include <cstdio>
#include <cstdlib>
#include <iostream>
#include <memory>
#include <optional>

namespace app {

namespace {

QQuickView* createView()
{
    auto* view = new QQuickView();
    view->setFormat(demoSurfaceFormat(view->format(), demoDisplay().sampleCount));
    QObject::connect(view->engine(), &QQmlEngine::quit, qApp, &QCoreApplication::quit);
    QObject::connect(view->engine(), &QQmlEngine::exit, qApp, &QCoreApplication::exit);
    return view;
}

// Loads a shell view's QML relative to the root directory. On failure the
// QML errors go to the standard error stream.
bool loadShellView(QQuickView* view, const char* relativePath)
{
    const QString path = QString::fromStdString(demoFolders().rootDir) + "/" + relativePath;
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
        if (!loop.done) {
            view->show();
            // The start dialog bypasses the window manager, which therefore
            // never gives it the keyboard: ask for it, or Enter, Escape and
            // the toggle keys do nothing until the author clicks it.
            view->requestActivate();
        }
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

// The basic render loop creates the GL context on the first exposed frame;
// wait for it so GLEW can load its entry points against it.
void makeMainContextCurrent(QQuickView* view)
{
    QElapsedTimer waited;
    waited.start();
    while (!view->openglContext() && waited.elapsed() < 5000)
        QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
    platform::makeGlContextCurrent(view->openglContext(), view);
}

void makeMainViewResources()
{
    AppState& s = appState();
    if (!currentGpuResources() && platform::currentGlContext())
        s.mainViewResources = std::make_unique<GpuResources>();
}

void tearDown()
{
    restoreDisplayMode();
    platform::finishBackgroundWrites();
    AppState& s = appState();
    delete s.mainView;
    delete s.editView;
    delete s.rocketView;
    delete s.startDialogView;
    s.mainView = s.editView = s.rocketView = s.startDialogView = nullptr;
    setEditContext(nullptr);
}

// A step of start-up returns the exit code when the program ends there, and
// nothing when start-up goes on.
using EndCode = std::optional<int>;

// The root directory and the fx folder; errno when the working directory
// cannot be read.
EndCode findDemoFolders()
{
    DemoFolders& folders = demoFolders();
    int error = 0;
    if (!platform::currentDirectory(folders.rootDir, error))
        return error;
    folders.fxPath = folders.rootDir + "/fx";
    return std::nullopt;
}

// The active setup file: the command-line option, else the default; a setup
// remembered in the current-setup file wins over both.
void chooseSetup(int argc, char** argv)
{
    AppState& s = appState();
    const std::string& fxPath = demoFolders().fxPath;
    std::string& setupPath = activeSkeneList().setupPath;
    const std::vector<std::string> args(argv, argv + argc);
    const std::string optionPath = scanActiveSkenesFileOption(args, setupPath);
    s.setupFiles = listSetupFiles(fxPath + "/_ActiveSkeneSetups");
    s.currentSetupName = readCurrentSetupName(fxPath);
    setupPath = chooseActiveSetupPath(optionPath, fxPath, s.currentSetupName);
}

void findSkenes()
{
    DemoFolders& folders = demoFolders();
    qDebug() << folders.fxPath.c_str();
    folders.skeneDirectories = listSkeneDirectories(folders.fxPath);
}

void createClocks()
{
    timeState().frameTimer = std::make_unique<Stopwatch>();
    timeState().systemTime = std::make_unique<SystemTime>();
}

// Shows the dialog with the resolutions and the setups (the current one
// first) and runs until it closes. The program ends unless it was started.
EndCode runStartDialog(const std::vector<std::string>& resolutions)
{
    AppState& s = appState();
    s.startDialogView = createView();
    QQmlContext* context = s.startDialogView->rootContext();
    context->setContextProperty("resolutions", QVariant::fromValue(toDataObjects(resolutions)));
    context->setContextProperty("activeSkeneSetups",
                                QVariant::fromValue(toDataObjects(orderSetupFiles(s.setupFiles, s.currentSetupName))));
    s.startDialogView->setFlags(Qt::WindowStaysOnTopHint | Qt::FramelessWindowHint | Qt::BypassWindowManagerHint);
    ShellLoop loop;
    if (!runShellView(s.startDialogView, "fx/startDialog.qml", "Tarvonic demo system - Quellin 2015-2016", loop))
        return kExitShellViewFailed;
    if (!s.start.startAccepted)
        return kExitOk;
    return std::nullopt;
}

// Reads the chosen setup's skene list. Without any skene folder there is
// nothing to show: a box, and the program ends.
EndCode loadActiveSkenes()
{
    const DemoFolders& folders = demoFolders();
    readActiveSkenes();
    for (const auto& dir : folders.skeneDirectories)
        qDebug("dir %s", dir.c_str());
    if (!folders.skeneDirectories.empty())
        return std::nullopt;
    platform::notifier().notify("No skenes found from:" + folders.fxPath, "ERROR LOADING QML from fx/*",
                                platform::NotifyButtons::Ok, platform::NotifyIcon::Error);
    return kExitNoSkenes;
}

void applyResolution()
{
    DemoDisplay& display = demoDisplay();
    const std::string& selected = appState().start.selectedResolution;
    applySelectedResolution(selected, display.width, display.height);
    qDebug() << "resoltuon received:" << selected.c_str();
    // The sync editor's window height follows the demo width at 16:9.
    appState().editorWindowHeight = int(float(-display.width) / 1.7777778f);
}

// With live editing the rocket view runs while the editors start; then the
// rockets connect (or open their track files).
EndCode igniteRockets()
{
    AppState& s = appState();
    s.rocketView = createView();
    if (rocket_flags().rocket_enabled) {
        ShellLoop loop;
        if (!runShellView(s.rocketView, "fx/startingRockets.qml", "Quellin - igniting rockets - hold your horses!",
                          loop))
            return kExitShellViewFailed;
    }
    Rocket::instance().connect_rockets();
    return std::nullopt;
}

// Switches the display to the chosen size for a full-screen start; when it
// refuses, the author chooses between a window and the end.
EndCode enterFullScreen()
{
    DemoDisplay& display = demoDisplay();
    if (display.fullScreen && !enterFullScreenMode(display.width, display.height)) {
        const platform::NotifyAnswer answer = platform::notifier().notify(
            "The Requested Fullscreen Mode Is Not Supported By\nYour Video Card. Use Windowed Mode Instead?",
            "OPENGL", platform::NotifyButtons::YesNo, platform::NotifyIcon::Warning);
        if (answer != platform::NotifyAnswer::Yes)
            return kExitOk;
        display.fullScreen = false;
    }
    // Rendering always uses a 16:9 area of the chosen width; a capture
    // keeps the size it was asked for.
    if (!display.fixedSize)
        display.height = display.width * 9 / 16;
    return std::nullopt;
}

// The edit view beside the demo, when the dialog asked for it: the skene
// tree, the active skene lists and the editor buttons.
EndCode openEditView()
{
    AppState& s = appState();
    s.editView = createView();
    demoDisplay().editWindow = s.editView;
    // Shaders keep their last working program while the author edits.
    rocket_flags().edit_view = s.start.editView;
    if (!s.start.editView)
        return std::nullopt;
    probeQtCreator();
    QQmlContext* context = s.editView->rootContext();
    setEditContext(context);
    context->setContextProperty("activeSkenesSetupFile", QString::fromStdString(s.currentSetupName));
    QList<QObject*> waiting;
    waiting.append(new DataObject("Waiting for rocket to connect", "white"));
    context->setContextProperty("myModel", QVariant::fromValue(waiting));
    // The main view's Demo item takes its place after its first load.
    context->setContextProperty(kDemoItemProperty, QVariant::fromValue<QObject*>(nullptr));
    publishSkeneListPlaceholder(context);
    publishEditViewModels(context, s.editView);
    if (!loadShellView(s.editView, "fx/mainEdit.qml"))
        return kExitShellViewFailed;
    s.editView->setTitle("demo edit view");
    s.editView->setPosition(50, 35);
    s.editView->show();
    return std::nullopt;
}

// The main view with the Demo item: shown, rendering continuously, with
// GLEW loaded against its context.
EndCode openMainView()
{
    AppState& s = appState();
    const DemoDisplay& display = demoDisplay();
    s.mainView = createView();
    demoDisplay().mainWindow = s.mainView;
    s.mainView->engine()->addImportPath("./plugins");
    // The controller publishes the demo time here every frame; skenes may
    // bind to it before the first frame has run.
    s.demoContext = s.mainView->rootContext();
    s.mainView->rootContext()->setContextProperty("demoTimeNow", 0.0);
    if (!loadShellView(s.mainView, "fx/main.qml"))
        return kExitShellViewFailed;
    s.mainView->setTitle("demo  -  Quellin 2018");
    if (display.fullScreen) {
        const ScreenPoint origin = fullScreenOrigin();
        s.mainView->setPosition(origin.x, origin.y);
        s.mainView->setFlags(Qt::Window | Qt::FramelessWindowHint);
    } else if (s.start.editView) {
        s.mainView->setPosition(470, 35);
    }

    // Every finished frame schedules the next: the demo renders
    // continuously.
    QObject::connect(s.mainView, &QQuickWindow::afterRendering, s.mainView, &QQuickWindow::update,
                     Qt::DirectConnection);
    // The Demo item makes its GPU resources (and loads GLEW) the moment the
    // view's context exists; a main view without one still gets GLEW for
    // its context, so its items' GL work can run.
    QObject::connect(s.mainView, &QQuickWindow::sceneGraphInitialized, s.mainView, makeMainViewResources,
                     Qt::DirectConnection);
    s.mainView->show();
    s.mainViewShownNs = platform::steadyNanoseconds();
    makeMainContextCurrent(s.mainView);
    makeMainViewResources();

    s.mainWindowId = s.mainView->winId();
    if (s.start.editView) {
        s.editWindowId = s.editView->winId();
        publishActiveSkeneListsAfterFirstFrame(s.mainView, editContext());
    }
    if (display.fullScreen)
        QGuiApplication::setOverrideCursor(Qt::BlankCursor);
    return std::nullopt;
}

// Loads the music paused; the controller starts it. A missing or broken file
// leaves it silent and the demo runs on.
void startMusic()
{
    timeState().music = std::make_unique<Music>();
    // A capture moves the music with its own clock, not a sound card's.
    if (appState().capture.active())
        timeState().music->use_stepped_output();
    timeState().music->load("music.mp3");
    timeState().music->set_paused(true);
}

int runLoop()
{
    if (appState().beforeMainLoop)
        appState().beforeMainLoop();
    return QApplication::exec();
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
    // Track files saved moments ago must not be lost to the quick exit.
    platform::finishBackgroundWrites();
    std::fflush(nullptr);
    std::cerr.flush();
    std::_Exit(code);
}

int runStartup(int argc, char** argv)
{
    // Qt Quick's threaded render loop would render skenes on a second
    // thread; the process-wide state is unlocked, so the basic loop, which
    // renders on the GUI thread, is required.
    qputenv("QSG_RENDER_LOOP", "basic");
    appState().startupBeganNs = platform::steadyNanoseconds();
    // A failure that ends the process from below (a missing anti-aliasing
    // table) must still hand the display its mode back.
    platform::setProcessEndHook(restoreDisplayMode);
    QSurfaceFormat::setDefaultFormat(demoSurfaceFormat(QSurfaceFormat::defaultFormat(), demoDisplay().sampleCount));
    // Tests run start-up inside their own application object.
    std::unique_ptr<QApplication> application;
    if (!QCoreApplication::instance())
        application = std::make_unique<QApplication>(argc, argv);
    // The application object set the C library's locale from the
    // environment; under a decimal-comma locale strtof would read "0.5" in a
    // skene as 0 and printf would write keys and log lines with commas.
    std::setlocale(LC_NUMERIC, "C");
    QCoreApplication::setOrganizationName("Quellin");
    QCoreApplication::setOrganizationDomain("quellin.demo");
    QCoreApplication::setApplicationName("QuellinDemoSystem");

    if (const EndCode end = findDemoFolders())
        return *end;
    chooseSetup(argc, argv);
    findSkenes();
    const std::vector<std::string> resolutions = listResolutions();
    createClocks();
    registerQmlTypes();

    const CaptureOptions& capture = appState().capture;
    EndCode end;
    if (capture.active())
        prepareCapture(capture);
    else
        end = runStartDialog(resolutions);
    if (!end)
        end = loadActiveSkenes();
    if (!end) {
        applyResolution();
        end = igniteRockets();
    }
    if (!end)
        end = enterFullScreen();
    if (!end)
        end = openEditView();
    if (!end)
        end = openMainView();
    if (!end) {
        startMusic();
        end = capture.active() ? runCapture(appState().mainView, capture, &appState().captureReport) : runLoop();
    }
    tearDown();
    return *end;
}

} // namespace app
