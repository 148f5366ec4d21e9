// The example demo's edit view (examples/lumenfall/fx/mainEdit.qml), driven
// by the keyboard as an author would: pick an item in the tree of the
// running skenes, type a value or move the slider, switch a skene off and
// reload.
#include "app/AppState.h"
#include "editor/DOActiveScenes.h"
#include "editor/DataObject.h"
#include "editor/EditStatus.h"
#include "editor/SkeneTree.h"
#include "host/DemoQML.h"
#include "items/IEffect.h"
#include "state/ActiveSkeneList.h"
#include "state/BuildErrors.h"
#include "state/DemoFolders.h"
#include "state/PendingEdit.h"
#include "state/SkeneSetups.h"
#include "sync/Rocket.h"

#include "support/FreshState.h"
#include "support/QtTestApp.h"
#include "support/TempDemo.h"

#include <QQmlComponent>
#include <QQmlContext>
#include <QQmlEngine>
#include <QQmlPropertyMap>
#include <QQuickView>
#include <QQuickWindow>
#include <QtTest/QTest>
#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <memory>
#include <string>

namespace {

const char* const kSkene = R"(
import QtQuick 2.15
import QuellinDemoSystem 1.0
Scene {
    sceneEnabled: true
    Camera { viewAngle: 40 }
    Group { name: "lights"; Pos { objectName: "pos"; x: 1 } }
}
)";

// Two running skenes of the same shape under a Demo item that no window
// shows, and the example's edit view beside it.
struct EditView : FreshStateTest {
    EditView()
    {
        ensureQtApp();
        demo.write("fx/alpha/Skene.qml", kSkene);
        demo.write("fx/beta/Skene.qml", kSkene);
        DemoFolders& folders = demoFolders();
        folders.rootDir = demo.root();
        folders.fxPath = demo.path("fx");
        folders.skeneDirectories = listSkeneDirectories(folders.fxPath);
        activeSkeneList().setupPath = demo.path("fx/_ActiveSkeneSetups/test.as");
        activeSkeneList().entries = {{"alpha", 1}, {"beta", 2}};

        mainEngine = std::make_unique<QQmlEngine>();
        QQmlComponent component(mainEngine.get());
        component.setData("import QuellinDemoSystem 1.0\nDemo {}\n", QUrl::fromLocalFile(demo.path("fx/main.qml").c_str()));
        demoItem.reset(qobject_cast<DemoQML*>(component.create()));

        view = std::make_unique<QQuickView>();
        QQmlContext* context = view->rootContext();
        setEditContext(context);
        context->setContextProperty("activeSkenesSetupFile", "test.as");
        context->setContextProperty("myModel", QVariant::fromValue(QList<QObject*>()));
        context->setContextProperty(kDemoItemProperty, QVariant::fromValue<QObject*>(nullptr));
        publishActiveSkeneLists(context);
        publishEditViewModels(context, view.get());
        view->setSource(QUrl::fromLocalFile(TARVONIC_SOURCE_DIR "/examples/lumenfall/fx/mainEdit.qml"));
        if (view->status() != QQuickView::Ready)
            ADD_FAILURE() << "the edit view did not load";
        if (demoItem)
            demoItem->reloadDemo();
        view->show();
        view->requestActivate();
        if (!QTest::qWaitForWindowActive(view.get()))
            ADD_FAILURE() << "the edit view did not get the keyboard";
    }

    ~EditView() override
    {
        view.reset();
        demoItem.reset();
        mainEngine.reset();
    }

    void keys(std::initializer_list<Qt::Key> list, Qt::KeyboardModifiers modifiers = Qt::NoModifier)
    {
        for (Qt::Key key : list)
            QTest::keyClick(view.get(), key, modifiers);
    }

    QQuickItem* find(const char* name) { return view->rootObject()->findChild<QQuickItem*>(name); }

    // The Pos item of a skene, and whether the frame's lookup lands the
    // pending edit in that skene.
    QQuickItem* posOf(int skene) { return demoItem->childItems()[skene]->findChild<QQuickItem*>("pos"); }
    void applyToSkene(int skene)
    {
        QQuickItem* root = demoItem->childItems()[skene];
        ASSERT_TRUE(qobject_cast<IEffect*>(root)->modVal(root, "/0:=RocketScene"));
    }

    TempDemo demo;
    std::unique_ptr<QQmlEngine> mainEngine;
    std::unique_ptr<DemoQML> demoItem;
    std::unique_ptr<QQuickView> view;
};

} // namespace

TEST_F(EditView, KeyboardPicksAnItemAndSetsItsValueByTextAndSlider)
{
    ASSERT_TRUE(demoItem && view->rootObject());
    // The tree has the keyboard: to beta, open it, to its group, open it,
    // to the Pos item, and on to the value.
    keys({Qt::Key_Down, Qt::Key_Right, Qt::Key_Down, Qt::Key_Down, Qt::Key_Right, Qt::Key_Down, Qt::Key_Return});
    QQuickItem* field = find("valueField");
    ASSERT_TRUE(field);
    EXPECT_TRUE(field->hasActiveFocus());
    EXPECT_EQ(field->property("text").toString(), "1");
    QTest::keyClick(view.get(), Qt::Key_A, Qt::ControlModifier);
    for (char c : std::string("2.5"))
        QTest::keyClick(view.get(), c);
    keys({Qt::Key_Return});

    PendingEdit& edit = pendingEdit();
    EXPECT_EQ(edit.skeneName, "beta");
    EXPECT_EQ(edit.targetPath, "/0:=RocketScene/1:=Group/0:=Pos");
    EXPECT_EQ(edit.propertyName, "x");
    EXPECT_EQ(edit.value, "2.5");
    applyToSkene(1);
    EXPECT_FLOAT_EQ(posOf(1)->property("x").toFloat(), 2.5f);
    EXPECT_FLOAT_EQ(posOf(0)->property("x").toFloat(), 1.0f);

    // The slider spans the value's size each way from where it was when the
    // item was picked (1): a step right is a fortieth of the range.
    keys({Qt::Key_Tab});
    EXPECT_TRUE(find("slider")->hasActiveFocus());
    keys({Qt::Key_Right});
    EXPECT_EQ(edit.value, "1.0500");
    EXPECT_EQ(edit.targetPath, "/0:=RocketScene/1:=Group/0:=Pos");
}

TEST_F(EditView, SwitchingASkeneOffAndReloadingRebuildsTheTree)
{
    ASSERT_TRUE(demoItem && view->rootObject());
    const QList<QObject*> before = view->rootContext()->contextProperty(kSkeneTreeProperty).value<QList<QObject*>>();
    ASSERT_EQ(before.size(), 2);
    QPointer<QObject> oldNode = before[0];

    // From the tree back to the skene list; Space switches alpha off, F5
    // reloads: alpha's skene goes, beta is loaded afresh, not twice.
    keys({Qt::Key_Backtab});
    EXPECT_TRUE(find("skeneList")->property("activeFocus").toBool());
    keys({Qt::Key_Space});
    ASSERT_EQ(activeSkeneList().entries.size(), 1u);
    EXPECT_EQ(activeSkeneList().entries[0].name, "beta");
    keys({Qt::Key_F5});
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);

    const QList<QObject*> after = view->rootContext()->contextProperty(kSkeneTreeProperty).value<QList<QObject*>>();
    ASSERT_EQ(after.size(), 1);
    EXPECT_EQ(qobject_cast<DataObject*>(after[0])->name(), "beta");
    EXPECT_FALSE(oldNode);
    ASSERT_EQ(demoItem->childItems().size(), 1);
    EXPECT_EQ(demoItem->childItems()[0]->property("sceneName").toString(), "beta");
}

TEST_F(EditView, TheStatusLineCountsTheMeshesStillImporting)
{
    ASSERT_TRUE(demoItem && view->rootObject());
    QQuickItem* line = find("statusLine");
    ASSERT_TRUE(line);
    auto text = [&] { return line->property("text").toString().toStdString(); };
    EXPECT_EQ(demoItem->property("pendingMeshes").toInt(), 0);
    EXPECT_EQ(text(), "");

    // A Demo item whose frames count imports still running.
    QQmlPropertyMap importing;
    importing.insert("pendingMeshes", 2);
    view->rootContext()->setContextProperty(kDemoItemProperty, &importing);
    EXPECT_EQ(text(), "importing 2 meshes");
    importing.insert("pendingMeshes", 1);
    EXPECT_EQ(text(), "importing 1 mesh");
    // Beside what the last action said, which stays once they are in.
    view->rootObject()->setProperty("status", "reloaded");
    EXPECT_EQ(text(), "importing 1 mesh  \u00b7  reloaded");
    importing.insert("pendingMeshes", 0);
    EXPECT_EQ(text(), "reloaded");
    view->rootContext()->setContextProperty(kDemoItemProperty, demoItem.get());
}

// F5 from the edit view: the tree is emptied while the skenes unload and
// built again after; the selection stays on the same item of the same skene.
TEST_F(EditView, ReloadKeepsTheSelectionOnTheSameItem)
{
    ASSERT_TRUE(demoItem && view->rootObject());
    keys({Qt::Key_Down, Qt::Key_Right, Qt::Key_Down, Qt::Key_Down, Qt::Key_Right, Qt::Key_Down});
    auto selected = [&] { return qobject_cast<DataObject*>(view->rootObject()->property("selectedNode").value<QObject*>()); };
    ASSERT_TRUE(selected());
    ASSERT_EQ(selected()->itemPath(), "/0:=RocketScene/1:=Group/0:=Pos");
    QPointer<DataObject> before = selected();

    keys({Qt::Key_F5});
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    EXPECT_FALSE(before); // a node of the new tree
    ASSERT_TRUE(selected());
    EXPECT_EQ(selected()->skeneName(), "beta");
    EXPECT_EQ(selected()->itemPath(), "/0:=RocketScene/1:=Group/0:=Pos");
}

// Errors beside the demo: the list shows them without taking the keyboard,
// and Enter on one opens its file at its line in Qt Creator.
TEST_F(EditView, AnErrorOpensInQtCreatorAtItsLine)
{
    ASSERT_TRUE(demoItem && view->rootObject());
    TempDemo tools;
    // An editor of our own that notes what it was asked to open.
    tools.write("qtcreator", "#!/bin/sh\nprintf '%s' \"$2\" > \"$0.tmp\" && mv \"$0.tmp\" \"$0.opened\"\n");
    std::filesystem::permissions(tools.path("qtcreator"), std::filesystem::perms::owner_all);
    appState().qtCreatorDir = tools.root() + "/";

    QQuickItem* pane = find("errorsPane");
    QQuickItem* list = find("errorList");
    ASSERT_TRUE(pane && list);
    EXPECT_FALSE(pane->isVisible());
    buildErrors().report({"fx/beta/Skene.qml", 7, "Cannot assign to non-existent property \"colour\""});
    buildErrors().report({"fx/alpha/Skene.qml", 3, "Expected token `}'"});
    ASSERT_TRUE(waitUntil([&] { return list->property("count").toInt() == 2; }));
    EXPECT_TRUE(pane->isVisible());
    EXPECT_TRUE(find("tree")->hasActiveFocus()) << "a new error must not take the keyboard";

    // From the tree to the list, down to the older error, and open it.
    keys({Qt::Key_Tab});
    ASSERT_TRUE(list->hasActiveFocus());
    keys({Qt::Key_Down, Qt::Key_Return});
    const std::string note = tools.path("qtcreator.opened");
    ASSERT_TRUE(waitUntil([&] { return std::filesystem::exists(note); }));
    EXPECT_EQ(readTextFile(note), demo.path("fx/beta/Skene.qml") + ":7");
    EXPECT_EQ(view->rootObject()->property("status").toString(), "opened fx/beta/Skene.qml:7");

    // The file built again: its entry goes, and with the last the list.
    buildErrors().clearFile("fx/beta/Skene.qml");
    buildErrors().clearFile("fx/alpha/Skene.qml");
    EXPECT_TRUE(waitUntil([&] { return !pane->isVisible(); }));
}

TEST_F(EditView, TheStatusStripShowsTheClockEditorsAndLastReload)
{
    ASSERT_TRUE(demoItem && view->rootObject());
    QQuickItem* frames = find("stripFrames");
    QQuickItem* clock = find("stripClock");
    QQuickItem* editors = find("stripEditors");
    ASSERT_TRUE(frames && clock && editors);
    const auto text = [](QQuickItem* item) { return item->property("text").toString().toStdString(); };
    // Nothing has rendered: no frames, the demo paused at row 0.
    EXPECT_EQ(text(frames), "0 fps  \u00b7  0.0 ms mean  \u00b7  0.0 ms worst");
    EXPECT_EQ(text(clock), "row 0  \u00b7  0.00 s  \u00b7  paused");
    // The fixture's load, a reload of all skenes, shows within a few
    // looks a second.
    EXPECT_TRUE(waitUntil([&] { return text(editors).rfind("sync from track files  \u00b7  reloaded all skenes, ", 0) == 0; },
                          2000))
        << text(editors);
}

// A skene saved while the demo is paused reloads under the edit view: the
// tree shows the new skene's items, and the selection stays on the same
// item of the same skene.
TEST_F(EditView, ASavedSkeneReloadsUnderTheSelection)
{
    ASSERT_TRUE(demoItem && view->rootObject());
    keys({Qt::Key_Down, Qt::Key_Right, Qt::Key_Down, Qt::Key_Down, Qt::Key_Right, Qt::Key_Down});
    auto selected = [&] { return qobject_cast<DataObject*>(view->rootObject()->property("selectedNode").value<QObject*>()); };
    ASSERT_TRUE(selected());
    ASSERT_EQ(selected()->skeneName(), "beta");
    QPointer<QQuickItem> oldBeta = demoItem->childItems()[1];
    QPointer<QQuickItem> alpha = demoItem->childItems()[0];

    // The Demo draws in a window of its own, paused: its frames look at
    // the skenes' files once a second.
    QQuickWindow demoWindow;
    demoWindow.resize(64, 36);
    demoItem->setParentItem(demoWindow.contentItem());
    Rocket::instance().on_pause(true);
    demoWindow.show();
    std::string saved = kSkene;
    saved.replace(saved.find("x: 1"), 4, "x: 3");
    demo.write("fx/beta/Skene.qml", saved);
    const std::string path = demo.path("fx/beta/Skene.qml");
    std::filesystem::last_write_time(path, std::filesystem::last_write_time(path) + std::chrono::seconds(3));
    const bool reloaded = waitUntil([&] { return demoItem->childItems().value(1) != oldBeta.data(); }, 10000);
    demoItem->setParentItem(nullptr);
    ASSERT_TRUE(reloaded);

    EXPECT_EQ(demoItem->childItems().value(0), alpha.data());
    ASSERT_TRUE(selected());
    EXPECT_EQ(selected()->skeneName(), "beta");
    EXPECT_EQ(selected()->itemPath(), "/0:=RocketScene/1:=Group/0:=Pos");
    EXPECT_EQ(selected()->item(), posOf(1));
    EXPECT_FLOAT_EQ(posOf(1)->property("x").toFloat(), 3.0f);
}
