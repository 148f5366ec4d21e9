// Saving a skene's QML while the demo is paused: the skene alone is made
// anew in a running Demo frame, as an author meets it with a sync editor
// connected.
#include <GL/glew.h>

#include "TestEffects.h"

#include "editor/DOActiveScenes.h"
#include "editor/DataObject.h"
#include "editor/SkeneTree.h"
#include "gpu/FileAutoLoader.h"
#include "gpu/GpuResources.h"
#include "gpu/Shader.h"
#include "host/DemoQML.h"
#include "items/ShadeQML.h"
#include "state/ActiveSkeneList.h"
#include "state/BuildErrors.h"
#include "state/DemoFolders.h"
#include "state/FrameState.h"
#include "state/SkeneSetups.h"
#include "state/rocket_flags.h"
#include "sync/Rocket.h"
#include "time/Music.h"
#include "time/TimeState.h"

#include "support/DemoWindow.h"
#include "support/FreshState.h"
#include "support/QtTestApp.h"
#include "support/RecordingNotifier.h"
#include "support/SyncEditorPeer.h"
#include "support/TempDemo.h"

#include <QCoreApplication>
#include <QPointer>
#include <QQmlContext>
#include <QQmlEngine>
#include <gtest/gtest.h>

#include <array>
#include <chrono>
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

namespace {

// The skene's colour effect clears the whole window to its colour; the
// level track drives the channel named.
std::string introSkene(const char* channel, const char* extra = "")
{
    return std::string("import QtQuick 2.15\nimport QuellinDemoSystem 1.0\nimport TarvonicTest 1.0\n"
                       "Scene {\n    sceneEnabled: true\n    property string sceneDir: \"fx/intro/\"\n"
                       "    Shader { objectName: \"shade\"; file: \"flat\" }\n"
                       "    ColourEffect { objectName: \"colour\"; name: \"colour\"; Track on ") +
           channel + " { name: \"intro.level\" } }\n" + extra + "}\n";
}

// Its group's binding must keep working after the engine's cache is cleared.
const char* const kOutro = "import QtQuick 2.15\nimport QuellinDemoSystem 1.0\n"
                           "Scene { id: root; sceneEnabled: true; property real level: 0\n"
                           "    Group { objectName: \"stays\"; name: \"stays\"; property real seen: root.level * 2 } }\n";

const char* const kBroken = "import QtQuick 2.15\nimport QuellinDemoSystem 1.0\n"
                            "Scene {\n    sceneEnabled: true\n    nosuchproperty: 1\n}\n";

struct SkeneReload : FreshStateTest {
    SkeneReload()
    {
        static bool registered = false;
        if (!registered) {
            registerTestEffects();
            registered = true;
        }
        ensureQtApp();
        notifier = &installRecordingNotifier();
        folder.write("fx/intro/Skene.qml", introSkene("g"));
        folder.write("fx/intro/flat.vert", "#version 330 compatibility\nvoid main() { gl_Position = ftransform(); }\n");
        folder.write("fx/intro/flat.frag", "#version 330 compatibility\nvoid main() { gl_FragColor = vec4(1.0); }\n");
        folder.write("fx/outro/Skene.qml", kOutro);
        folder.enter();
    }

    // The demo of the two skenes, its editor connected, paused at a row the
    // editor set, and intro's level track at 1 (without the editor: only
    // loaded and paused).
    void start(bool withEditor = true)
    {
        DemoFolders& folders = demoFolders();
        folders.rootDir = folder.root();
        folders.fxPath = folder.path("fx");
        folders.skeneDirectories = listSkeneDirectories(folders.fxPath);
        activeSkeneList().entries = {{"intro", 1}, {"outro", 2}};

        timeState().music = std::make_unique<Music>();
        ASSERT_TRUE(timeState().music->load(std::string(TARVONIC_TEST_DATA) + "/test_music.mp3"));
        timeState().music->set_paused(true);
        rocket_flags().rocket_enabled = true;
        Rocket& rocket = Rocket::instance();
        rocket.set_base_port(peer.port() - 1);
        ASSERT_TRUE(rocket.create_rocket(true, peer.port()));
        ASSERT_TRUE(peer.waitForConnections(1));

        window = std::make_unique<DemoWindow>("import QuellinDemoSystem 1.0\nDemo { Rocket { id: rocket } }\n");
        rocket.on_pause(true);
        editEngine = std::make_unique<QQmlEngine>();
        setEditContext(editEngine->rootContext());
        window->demo->reloadDemo();
        frameState().shadersSettled = true;
        window->frames(1);
        if (!withEditor)
            return;

        // The key makes this editor the master, whose cursor moves the demo.
        ASSERT_TRUE(framesUntil([&] { return trackRequests() == 1; }));
        peer.sendSetKey(0, 0, 1.0f, 0);
        ASSERT_TRUE(framesUntil([&] {
            QObject* colour = skene("intro")->findChild<QObject*>("colour");
            return colour && colour->property("g").toDouble() == 1.0;
        }));
        peer.sendSetRow(48);
        ASSERT_TRUE(framesUntil([&] { return rocket.current_row() == 48.0; }));
    }

    template <typename Pred>
    bool framesUntil(Pred pred)
    {
        for (int i = 0; i < 200; ++i) {
            Rocket::instance().note_change(); // not idle: the skenes draw
            if (pred())
                return true;
            window->frames(1);
        }
        return false;
    }

    // Saves the file as an editor would, a few seconds later than it was.
    void save(const std::string& relative, const std::string& text)
    {
        const std::string path = folder.path(relative);
        const auto before = std::filesystem::exists(path) ? std::filesystem::last_write_time(path)
                                                          : std::filesystem::file_time_type::clock::now();
        folder.write(relative, text);
        std::filesystem::last_write_time(path, before + std::chrono::seconds(++saves * 3));
    }

    // A frame whose file poll looks (it is due), then the reload it queued,
    // and a frame that draws what is loaded now.
    void pollAndReload()
    {
        gpu().shaders.files().resetPollClock();
        window->frames(1);
        QCoreApplication::processEvents();
        Rocket::instance().note_change();
        window->frames(1);
    }

    QQuickItem* skene(const char* name)
    {
        for (QQuickItem* child : window->demo->childItems()) {
            if (child->property("sceneName").toString() == name)
                return child;
        }
        return nullptr;
    }
    std::vector<std::string> skeneOrder()
    {
        std::vector<std::string> names;
        for (QQuickItem* child : window->demo->childItems()) {
            const std::string name = child->property("sceneName").toString().toStdString();
            if (!name.empty())
                names.push_back(name);
        }
        return names;
    }
    int trackRequests()
    {
        int n = 0;
        for (const auto& c : peer.commands())
            n += c.cmd == SyncCommand::GET_TRACK;
        return n;
    }
    std::array<unsigned char, 4> pixel()
    {
        Rocket::instance().note_change();
        return window->windowPixel();
    }

    TempDemo folder;
    SyncEditorPeer peer;
    RecordingNotifier* notifier = nullptr;
    std::unique_ptr<DemoWindow> window;
    std::unique_ptr<QQmlEngine> editEngine;
    int saves = 0;
};

} // namespace

TEST_F(SkeneReload, SavingASkeneWhilePausedReloadsItAloneAndKeepsTheDemoAsItWas)
{
    start();
    Rocket& rocket = Rocket::instance();
    QPointer<QQuickItem> oldIntro = skene("intro");
    QPointer<QQuickItem> outro = skene("outro");
    ASSERT_TRUE(oldIntro && outro);
    auto* shade = oldIntro->findChild<ShadeQML*>("shade");
    ASSERT_TRUE(shade && shade->shader());
    const Shader* program = shade->shader();
    const uint32_t compiledAt = frameState().latestShaderCompileMs;
    const double seconds = rocket.demo_seconds();
    const int requests = trackRequests();
    EXPECT_EQ(pixel()[1], 255);

    // The level track now drives red: the same track, a new skene.
    save("fx/intro/Skene.qml", introSkene("r"));
    gpu().shaders.files().resetPollClock();
    window->frames(1);
    QCoreApplication::processEvents();
    // Out of the frame at once, in its place; destroyed after the next frame.
    EXPECT_TRUE(oldIntro);
    EXPECT_NE(skene("intro"), oldIntro.data());
    EXPECT_EQ(skeneOrder(), (std::vector<std::string>{"intro", "outro"}));
    window->frames(1);
    EXPECT_FALSE(oldIntro);

    const auto p = pixel();
    EXPECT_EQ(p[0], 255);
    EXPECT_EQ(p[1], 0);
    EXPECT_EQ(rocket.current_row(), 48.0);
    EXPECT_EQ(rocket.demo_seconds(), seconds);
    EXPECT_TRUE(rocket.is_paused());
    EXPECT_EQ(peer.connections(), 1);
    EXPECT_EQ(peer.disconnects(), 0);
    EXPECT_EQ(trackRequests(), requests); // the track came from the cache
    EXPECT_EQ(skene("outro"), outro.data());
    outro->setProperty("level", 1.5);
    EXPECT_EQ(outro->findChild<QObject*>("stays")->property("seen").toDouble(), 3.0);
    auto* newShade = skene("intro")->findChild<ShadeQML*>("shade");
    ASSERT_TRUE(newShade);
    EXPECT_EQ(newShade->shader(), program);
    EXPECT_EQ(frameState().latestShaderCompileMs, compiledAt);
    EXPECT_TRUE(notifier->boxes.empty());

    // The edit view's tree shows the new skene's items.
    const auto tree = editEngine->rootContext()->contextProperty(kSkeneTreeProperty).value<QList<QObject*>>();
    ASSERT_EQ(tree.size(), 2);
    auto* introNode = qobject_cast<DataObject*>(tree[0]);
    ASSERT_TRUE(introNode && introNode->childs().size() == 2);
    EXPECT_EQ(qobject_cast<DataObject*>(introNode->childs()[1])->item(),
              skene("intro")->findChild<QObject*>("colour"));

    // A poll with nothing saved reloads nothing.
    QPointer<QQuickItem> newIntro = skene("intro");
    pollAndReload();
    EXPECT_EQ(skene("intro"), newIntro.data());
}

TEST_F(SkeneReload, ABrokenSaveKeepsTheLastGoodSkeneDrawingAndBoxesTheEnginesMessage)
{
    start();
    QPointer<QQuickItem> good = skene("intro");
    save("fx/intro/Skene.qml", kBroken);
    pollAndReload();

    ASSERT_EQ(notifier->boxes.size(), 1u);
    const RecordedBox& box = notifier->boxes[0];
    EXPECT_EQ(box.caption, "ERROR LOADING QML fx/*");
    EXPECT_EQ(box.text.rfind("Error with Skene QML file:\n" + folder.root() + "/fx/intro/Skene.qml\n\n", 0), 0u)
        << box.text;
    EXPECT_NE(box.text.find("nosuchproperty"), std::string::npos) << box.text;
    EXPECT_EQ(skene("intro"), good.data());
    EXPECT_EQ(pixel()[1], 255);
    // Reported once: the next poll sees no new save.
    pollAndReload();
    EXPECT_EQ(notifier->boxes.size(), 1u);

    save("fx/intro/Skene.qml", introSkene("r"));
    pollAndReload();
    EXPECT_NE(skene("intro"), good.data());
    EXPECT_EQ(pixel()[0], 255);
    EXPECT_EQ(notifier->boxes.size(), 1u);
    EXPECT_EQ(skeneOrder(), (std::vector<std::string>{"intro", "outro"}));
}

TEST_F(SkeneReload, BesideTheDemoTheErrorGoesToTheListAndLeavesWhenTheFileLoads)
{
    start();
    buildErrors().setBesideDemo(true);
    QPointer<QQuickItem> good = skene("intro");
    save("fx/intro/Skene.qml", kBroken);
    pollAndReload();

    EXPECT_TRUE(notifier->boxes.empty());
    ASSERT_EQ(buildErrors().entries().size(), 1u);
    const BuildError& error = buildErrors().entries()[0];
    EXPECT_EQ(error.file, "fx/intro/Skene.qml");
    EXPECT_EQ(error.line, 5);
    EXPECT_NE(error.text.find("nosuchproperty"), std::string::npos) << error.text;
    EXPECT_EQ(skene("intro"), good.data());

    save("fx/intro/Skene.qml", introSkene("r"));
    pollAndReload();
    EXPECT_TRUE(buildErrors().entries().empty());
    EXPECT_NE(skene("intro"), good.data());
    EXPECT_EQ(pixel()[0], 255);
}

TEST_F(SkeneReload, ASharedComponentSavedReloadsTheSkenesThatUseIt)
{
    folder.write("fx/_SharedQML/Tint.qml",
                 "import TarvonicTest 1.0\nColourEffect { objectName: \"tint\"; name: \"tint\"; b: 1 }\n");
    folder.write("fx/intro/Skene.qml", introSkene("g", "    Tint {}\n").insert(0, "import \"../_SharedQML\"\n"));
    start();
    QPointer<QQuickItem> intro = skene("intro");
    QPointer<QQuickItem> outro = skene("outro");
    EXPECT_EQ(pixel()[2], 255);

    save("fx/_SharedQML/Tint.qml",
         "import TarvonicTest 1.0\nColourEffect { objectName: \"tint\"; name: \"tint\"; r: 1 }\n");
    pollAndReload();
    EXPECT_NE(skene("intro"), intro.data());
    EXPECT_EQ(skene("outro"), outro.data());
    const auto p = pixel();
    EXPECT_EQ(p[0], 255); // the new file, not the engine's copy of the old
    EXPECT_EQ(p[2], 0);
}

TEST_F(SkeneReload, NothingReloadsWhilePlayingAndASaveMadeThenLoadsAtThePause)
{
    start();
    Rocket& rocket = Rocket::instance();
    QPointer<QQuickItem> intro = skene("intro");
    rocket.on_pause(false);
    save("fx/intro/Skene.qml", introSkene("r"));
    pollAndReload();
    EXPECT_EQ(skene("intro"), intro.data());
    EXPECT_EQ(pixel()[1], 255);

    rocket.on_pause(true);
    pollAndReload();
    EXPECT_NE(skene("intro"), intro.data());
    EXPECT_EQ(pixel()[0], 255);
}

TEST_F(SkeneReload, ASkeneThatFailedToLoadAtTheStartLoadsOnceMendedBeforeTheOverlay)
{
    folder.write("fx/intro/Skene.qml", kBroken);
    folder.write("fx/DebugInfoOverDemo.qml", "import QtQuick 2.15\nItem {}\n");
    start(false);
    // The failed skene stopped the loading: outro is not there.
    ASSERT_EQ(notifier->boxes.size(), 2u);
    EXPECT_EQ(skeneOrder(), std::vector<std::string>{"DebugInfoOverDemo.qml"});

    save("fx/intro/Skene.qml", introSkene("g"));
    pollAndReload();
    EXPECT_EQ(skeneOrder(), (std::vector<std::string>{"intro", "DebugInfoOverDemo.qml"}));
    EXPECT_EQ(notifier->boxes.size(), 2u);
    EXPECT_TRUE(skene("intro")->findChild<QObject*>("colour"));
}

TEST_F(SkeneReload, AFrameWhileTheErrorBoxIsOpenReloadsNothingInsideTheReload)
{
    start();
    QPointer<QQuickItem> outro = skene("outro");
    bool nestedReload = true;
    bool opened = false;
    notifier->whileOpen = [&] {
        // The author saves the other skene while the box is up; a frame
        // comes and looks.
        if (opened)
            return;
        opened = true;
        save("fx/outro/Skene.qml", std::string(kOutro) + "// saved\n");
        gpu().shaders.files().resetPollClock();
        window->frames(1);
        QCoreApplication::processEvents();
        nestedReload = skene("outro") != outro.data();
    };
    save("fx/intro/Skene.qml", kBroken);
    pollAndReload();
    ASSERT_EQ(notifier->boxes.size(), 1u);
    EXPECT_FALSE(nestedReload);

    // Once the box is closed, the next paused frame takes the save up.
    window->frames(1);
    QCoreApplication::processEvents();
    EXPECT_NE(skene("outro"), outro.data());
    EXPECT_EQ(skeneOrder(), (std::vector<std::string>{"intro", "outro"}));
}
