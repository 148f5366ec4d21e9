#include "app/AppState.h"
#include "app/Startup.h"
#include "gpu/GpuResources.h"
#include "items/ShaderParamQML.h"
#include "state/DemoDisplay.h"
#include "sync/Rocket.h"

#include "support/FreshState.h"
#include "support/QtTestApp.h"
#include "support/RecordingNotifier.h"
#include "support/TempDemo.h"

#include <QCoreApplication>
#include <QProcess>
#include <QTemporaryDir>
#include <QQuickView>
#include <gtest/gtest.h>

#include <cerrno>
#include <clocale>
#include <cstdio>
#include <cstdlib>
#include <filesystem>

namespace {

const char* const kAcceptAtOnce = R"(
import QtQuick 2.15
import QuellinDemoSystem 1.0
Item {
    width: 200; height: 100
    Rocket { id: rocket }
    Component.onCompleted: rocket.startDemo()
}
)";

const char* const kIgniteAtOnce = R"(
import QtQuick 2.15
import QuellinDemoSystem 1.0
Item {
    Rocket { id: rocket }
    Component.onCompleted: rocket.finishIgnite()
}
)";

const char* const kShellRoot = R"(
import QtQuick 2.15
import QuellinDemoSystem 1.0
DemoRoot { width: 320; height: 180 }
)";

// A demo whose start dialog accepts at once and whose rocket view closes at
// once; the test ends the main loop itself.
void writeTestDemo(TempDemo& demo)
{
    demo.write("fx/startDialog.qml", kAcceptAtOnce);
    demo.write("fx/startingRockets.qml", kIgniteAtOnce);
    demo.write("fx/mainEdit.qml", kShellRoot);
    demo.write("fx/main.qml", kShellRoot);
    demo.write("fx/intro/Skene.qml", "import QtQuick 2.15\nItem {}\n");
}

int runProgram()
{
    static char name[] = "tarvonic";
    char* argv[] = {name, nullptr};
    return app::runStartup(1, argv);
}

// Start-up runs inside the tests' one application object.
struct Startup : FreshStateTest {
    Startup() { ensureQtApp(); }
};

} // namespace

TEST_F(Startup, ViewSequenceRendersMainViewContinuouslyAndExitsWithZero)
{
    TempDemo demo;
    writeTestDemo(demo);
    demo.enter();
    installRecordingNotifier();

    int frames = 0;
    QString mainTitle, editTitle;
    QPoint mainPos, editPos;
    bool editVisible = false;
    bool glewLoaded = false;
    appState().beforeMainLoop = [&] {
        AppState& s = appState();
        QObject::connect(s.mainView, &QQuickWindow::frameSwapped, s.mainView, [&] {
            // Nothing but the view's own afterRendering -> update connection
            // asks for these frames.
            if (++frames == 10) {
                mainTitle = s.mainView->title();
                editTitle = s.editView->title();
                mainPos = s.mainView->position();
                editPos = s.editView->position();
                editVisible = s.editView->isVisible();
                glewLoaded = glewReady();
                QCoreApplication::exit(0);
            }
        });
    };
    EXPECT_EQ(runProgram(), 0);
    EXPECT_EQ(frames, 10);
    EXPECT_EQ(mainTitle, "demo  -  Quellin 2018");
    EXPECT_EQ(editTitle, "demo edit view");
    EXPECT_EQ(mainPos, QPoint(470, 35));
    EXPECT_EQ(editPos, QPoint(50, 35));
    EXPECT_TRUE(editVisible);
    EXPECT_TRUE(glewLoaded);
    EXPECT_EQ(demoDisplay().height, demoDisplay().width * 9 / 16);
    EXPECT_EQ(appState().editorWindowHeight, -720);
}

TEST_F(Startup, WithoutEditViewMainViewKeepsDefaultPlace)
{
    TempDemo demo;
    writeTestDemo(demo);
    demo.write("fx/startDialog.qml", R"(
import QtQuick 2.15
import QuellinDemoSystem 1.0
Item {
    Rocket { id: rocket }
    Component.onCompleted: { rocket.setEditViewEnabled(false); rocket.setRocketEnabled(false); rocket.startDemo() }
}
)");
    demo.enter();
    bool editVisible = true;
    QPoint mainPos(-1, -1);
    appState().beforeMainLoop = [&] {
        QObject::connect(appState().mainView, &QQuickWindow::frameSwapped, appState().mainView, [&] {
            editVisible = appState().editView->isVisible();
            mainPos = appState().mainView->position();
            QCoreApplication::exit(0);
        });
    };
    EXPECT_EQ(runProgram(), 0);
    EXPECT_FALSE(editVisible);
    EXPECT_NE(mainPos, QPoint(470, 35));
    EXPECT_TRUE(appState().qtCreatorDir.empty()); // no probe ran
}

TEST_F(Startup, NoSkeneDirectoryShowsBoxAndExitsWithOne)
{
    TempDemo demo;
    writeTestDemo(demo);
    std::filesystem::remove_all(demo.path("fx/intro"));
    demo.enter();
    RecordingNotifier& boxes = installRecordingNotifier();
    EXPECT_EQ(runProgram(), 1);
    ASSERT_EQ(boxes.boxes.size(), 1u);
    EXPECT_EQ(boxes.boxes[0].text, "No skenes found from:" + demo.root() + "/fx");
    EXPECT_EQ(boxes.boxes[0].caption, "ERROR LOADING QML from fx/*");
    EXPECT_EQ(boxes.boxes[0].buttons, platform::NotifyButtons::Ok);
}

TEST_F(Startup, DialogClosedWithoutStartEndsWithZero)
{
    TempDemo demo;
    writeTestDemo(demo);
    demo.write("fx/startDialog.qml", R"(
import QtQuick 2.15
import QtQuick.Window 2.15
Item { id: dialog; Timer { interval: 50; running: true; onTriggered: dialog.Window.window.close() } }
)");
    demo.enter();
    bool mainLoopRan = false;
    appState().beforeMainLoop = [&] { mainLoopRan = true; };
    EXPECT_EQ(runProgram(), 0);
    EXPECT_FALSE(mainLoopRan);
    EXPECT_FALSE(appState().start.startAccepted);
}

TEST_F(Startup, BrokenOrMissingShellViewReportsErrorsAndFails)
{
    TempDemo demo;
    writeTestDemo(demo);
    demo.write("fx/startDialog.qml", "import QtQuick 2.15\nItem { this is not qml }\n");
    demo.enter();
    testing::internal::CaptureStderr();
    EXPECT_EQ(runProgram(), app::kExitShellViewFailed);
    const std::string err = testing::internal::GetCapturedStderr();
    EXPECT_NE(err.find("startDialog.qml:2"), std::string::npos) << err;
}

TEST_F(Startup, MissingMainViewFailsAfterTheDialog)
{
    TempDemo demo;
    writeTestDemo(demo);
    std::filesystem::remove(demo.path("fx/main.qml"));
    demo.enter();
    testing::internal::CaptureStderr();
    EXPECT_EQ(runProgram(), app::kExitShellViewFailed);
    EXPECT_NE(testing::internal::GetCapturedStderr().find("main.qml"), std::string::npos);
}

TEST_F(Startup, UnreadableWorkingDirectoryReturnsErrno)
{
    TempDemo demo;
    demo.makeDir("gone");
    std::filesystem::current_path(demo.path("gone"));
    std::filesystem::remove(demo.path("gone"));
    EXPECT_EQ(runProgram(), ENOENT);
    std::filesystem::current_path("/");
}

TEST_F(Startup, NumbersReadAndPrintTheSameUnderADecimalCommaLocale)
{
    // A German locale, compiled here so the test needs no system set-up.
    QTemporaryDir locales;
    ASSERT_TRUE(locales.isValid());
    QProcess localedef;
    localedef.start("localedef", {"-i", "de_DE", "-f", "UTF-8", locales.filePath("de_DE.UTF-8")});
    ASSERT_TRUE(localedef.waitForFinished(60000));
    ASSERT_EQ(localedef.exitCode(), 0) << localedef.readAllStandardError().toStdString();
    // The process's locale and environment return to what they were, whatever fails.
    struct Restore {
        std::string locale = std::setlocale(LC_ALL, nullptr);
        ~Restore()
        {
            std::setlocale(LC_ALL, locale.c_str());
            unsetenv("LC_ALL");
            unsetenv("LOCPATH");
        }
    } restore;
    setenv("LOCPATH", locales.path().toLocal8Bit().constData(), 1);
    setenv("LC_ALL", "de_DE.UTF-8", 1);
    // What the application object does with that environment.
    ASSERT_NE(std::setlocale(LC_ALL, ""), nullptr);
    char text[16];
    std::snprintf(text, sizeof text, "%.2f", 0.5);
    ASSERT_STREQ(text, "0,50");

    TempDemo demo;
    writeTestDemo(demo);
    demo.write("fx/startDialog.qml", R"(
import QtQuick 2.15
import QtQuick.Window 2.15
Item { id: dialog; Timer { interval: 10; running: true; onTriggered: dialog.Window.window.close() } }
)");
    demo.enter();
    EXPECT_EQ(runProgram(), 0);

    std::snprintf(text, sizeof text, "sa%3.2f", 30.0);
    EXPECT_STREQ(text, "sa30.00");
    EXPECT_EQ(parseVec4Text("0.5, 1.25,2,-0.75"), (std::array<float, 4>{0.5f, 1.25f, 2.0f, -0.75f}));
}
