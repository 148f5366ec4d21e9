// The start flow as the start dialog and the rocket view drive it through the
// controller's slots: resolution, full screen and its refusal, the active
// skene setup, rocket ignition and the edit view's skene lists.
#include "app/AppState.h"
#include "app/DisplayModes.h"
#include "app/RocketQML.h"
#include "app/Startup.h"
#include "editor/DOActiveScenes.h"
#include "editor/DataObject.h"
#include "state/ActiveSkeneList.h"
#include "state/BuildErrors.h"
#include "state/DemoDisplay.h"
#include "state/DemoFolders.h"
#include "state/SkeneSetups.h"
#include "state/rocket_flags.h"
#include "sync/Rocket.h"

#include "support/FreshState.h"
#include "support/LogCapture.h"
#include "support/QtTestApp.h"
#include "support/RecordingNotifier.h"
#include "support/TempDemo.h"

#include <QCoreApplication>
#include <QCursor>
#include <QGuiApplication>
#include <QQmlContext>
#include <QQuickItem>
#include <QQuickView>
#include <QTest>
#include <QTimer>
#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

namespace {

// A start dialog whose Rocket runs body once the dialog has loaded.
std::string dialog(const std::string& body)
{
    return R"(
import QtQuick 2.15
import QuellinDemoSystem 1.0
Item {
    width: 200; height: 100
    Rocket { id: rocket }
    Component.onCompleted: { )" + body + R"( }
}
)";
}

// Ignites the rockets and closes once they report ignition; the timer only
// keeps a broken signal from hanging the test.
const char* const kRocketView = R"(
import QtQuick 2.15
import QuellinDemoSystem 1.0
Item {
    id: view
    property bool ignited: false
    Rocket {
        id: rocket
        onRocketsIgnited: { view.ignited = true; rocket.finishIgnite() }
    }
    Component.onCompleted: rocket.igniteRockets()
    Timer { interval: 5000; running: true; onTriggered: rocket.finishIgnite() }
}
)";

const char* const kShellRoot = R"(
import QtQuick 2.15
import QuellinDemoSystem 1.0
DemoRoot { width: 320; height: 180 }
)";

void writeDemo(TempDemo& demo, const std::string& dialogBody)
{
    demo.write("fx/startDialog.qml", dialog(dialogBody));
    demo.write("fx/startingRockets.qml", kRocketView);
    demo.write("fx/mainEdit.qml", kShellRoot);
    demo.write("fx/main.qml", kShellRoot);
    demo.write("fx/intro/Skene.qml", "import QtQuick 2.15\nItem {}\n");
    demo.write("fx/outro/Skene.qml", "import QtQuick 2.15\nItem {}\n");
}

int runProgram(std::string option = {})
{
    static char name[] = "tarvonic";
    char* argv[] = {name, option.empty() ? nullptr : option.data(), nullptr};
    return app::runStartup(option.empty() ? 1 : 2, argv);
}

// The example demo's own start dialog and the items it uses, in demo.
void useExampleDialog(TempDemo& demo)
{
    for (const char* name : {"startDialog.qml", "Toggle.qml", "Button.qml"}) {
        const std::string from = std::string(TARVONIC_SOURCE_DIR) + "/examples/lumenfall/fx/" + name;
        demo.write(std::string("fx/") + name, readTextFile(from));
    }
}

QList<QObject*> rows(const std::vector<const char*>& names)
{
    QList<QObject*> list;
    for (const char* n : names)
        list.append(new DataObject(n, "white"));
    return list;
}

// What the main loop found, recorded before it ends itself.
struct MainLoopView {
    bool ran = false;
    QPoint mainPos;
    Qt::WindowFlags mainFlags;
    bool cursorHidden = false;
};

void endMainLoopAtOnce(MainLoopView& seen)
{
    appState().beforeMainLoop = [&seen] {
        AppState& s = appState();
        seen.ran = true;
        seen.mainPos = s.mainView->position();
        seen.mainFlags = s.mainView->flags();
        const QCursor* cursor = QGuiApplication::overrideCursor();
        seen.cursorHidden = cursor && cursor->shape() == Qt::BlankCursor;
        QMetaObject::invokeMethod(qApp, [] { QCoreApplication::exit(0); }, Qt::QueuedConnection);
    };
}

std::vector<std::string> rowNames(QQmlContext* context, const char* property)
{
    std::vector<std::string> names;
    for (QObject* o : context->contextProperty(property).value<QList<QObject*>>())
        names.push_back(o->property("name").toString().toStdString());
    return names;
}

const char* const kRefusalText =
    "The Requested Fullscreen Mode Is Not Supported By\nYour Video Card. Use Windowed Mode Instead?";

// Start-up runs inside the tests' one application object.
struct StartFlow : FreshStateTest {
    StartFlow() { ensureQtApp(); }
};

} // namespace

TEST_F(StartFlow, RefusedFullScreenAnsweredYesStartsInWindow)
{
    TempDemo demo;
    // No output offers 1234 x 567, so the switch is refused.
    writeDemo(demo, R"(rocket.setFullScreen(true); rocket.setSelectedResolution("1234x567"); rocket.startDemo())");
    demo.enter();
    RecordingNotifier& boxes = installRecordingNotifier();
    boxes.answers = {platform::NotifyAnswer::Yes};
    MainLoopView seen;
    endMainLoopAtOnce(seen);

    EXPECT_EQ(runProgram(), 0);
    ASSERT_EQ(boxes.boxes.size(), 1u);
    EXPECT_EQ(boxes.boxes[0].text, kRefusalText);
    EXPECT_EQ(boxes.boxes[0].caption, "OPENGL");
    EXPECT_EQ(boxes.boxes[0].buttons, platform::NotifyButtons::YesNo);
    EXPECT_EQ(boxes.boxes[0].icon, platform::NotifyIcon::Warning);
    EXPECT_TRUE(seen.ran);
    EXPECT_FALSE(demoDisplay().fullScreen);
    EXPECT_EQ(seen.mainPos, QPoint(470, 35));
    EXPECT_FALSE(seen.mainFlags.testFlag(Qt::FramelessWindowHint));
    EXPECT_FALSE(seen.cursorHidden);
    EXPECT_EQ(demoDisplay().width, 1234);
    EXPECT_EQ(demoDisplay().height, 1234 * 9 / 16);
    EXPECT_FALSE(app::displayModeSwitched());
}

TEST_F(StartFlow, RefusedFullScreenAnsweredNoEndsWithZero)
{
    TempDemo demo;
    writeDemo(demo, R"(rocket.setFullScreen(true); rocket.setSelectedResolution("1234x567"); rocket.startDemo())");
    demo.enter();
    RecordingNotifier& boxes = installRecordingNotifier();
    boxes.answers = {platform::NotifyAnswer::No};
    MainLoopView seen;
    endMainLoopAtOnce(seen);

    EXPECT_EQ(runProgram(), 0);
    ASSERT_EQ(boxes.boxes.size(), 1u);
    EXPECT_EQ(boxes.boxes[0].text, kRefusalText);
    EXPECT_FALSE(seen.ran);
    EXPECT_EQ(appState().mainView, nullptr);
}

TEST_F(StartFlow, FullScreenAtOfferedSizeAsksNothing)
{
    TempDemo demo;
    // The first offered resolution is the size the output shows: no switch.
    writeDemo(demo, R"(rocket.setFullScreen(true); rocket.setSelectedResolution(resolutions[0].name); )"
                    R"(rocket.startDemo())");
    demo.enter();
    RecordingNotifier& boxes = installRecordingNotifier();
    MainLoopView seen;
    endMainLoopAtOnce(seen);

    EXPECT_EQ(runProgram(), 0);
    EXPECT_TRUE(boxes.boxes.empty());
    ASSERT_TRUE(seen.ran);
    EXPECT_TRUE(demoDisplay().fullScreen);
    EXPECT_EQ(seen.mainPos, QPoint(0, 0));
    EXPECT_TRUE(seen.mainFlags.testFlag(Qt::FramelessWindowHint));
    EXPECT_TRUE(seen.cursorHidden);
    const std::string shown = appState().start.selectedResolution;
    int width = 0, height = 0;
    app::applySelectedResolution(shown, width, height);
    EXPECT_EQ(demoDisplay().width, width);
    EXPECT_EQ(demoDisplay().height, width * 9 / 16);
}

TEST_F(StartFlow, ChosenResolutionGivesSixteenByNineDemoAndEditorHeight)
{
    TempDemo demo;
    writeDemo(demo, R"(rocket.setSelectedResolution("1920x1200"); rocket.startDemo())");
    demo.enter();
    installRecordingNotifier();
    LogCapture log;
    MainLoopView seen;
    endMainLoopAtOnce(seen);

    EXPECT_EQ(runProgram(), 0);
    EXPECT_EQ(demoDisplay().width, 1920);
    EXPECT_EQ(demoDisplay().height, 1080);
    EXPECT_EQ(appState().editorWindowHeight, -1080);
    EXPECT_TRUE(log.contains("resoltuon received: 1920x1200"));
}

TEST_F(StartFlow, EmptySelectionKeepsDefaultSize)
{
    TempDemo demo;
    writeDemo(demo, "rocket.startDemo()");
    demo.enter();
    installRecordingNotifier();
    MainLoopView seen;
    endMainLoopAtOnce(seen);
    EXPECT_EQ(runProgram(), 0);
    EXPECT_EQ(demoDisplay().width, 1280);
    EXPECT_EQ(demoDisplay().height, 720);
}

TEST_F(StartFlow, SetupChosenInDialogIsRememberedLoadedAndShownInEditView)
{
    TempDemo demo;
    writeDemo(demo, R"(rocket.setActiveSkeneSetup("party.as"); rocket.startDemo())");
    demo.write("fx/_ActiveSkeneSetups/a.as", formatActiveSkenes({{"intro", 1}}));
    demo.write("fx/_ActiveSkeneSetups/party.as", formatActiveSkenes({{"outro", 2}, {"intro", 1}}));
    demo.write("fx/_ActiveSkeneSetups/z.as", formatActiveSkenes({{"outro", 1}}));
    demo.write("fx/currentActiveScenesSetup.cfg", "z.as");
    demo.enter();
    installRecordingNotifier();
    LogCapture log;

    std::vector<std::string> dialogSetups, listBeforeFrame, listAfterFrame, directories;
    std::string editSetupName;
    appState().beforeMainLoop = [&] {
        AppState& s = appState();
        dialogSetups = rowNames(s.startDialogView->rootContext(), "activeSkeneSetups");
        editSetupName = editContext()->contextProperty("activeSkenesSetupFile").toString().toStdString();
        listBeforeFrame = rowNames(editContext(), kSkeneActivationListProperty);
        QObject::connect(s.mainView, &QQuickWindow::frameSwapped, s.mainView, [&] {
            listAfterFrame = rowNames(editContext(), kSkeneActivationListProperty);
            directories = rowNames(editContext(), kSkeneDirectoryListProperty);
            QCoreApplication::exit(0);
        }, Qt::QueuedConnection);
    };

    EXPECT_EQ(runProgram(), 0);
    const std::string fx = demo.root() + "/fx";
    EXPECT_EQ(dialogSetups, (std::vector<std::string>{"z.as", "a.as", "party.as"}));
    EXPECT_EQ(readTextFile(fx + "/currentActiveScenesSetup.cfg"), "party.as");
    EXPECT_EQ(activeSkeneList().setupPath, fx + "/_ActiveSkeneSetups/party.as");
    EXPECT_EQ(appState().currentSetupName, "party.as");
    EXPECT_TRUE(log.contains("g_activeScenesFile set to: " + fx + "/_ActiveSkeneSetups/party.as"));
    ASSERT_EQ(activeSkeneList().entries.size(), 2u);
    EXPECT_EQ(activeSkeneList().entries[0].name, "outro");
    EXPECT_EQ(editSetupName, "party.as");
    EXPECT_EQ(listBeforeFrame, std::vector<std::string>{"waiting for first render..."});
    EXPECT_EQ(listAfterFrame, (std::vector<std::string>{"outro", "intro"}));
    EXPECT_EQ(directories, (std::vector<std::string>{"intro", "outro"}));
}

TEST_F(StartFlow, StartupReadsActiveListFromCurrentSetup)
{
    TempDemo demo;
    writeDemo(demo, "rocket.startDemo()");
    demo.write("fx/_ActiveSkeneSetups/lumenfall.as", formatActiveSkenes({{"intro", 1}}));
    demo.write("fx/_ActiveSkeneSetups/party.as", formatActiveSkenes({{"outro", 4}}));
    demo.write("fx/currentActiveScenesSetup.cfg", "party.as");
    demo.enter();
    installRecordingNotifier();
    MainLoopView seen;
    endMainLoopAtOnce(seen);
    EXPECT_EQ(runProgram(), 0);
    ASSERT_EQ(activeSkeneList().entries.size(), 1u);
    EXPECT_EQ(activeSkeneList().entries[0].name, "outro");
    EXPECT_EQ(activeSkeneList().entries[0].rocketIndex, 4);
}

TEST_F(StartFlow, RocketViewIgnitesThenCloses)
{
    TempDemo demo;
    writeDemo(demo, "rocket.startDemo()");
    demo.enter();
    installRecordingNotifier();
    bool ignited = false;
    appState().beforeMainLoop = [&] {
        ignited = appState().rocketView->rootObject()->property("ignited").toBool();
        QMetaObject::invokeMethod(qApp, [] { QCoreApplication::exit(0); }, Qt::QueuedConnection);
    };
    EXPECT_EQ(runProgram(), 0);
    EXPECT_TRUE(ignited);
}

TEST_F(StartFlow, ControllerSlotsSetTheStartSettings)
{
    RocketQML rocket;
    int resolutionSignals = 0, ignitions = 0;
    QObject::connect(&rocket, &RocketQML::resolutionsChanged, [&] { ++resolutionSignals; });
    QObject::connect(&rocket, &RocketQML::rocketsIgnited, [&] { ++ignitions; });

    EXPECT_FALSE(rocket.getFullScreen());
    rocket.setFullScreen(true);
    EXPECT_TRUE(rocket.getFullScreen());
    EXPECT_TRUE(demoDisplay().fullScreen);
    rocket.setEditViewEnabled(false);
    EXPECT_FALSE(appState().start.editView);
    rocket.setRocketEnabled(false);
    rocket.setMultiRocketEnabled(false);
    EXPECT_FALSE(rocket_flags().rocket_enabled);
    EXPECT_FALSE(rocket_flags().multi_rocket);
    rocket.setSelectedResolution("1024x768");
    rocket.setSelectedResolution("1024x768"); // signals every time
    EXPECT_EQ(appState().start.selectedResolution, "1024x768");
    EXPECT_EQ(resolutionSignals, 2);
    rocket.igniteRockets();
    EXPECT_EQ(ignitions, 1);
}

TEST_F(StartFlow, UnwritableCurrentSetupFileKeepsChoiceForThisRun)
{
    TempDemo demo;
    demo.write("fx/_ActiveSkeneSetups/party.as", formatActiveSkenes({{"outro", 2}}));
    demo.makeDir("fx/currentActiveScenesSetup.cfg"); // a folder cannot be replaced by a file
    demoFolders().fxPath = demo.path("fx");
    RecordingNotifier& boxes = installRecordingNotifier();
    RocketQML rocket;
    rocket.setActiveSkeneSetup("party.as");
    EXPECT_EQ(appState().currentSetupName, "party.as");
    ASSERT_EQ(activeSkeneList().entries.size(), 1u);
    EXPECT_EQ(activeSkeneList().entries[0].name, "outro");
    EXPECT_TRUE(boxes.boxes.empty());

    // A setup that cannot be read leaves the list as it was.
    rocket.setActiveSkeneSetup("missing.as");
    EXPECT_EQ(activeSkeneList().setupPath, demo.path("fx/_ActiveSkeneSetups/missing.as"));
    ASSERT_EQ(activeSkeneList().entries.size(), 1u);
}

TEST_F(StartFlow, StartDialogTakesTheKeyboardAndLeavesTheCommandLineSetupAlone)
{
    TempDemo demo;
    writeDemo(demo, "");
    useExampleDialog(demo);
    demo.write("fx/_ActiveSkeneSetups/a.as", formatActiveSkenes({{"intro", 1}}));
    demo.write("fx/_ActiveSkeneSetups/b.as", formatActiveSkenes({{"outro", 1}}));
    demo.enter();
    installRecordingNotifier();
    MainLoopView seen;
    endMainLoopAtOnce(seen);

    // No window manager here either: the dialog must ask for the keyboard
    // itself. Enter starts once it has it (tried anyway after a while; the
    // dialog is closed unstarted when even that goes unheard).
    bool active = false;
    int ticks = 0;
    QTimer keys;
    QObject::connect(&keys, &QTimer::timeout, [&] {
        QQuickView* view = appState().startDialogView;
        if (!view || !view->isExposed())
            return;
        active = active || view->isActive();
        if (active || ++ticks == 150)
            QTest::keyClick(view, Qt::Key_Return);
        if (ticks == 300) // the dialog never heard the key
            app::endShellView(view);
    });
    keys.start(20);
    const std::string option = demo.path("fx/_ActiveSkeneSetups/b.as");
    EXPECT_EQ(runProgram("-activeSkenesFile:" + option), 0);
    EXPECT_TRUE(seen.ran);
    EXPECT_TRUE(active);
    // Enter alone picks no setup: the option holds and nothing is remembered.
    EXPECT_EQ(activeSkeneList().setupPath, option);
    EXPECT_FALSE(std::filesystem::exists(demo.path("fx/currentActiveScenesSetup.cfg")));
}

TEST_F(StartFlow, ExampleDialogPrefers1280x720AndSetsASetupOnlyWhenPicked)
{
    TempDemo demo;
    useExampleDialog(demo);
    demo.write("fx/_ActiveSkeneSetups/a.as", formatActiveSkenes({{"intro", 1}}));
    demo.write("fx/_ActiveSkeneSetups/b.as", formatActiveSkenes({{"outro", 1}}));
    demoFolders().fxPath = demo.path("fx");
    activeSkeneList().setupPath = "from-the-command-line.as";
    const auto press = [&](std::vector<Qt::Key> keys) {
        QQuickView view;
        view.rootContext()->setContextProperty("resolutions",
                                               QVariant::fromValue(rows({"1920x1080", "1280x720", "800x600"})));
        view.rootContext()->setContextProperty("activeSkeneSetups", QVariant::fromValue(rows({"a.as", "b.as"})));
        view.setSource(QUrl::fromLocalFile(QString::fromStdString(demo.path("fx/startDialog.qml"))));
        ASSERT_EQ(view.status(), QQuickView::Ready);
        view.show();
        view.requestActivate();
        ASSERT_TRUE(waitUntil([&] { return view.isActive(); }));
        for (Qt::Key key : keys)
            QTest::keyClick(&view, key);
    };

    press({Qt::Key_Return});
    EXPECT_EQ(appState().start.selectedResolution, "1280x720");
    EXPECT_EQ(activeSkeneList().setupPath, "from-the-command-line.as");

    press({Qt::Key_PageDown, Qt::Key_Down, Qt::Key_Return});
    EXPECT_EQ(appState().start.selectedResolution, "800x600");
    EXPECT_EQ(activeSkeneList().setupPath, demo.path("fx/_ActiveSkeneSetups/b.as"));
    EXPECT_EQ(appState().currentSetupName, "b.as");
}

TEST_F(StartFlow, TheEditViewAloneCountsAsEditingWhileRunning)
{
    // Shaders keep their last working program while the author edits: with
    // the edit view on even when no sync editor is.
    for (const bool editView : {true, false}) {
        resetProcessState();
        TempDemo demo;
        writeDemo(demo, std::string("rocket.setRocketEnabled(false); rocket.setEditViewEnabled(") +
                            (editView ? "true" : "false") + "); rocket.startDemo()");
        demo.enter();
        installRecordingNotifier();
        MainLoopView seen;
        endMainLoopAtOnce(seen);
        EXPECT_EQ(runProgram(), 0);
        ASSERT_TRUE(seen.ran);
        EXPECT_EQ(rocket_flags().edit_view, editView);
        EXPECT_EQ(editingWhileRunning(), editView);
    }
}

TEST_F(StartFlow, ExampleDialogsErrorsToggleSendsErrorsBesideTheDemo)
{
    TempDemo demo;
    useExampleDialog(demo);
    demoFolders().fxPath = demo.path("fx");
    // Each start runs the dialog afresh; what it shows comes from the setting.
    const auto start = [&](std::vector<Qt::Key> keys, bool& shownChecked) {
        QQuickView view;
        view.rootContext()->setContextProperty("resolutions", QVariant::fromValue(rows({"1280x720"})));
        view.rootContext()->setContextProperty("activeSkeneSetups", QVariant::fromValue(rows({"a.as"})));
        view.setSource(QUrl::fromLocalFile(QString::fromStdString(demo.path("fx/startDialog.qml"))));
        ASSERT_EQ(view.status(), QQuickView::Ready);
        QObject* toggle = view.rootObject()->findChild<QObject*>("errorsToggle");
        ASSERT_TRUE(toggle);
        shownChecked = toggle->property("checked").toBool();
        view.show();
        view.requestActivate();
        ASSERT_TRUE(waitUntil([&] { return view.isActive(); }));
        for (Qt::Key key : keys)
            QTest::keyClick(&view, key);
    };

    bool shown = true;
    // Off unless asked for: errors keep their boxes.
    start({Qt::Key_Return}, shown);
    EXPECT_FALSE(shown);
    EXPECT_FALSE(buildErrors().besideDemo());
    start({Qt::Key_L, Qt::Key_Return}, shown);
    EXPECT_TRUE(buildErrors().besideDemo());
    EXPECT_TRUE(appState().start.startAccepted);
    // Shown again as it was chosen, and flipped back by the same key.
    start({Qt::Key_L}, shown);
    EXPECT_TRUE(shown);
    EXPECT_FALSE(buildErrors().besideDemo());
}
