#include "host/DemoQML.h"
#include "state/ActiveSkeneList.h"
#include "state/BuildErrors.h"
#include "state/DemoFolders.h"
#include "state/FrameState.h"
#include "state/SkeneSetups.h"

#include "support/FreshState.h"
#include "support/QtTestApp.h"
#include "support/RecordingNotifier.h"
#include "support/TempDemo.h"

#include <QQmlComponent>
#include <QQmlEngine>
#include <gtest/gtest.h>

#include <filesystem>
#include <memory>
#include <string>
#include <vector>

namespace {

const char* const kSkene = "import QtQuick 2.15\nimport QuellinDemoSystem 1.0\nScene { sceneEnabled: true }\n";
const char* const kBrokenSkene = "import QtQuick 2.15\nimport QuellinDemoSystem 1.0\nScene {\n    nosuchproperty: 1\n}\n";

// A Demo item created by a QML engine over a throw-away demo folder whose
// skene directory list and active list are set up like start-up does.
struct DemoFolder {
    DemoFolder()
    {
        ensureQtApp();
        notifier = &installRecordingNotifier();
        demoFolders().rootDir = demo.root();
        demoFolders().fxPath = demo.root() + "/fx";
    }

    // Lists fx like start-up, activates the given skenes and makes the Demo.
    void start(const std::vector<std::string>& active)
    {
        demoFolders().skeneDirectories = listSkeneDirectories(demo.path("fx"));
        activeSkeneList().entries.clear();
        int index = 1;
        for (const auto& name : active)
            activeSkeneList().entries.push_back({name, index++});
        engine = std::make_unique<QQmlEngine>();
        QQmlComponent component(engine.get());
        component.setData("import QuellinDemoSystem 1.0\nDemo {}\n", QUrl::fromLocalFile(demo.path("fx/main.qml").c_str()));
        item.reset(qobject_cast<DemoQML*>(component.create()));
        ASSERT_TRUE(item) << component.errorString().toStdString();
    }

    // The names of the Demo's children, in child order.
    std::vector<std::string> childNames() const
    {
        std::vector<std::string> names;
        for (QQuickItem* child : item->childItems())
            names.push_back(child->property("name").toString().toStdString());
        return names;
    }

    TempDemo demo;
    RecordingNotifier* notifier = nullptr;
    std::unique_ptr<QQmlEngine> engine;
    std::unique_ptr<DemoQML> item;
};

struct DemoLoad : FreshStateTest {
};

} // namespace

TEST_F(DemoLoad, SkenesLoadInDirectoryOrderFilteredByTheActiveListThenTheOverlay)
{
    DemoFolder f;
    for (const char* name : {"beta", "alpha", "Zeta", "gamma"})
        f.demo.write(std::string("fx/") + name + "/Skene.qml", kSkene);
    f.demo.write("fx/_SharedQML/Skene.qml", kSkene);
    f.demo.makeDir("fx/nofile");
    f.demo.write("fx/DebugInfoOverDemo.qml", "import QtQuick 2.15\nItem {}\n");
    // The active list's own order does not decide the loading order; a
    // skene without a directory, one without Skene.qml and a shared folder
    // are passed over without a box.
    f.start({"Zeta", "ghost", "_SharedQML", "nofile", "beta", "alpha"});
    const int reloads = DemoQML::reloadCount();
    f.item->reloadDemo();

    EXPECT_EQ(f.childNames(), (std::vector<std::string>{"alpha", "beta", "Zeta", "DebugInfoOverDemo.qml"}));
    EXPECT_TRUE(f.notifier->boxes.empty());
    EXPECT_EQ(DemoQML::reloadCount(), reloads + 1);
    QQuickItem* first = f.item->childItems().value(0);
    ASSERT_TRUE(first);
    EXPECT_EQ(first->property("sceneName").toString(), "alpha");
    EXPECT_EQ(first->parentItem(), f.item.get());
    EXPECT_EQ(first->parent(), f.item.get());
    EXPECT_TRUE(frameState().firstDemoRenderPending);

    // A reload adds the skenes again; it does not remove the earlier ones.
    f.item->reloadDemo();
    EXPECT_EQ(f.item->childItems().size(), 8);
}

TEST_F(DemoLoad, SkeneWithQmlErrorsShowsEngineMessagesAndLoadsTheFallback)
{
    DemoFolder f;
    f.demo.write("fx/broken/Skene.qml", kBrokenSkene);
    f.demo.write("fx/broken/broken.qml", kSkene);
    f.demo.write("fx/fine/Skene.qml", kSkene);
    f.start({"broken", "fine"});
    f.item->reloadDemo();

    ASSERT_EQ(f.notifier->boxes.size(), 1u);
    const RecordedBox& box = f.notifier->boxes[0];
    const std::string path = f.demo.root() + "/fx/broken/Skene.qml";
    EXPECT_EQ(box.caption, "ERROR LOADING QML fx/*");
    EXPECT_EQ(box.text.rfind("Error with Skene QML file:\n" + path + "\n\n", 0), 0u) << box.text;
    // The engine's own message: file, line and what is wrong.
    EXPECT_NE(box.text.find("Skene.qml:4"), std::string::npos) << box.text;
    EXPECT_NE(box.text.find("nosuchproperty"), std::string::npos) << box.text;
    EXPECT_EQ(f.childNames(), (std::vector<std::string>{"broken", "fine"}));
    EXPECT_FALSE(frameState().firstDemoRenderPending);
}

TEST_F(DemoLoad, FailingFallbackStopsLoadingTheRest)
{
    DemoFolder f;
    f.demo.write("fx/abroken/Skene.qml", kBrokenSkene);
    f.demo.write("fx/later/Skene.qml", kSkene);
    f.demo.write("fx/DebugInfoOverDemo.qml", "import QtQuick 2.15\nItem {}\n");
    f.start({"abroken", "later"});
    f.item->reloadDemo();

    ASSERT_EQ(f.notifier->boxes.size(), 2u);
    EXPECT_EQ(f.notifier->boxes[1].text.rfind(
                  "Error with Skene QML file:\n" + f.demo.root() + "/fx/abroken/abroken.qml\n\n", 0),
              0u);
    EXPECT_EQ(f.childNames(), (std::vector<std::string>{"DebugInfoOverDemo.qml"}));
    EXPECT_FALSE(frameState().firstDemoRenderPending);
}

TEST_F(DemoLoad, CreationFailureBoxesOnlyForTheFallback)
{
    DemoFolder f;
    // Compiles, but cannot be created: a required property nobody sets.
    const char* uncreatable =
        "import QtQuick 2.15\nimport QuellinDemoSystem 1.0\nScene { required property int must }\n";
    f.demo.write("fx/calm/Skene.qml", uncreatable);
    f.demo.write("fx/calm/calm.qml", kSkene);
    f.demo.write("fx/loud/Skene.qml", uncreatable);
    f.demo.write("fx/loud/loud.qml", uncreatable);
    f.start({"calm", "loud"});
    f.item->reloadDemo();

    ASSERT_EQ(f.notifier->boxes.size(), 1u);
    const std::string expected = "Cannot add skene:\n" + f.demo.root() + "/fx/loud/loud.qml\n\n Fix the errors!!!";
    EXPECT_EQ(f.notifier->boxes[0].text.rfind(expected, 0), 0u) << f.notifier->boxes[0].text;
    EXPECT_NE(f.notifier->boxes[0].text.find("must"), std::string::npos);
    EXPECT_EQ(f.childNames(), (std::vector<std::string>{"calm"}));
}

TEST_F(DemoLoad, QmldirListsMeshSubdirectoriesAndMakesThemTypes)
{
    DemoFolder f;
    f.demo.write("fx/forest/Skene.qml",
                 "import QtQuick 2.15\nimport QuellinDemoSystem 1.0\nScene { MeshTree { objectName: \"tree\" } }\n");
    f.demo.write("fx/forest/MeshTree/Mesh.qml", "import QtQuick 2.15\nItem {}\n");
    f.demo.write("fx/forest/MeshRock/Mesh.qml", "import QtQuick 2.15\nItem {}\n");
    f.demo.makeDir("fx/forest/Textures");
    f.demo.write("fx/forest/Mesh.notes", "not a directory name");
    f.demo.makeDir("fx/forest/.MeshHidden");
    // Without mesh subdirectories an old qmldir stays as it is.
    f.demo.write("fx/plain/Skene.qml", kSkene);
    f.demo.write("fx/plain/qmldir", "old text\n");
    f.demo.makeDir("fx/plain/Textures");
    f.start({"forest", "plain"});
    f.item->reloadDemo();

    EXPECT_EQ(readTextFile(f.demo.path("fx/forest/qmldir")),
              "MeshRock ./MeshRock/Mesh.qml\nMeshTree ./MeshTree/Mesh.qml\n");
    EXPECT_EQ(readTextFile(f.demo.path("fx/plain/qmldir")), "old text\n");
    EXPECT_TRUE(f.notifier->boxes.empty());
    ASSERT_EQ(f.childNames(), (std::vector<std::string>{"forest", "plain"}));
    EXPECT_TRUE(f.item->childItems()[0]->findChild<QObject*>("tree"));
}

TEST_F(DemoLoad, UnwritableQmldirIsIgnored)
{
    DemoFolder f;
    f.demo.write("fx/forest/Skene.qml", kSkene);
    f.demo.write("fx/forest/MeshTree/Mesh.qml", "import QtQuick 2.15\nItem {}\n");
    // A directory where the file should go: no write can replace it.
    f.demo.makeDir("fx/forest/qmldir/blocked");
    f.start({"forest"});
    f.item->reloadDemo();
    EXPECT_TRUE(f.notifier->boxes.empty());
    EXPECT_EQ(f.childNames(), std::vector<std::string>{"forest"});
    EXPECT_TRUE(std::filesystem::is_directory(f.demo.path("fx/forest/qmldir")));
}

TEST_F(DemoLoad, FileExistsAndImportPaths)
{
    DemoFolder f;
    f.demo.write("fx/a/Skene.qml", kSkene);
    f.start({});
    EXPECT_TRUE(f.item->fileExists(""));
    EXPECT_TRUE(f.item->fileExists("fx/a/Skene.qml"));
    EXPECT_TRUE(f.item->fileExists(QString::fromStdString(f.demo.path("fx/a/Skene.qml"))));
    EXPECT_FALSE(f.item->fileExists("fx/a/Missing.qml"));

    f.demo.makeDir("imports");
    f.item->addImportPath(QString::fromStdString(f.demo.path("imports")));
    EXPECT_TRUE(f.engine->importPathList().contains(QString::fromStdString(f.demo.path("imports"))));
}

TEST_F(DemoLoad, MissingOverlayIsNoError)
{
    DemoFolder f;
    f.demo.write("fx/a/Skene.qml", kSkene);
    f.start({"a"});
    f.item->reloadDemo();
    EXPECT_TRUE(f.notifier->boxes.empty());
    EXPECT_EQ(f.childNames(), std::vector<std::string>{"a"});
    EXPECT_TRUE(frameState().firstDemoRenderPending);
}

TEST_F(DemoLoad, LoadSkeneIgnoresQmldirPaths)
{
    DemoFolder f;
    f.start({});
    EXPECT_TRUE(f.item->loadSkene(f.item.get(), f.demo.path("fx/a/qmldir"), "a", true));
    EXPECT_TRUE(f.item->childItems().isEmpty());
    EXPECT_TRUE(f.notifier->boxes.empty());
}

TEST_F(DemoLoad, BesideTheDemoErrorsGoToTheListNewestFirstAndLeaveWhenTheFileBuilds)
{
    DemoFolder f;
    buildErrors().setBesideDemo(true);
    f.demo.write("fx/abroken/Skene.qml", kBrokenSkene);
    f.demo.write("fx/fine/Skene.qml", kSkene);
    f.demo.write("fx/DebugInfoOverDemo.qml", "import QtQuick 2.15\nNoSuchType {\n}\n");
    f.start({"abroken", "fine"});
    f.item->reloadDemo();

    // No box waits for the author, and the broken skene holds nothing up:
    // the one after it loads, and the demo still starts.
    EXPECT_TRUE(f.notifier->boxes.empty());
    EXPECT_EQ(f.childNames(), std::vector<std::string>{"fine"});
    const std::vector<BuildError>& errors = buildErrors().entries();
    // The overlay was loaded last: its error is on top. The skene's
    // fallback file is not there, which is no error of the author's.
    ASSERT_EQ(errors.size(), 2u);
    EXPECT_EQ(errors[0].file, "fx/DebugInfoOverDemo.qml");
    EXPECT_EQ(errors[0].line, 2);
    EXPECT_EQ(errors[1].file, "fx/abroken/Skene.qml");
    EXPECT_EQ(errors[1].line, 4);
    EXPECT_NE(errors[1].text.find("nosuchproperty"), std::string::npos) << errors[1].text;
    EXPECT_EQ(errors[1].text.find("file:"), std::string::npos) << "the engine's words, without the url";
    EXPECT_TRUE(frameState().firstDemoRenderPending);

    // The author fixes the skene and reloads: its entry goes, the
    // overlay's is listed again, once.
    f.demo.write("fx/abroken/Skene.qml", kSkene);
    f.item->unloadSkenes();
    f.engine->clearComponentCache();
    f.item->reloadDemo();
    EXPECT_TRUE(f.notifier->boxes.empty());
    EXPECT_EQ(f.childNames(), (std::vector<std::string>{"abroken", "fine"}));
    ASSERT_EQ(buildErrors().entries().size(), 1u);
    EXPECT_EQ(buildErrors().entries()[0].file, "fx/DebugInfoOverDemo.qml");

    // And the overlay too.
    f.demo.write("fx/DebugInfoOverDemo.qml", "import QtQuick 2.15\nItem {}\n");
    f.item->unloadSkenes();
    f.engine->clearComponentCache();
    f.item->reloadDemo();
    EXPECT_TRUE(buildErrors().entries().empty());
}

TEST_F(DemoLoad, BesideTheDemoAFailedCreationIsListedAndAFallbackLeavesIt)
{
    DemoFolder f;
    buildErrors().setBesideDemo(true);
    const char* uncreatable =
        "import QtQuick 2.15\nimport QuellinDemoSystem 1.0\nScene { required property int must }\n";
    f.demo.write("fx/calm/Skene.qml", uncreatable);
    f.demo.write("fx/calm/calm.qml", kSkene);
    f.start({"calm"});
    f.item->reloadDemo();

    EXPECT_TRUE(f.notifier->boxes.empty());
    EXPECT_EQ(f.childNames(), std::vector<std::string>{"calm"});
    // Skene.qml did not build though the fallback did: it stays listed.
    ASSERT_EQ(buildErrors().entries().size(), 1u);
    EXPECT_EQ(buildErrors().entries()[0].file, "fx/calm/Skene.qml");
    EXPECT_NE(buildErrors().entries()[0].text.find("must"), std::string::npos);
}
