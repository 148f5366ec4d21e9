// The bundled showcase demo (examples/lumenfall) as an author meets it: its
// skenes together use the whole QML vocabulary, every skene loads, compiles
// and plays without a message, and its start dialog turns the sync editors
// on or off to suit the setup picked.
#include "app/AppState.h"
#include "app/Startup.h"
#include "editor/DataObject.h"
#include "items/ItemTypes.h"
#include "state/ActiveSkeneList.h"
#include "state/SkeneSetups.h"
#include "state/rocket_flags.h"
#include "sync/Rocket.h"

#include "support/FreshState.h"
#include "support/LogCapture.h"
#include "support/QtTestApp.h"
#include "support/RecordingNotifier.h"
#include "support/TempDemo.h"

#include <QCoreApplication>
#include <QQmlContext>
#include <QQuickView>
#include <QTest>
#include <gtest/gtest.h>

#include <filesystem>
#include <regex>
#include <set>
#include <string>
#include <vector>

namespace fs = std::filesystem;

namespace {

const std::string kShowcase = std::string(TARVONIC_SOURCE_DIR) + "/examples/lumenfall";

#define TYPE_NAME(cls, qmlName, segment) qmlName,
const std::vector<std::string> kItemTypes = {DEMO_ITEM_TYPES(TYPE_NAME)};
#undef TYPE_NAME

// The types only the shell views hold: the main view's Demo and Rocket, the
// edit view's root.
const std::set<std::string> kShellTypes = {"Demo", "DemoRoot", "Rocket"};

// The QML type names that a file instantiates ("Name {", or a value source's
// "Name on property {"), comments left out.
std::set<std::string> typesUsedIn(const std::string& path)
{
    const std::string text = std::regex_replace(readTextFile(path), std::regex("//[^\n]*"), "");
    std::set<std::string> used;
    for (const std::string& type : kItemTypes) {
        if (std::regex_search(text, std::regex("(^|[^\\w.])" + type + "(\\s+on\\s+[\\w.]+)?\\s*\\{")))
            used.insert(type);
    }
    return used;
}

std::vector<std::string> skeneFolders(const std::string& demoRoot)
{
    std::vector<std::string> names;
    for (const std::string& name : listSkeneDirectories(demoRoot + "/fx")) {
        if (name[0] != '_')
            names.push_back(name);
    }
    return names;
}

struct Showcase : FreshStateTest {
    Showcase() { ensureQtApp(); }
};

} // namespace

TEST_F(Showcase, ItsPlaybackSkenesUseEveryItemTypeAndItsViewsTheShellTypes)
{
    const std::vector<ActiveSkene> playback =
        parseActiveSkenes(readTextFile(kShowcase + "/fx/_ActiveSkeneSetups/lumenfall.as"));
    ASSERT_GE(playback.size(), 3u);
    std::set<std::string> inSkenes;
    for (const ActiveSkene& skene : playback) {
        const std::set<std::string> used = typesUsedIn(kShowcase + "/fx/" + skene.name + "/Skene.qml");
        EXPECT_FALSE(used.empty()) << skene.name;
        inSkenes.insert(used.begin(), used.end());
    }
    std::set<std::string> inViews;
    for (const char* view : {"main.qml", "mainEdit.qml"}) {
        const std::set<std::string> used = typesUsedIn(kShowcase + "/fx/" + view);
        inViews.insert(used.begin(), used.end());
    }
    for (const std::string& type : kItemTypes) {
        if (kShellTypes.count(type))
            EXPECT_TRUE(inViews.count(type)) << type << " is in no shell view";
        else
            EXPECT_TRUE(inSkenes.count(type)) << type << " is in no skene of the playback setup";
    }

    // Each use has its setup, and they all play the same skenes.
    for (const char* setup : {"sync-one-editor.as", "sync-per-skene.as"}) {
        const std::vector<ActiveSkene> other =
            parseActiveSkenes(readTextFile(kShowcase + "/fx/_ActiveSkeneSetups/" + setup));
        ASSERT_EQ(other.size(), playback.size()) << setup;
        for (size_t i = 0; i < other.size(); ++i)
            EXPECT_EQ(other[i].name, playback[i].name) << setup;
    }
}

TEST_F(Showcase, EverySkeneLoadsCompilesAndPlaysWithoutAMessage)
{
    TempDemo demo;
    fs::copy(kShowcase, demo.root(), fs::copy_options::recursive | fs::copy_options::overwrite_existing);
    fs::remove(demo.path("fx/currentActiveScenesSetup.cfg"));
    std::vector<ActiveSkene> everything;
    for (const std::string& name : skeneFolders(demo.root()))
        everything.push_back({name, int(everything.size()) + 1});
    ASSERT_GE(everything.size(), 4u);
    demo.write("fx/_ActiveSkeneSetups/everything.as", formatActiveSkenes(everything));
    demo.write("fx/startDialog.qml", startAtOnceDialog("everything.as"));
    demo.enter();
    RecordingNotifier& boxes = installRecordingNotifier();
    LogCapture log;

    // A few frames once the music plays (the skenes have loaded and their
    // shaders settled by then); the frame cap ends a demo that never starts.
    int frames = 0;
    int playingFrames = 0;
    appState().beforeMainLoop = [&] {
        QQuickView* view = appState().mainView;
        QObject::connect(view, &QQuickWindow::frameSwapped, view, [&] {
            ++frames;
            if (!Rocket::instance().is_paused())
                ++playingFrames;
            if (playingFrames == 5 || frames == 600)
                QCoreApplication::exit(0);
        });
    };
    static char name[] = "tarvonic";
    char* argv[] = {name, nullptr};
    EXPECT_EQ(app::runStartup(1, argv), 0);

    // A frame may still be shown after the exit was asked for.
    EXPECT_GE(playingFrames, 5);
    EXPECT_LT(frames, 600) << "the demo never started playing";
    EXPECT_TRUE(boxes.boxes.empty()) << boxes.boxes[0].caption << ": " << boxes.boxes[0].text;
    const std::regex qmlMessage(R"(\.qml:\d+)");
    std::set<std::string> compiled;
    std::string compiling;
    for (const std::string& line : log.lines()) {
        EXPECT_FALSE(std::regex_search(line, qmlMessage)) << line;
        EXPECT_EQ(line.rfind("failed to compile", 0), std::string::npos) << compiling << ": " << line;
        if (line.rfind("Compiling shader:", 0) == 0)
            compiling = line.substr(std::string("Compiling shader:").size());
        else if (line.rfind("successfully compiled", 0) == 0)
            compiled.insert(compiling);
    }
    // Each skene's shaders were found in its folder and compiled.
    for (const ActiveSkene& skene : everything) {
        for (const auto& entry : fs::directory_iterator(demo.path("fx/" + skene.name))) {
            if (entry.path().extension() == ".vert") {
                EXPECT_TRUE(compiled.count(entry.path().stem().string())) << entry.path();
            }
        }
    }
}

TEST_F(Showcase, ItsDialogSetsTheSyncEditorsOfTheSetupPicked)
{
    QQuickView view;
    QList<QObject*> setups;
    for (const char* name : {"lumenfall.as", "sync-one-editor.as", "sync-per-skene.as", "mine.as"})
        setups.append(new DataObject(name, "white", &view));
    view.rootContext()->setContextProperty("resolutions", QVariant::fromValue(QList<QObject*>()));
    view.rootContext()->setContextProperty("activeSkeneSetups", QVariant::fromValue(setups));
    view.setSource(QUrl::fromLocalFile(QString::fromStdString(kShowcase + "/fx/startDialog.qml")));
    ASSERT_EQ(view.status(), QQuickView::Ready);
    view.show();
    view.requestActivate();
    ASSERT_TRUE(waitUntil([&] { return view.isActive(); }));
    const auto flags = [] { return std::make_pair(rocket_flags().rocket_enabled, rocket_flags().multi_rocket); };

    // The first setup, the playback one, is in force as the dialog opens.
    EXPECT_EQ(flags(), std::make_pair(false, true));
    QTest::keyClick(&view, Qt::Key_PageDown);
    EXPECT_EQ(flags(), std::make_pair(true, false));
    QTest::keyClick(&view, Qt::Key_PageDown);
    EXPECT_EQ(flags(), std::make_pair(true, true));
    // The keys still flip them; a setup the dialog does not know keeps them.
    QTest::keyClick(&view, Qt::Key_M);
    QTest::keyClick(&view, Qt::Key_PageDown);
    EXPECT_EQ(flags(), std::make_pair(true, false));
}
