#include "editor/SkeneTree.h"

#include "editor/DataObject.h"
#include "items/IEffect.h"
#include "state/ActiveSkeneList.h"
#include "state/PendingEdit.h"
#include "state/rocket_flags.h"

#include "support/FreshState.h"
#include "support/QtTestApp.h"

#include <QPointer>
#include <QQmlComponent>
#include <QQmlContext>
#include <QQmlEngine>
#include <QQuickItem>
#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

namespace {

// What a Demo item holds after a load: skene roots with the "sceneName"
// the loader gives them, an overlay, and the controller (here a plain item).
const char* const kLoadedDemo = R"(
import QtQuick 2.15
import QuellinDemoSystem 1.0
Item {
    Item { objectName: "controller" }
    Scene {
        property string sceneName: "alpha"
        sceneEnabled: true
        Camera { objectName: "camera"; viewAngle: 40 }
        Group {
            name: "lights"
            effectDetails: "Lights"
            Pos { objectName: "pos"; x: 1 }
            Item { property string name: "DebugInfoBox"; Pos { } }
            ShaderParam { objectName: "param"; paramName: "amount" }
        }
    }
    Scene { property string sceneName: "beta" }
    Scene { property string sceneName: "gamma"; sceneEnabled: true }
    Item { property string sceneName: "DebugInfoOverDemo.qml" }
}
)";

struct SkeneTree : FreshStateTest {
    SkeneTree()
    {
        ensureQtApp();
        rocket_flags().multi_rocket = true;
        activeSkeneList().entries = {{"beta", 5}, {"alpha", 3}};
        engine = std::make_unique<QQmlEngine>();
        QQmlComponent component(engine.get());
        component.setData(kLoadedDemo, QUrl::fromLocalFile("/tree-test/main.qml"));
        demo.reset(qobject_cast<QQuickItem*>(component.create()));
        if (!demo)
            ADD_FAILURE() << component.errorString().toStdString();
    }

    static DataObject* node(QObject* o) { return qobject_cast<DataObject*>(o); }
    static DataObject* child(DataObject* parent, int i) { return node(parent->childs().value(i)); }
    static std::string str(const QString& s) { return s.toStdString(); }

    std::unique_ptr<QQmlEngine> engine;
    std::unique_ptr<QQuickItem> demo;
};

std::vector<std::string> propertyNames(const DataObject* n)
{
    std::vector<std::string> names;
    for (const QVariant& p : n->editableProperties())
        names.push_back(p.toMap()["name"].toString().toStdString() + ":" + p.toMap()["kind"].toString().toStdString());
    return names;
}

} // namespace

TEST_F(SkeneTree, NodesCarryTrackNamesSkeneStateAndEditTargets)
{
    ASSERT_TRUE(demo);
    QObject owner;
    const QList<QObject*> roots = buildSkeneTree(demo.get(), &owner);
    // Child order, not list order; inactive skenes, overlays and the
    // controller are left out.
    ASSERT_EQ(roots.size(), 2);
    DataObject* alpha = node(roots[0]);
    DataObject* beta = node(roots[1]);
    EXPECT_EQ(str(alpha->name()), "alpha");
    EXPECT_EQ(str(alpha->rocketNameStack()), "alpha");
    EXPECT_EQ(alpha->rocketPortIndex(), 3);
    EXPECT_TRUE(alpha->skeneEnabled());
    EXPECT_EQ(str(alpha->itemPath()), "/0:=RocketScene");
    EXPECT_TRUE(alpha->editableProperties().isEmpty()) << "item paths cannot address a skene root";
    EXPECT_EQ(str(beta->name()), "beta");
    EXPECT_EQ(beta->rocketPortIndex(), 5);
    EXPECT_FALSE(beta->skeneEnabled());
    EXPECT_TRUE(beta->childs().isEmpty());

    // An unnamed item shows its kind and adds nothing to the track names.
    ASSERT_EQ(alpha->childs().size(), 2);
    DataObject* camera = child(alpha, 0);
    EXPECT_EQ(str(camera->name()), "Camera");
    EXPECT_EQ(str(camera->rocketName()), "");
    EXPECT_EQ(str(camera->rocketNameStack()), "alpha");
    EXPECT_EQ(str(camera->origName()), "Camera");
    EXPECT_EQ(str(camera->itemPath()), "/0:=RocketScene/0:=Camera");
    EXPECT_EQ(camera->item(), demo->findChild<QObject*>("camera"));
    const auto cameraProperties = propertyNames(camera);
    EXPECT_NE(std::find(cameraProperties.begin(), cameraProperties.end(), "viewAngle:real"), cameraProperties.end());
    EXPECT_EQ(cameraProperties.back(), "enabled:bool");

    DataObject* lights = child(alpha, 1);
    EXPECT_EQ(str(lights->name()), "lights");
    EXPECT_EQ(str(lights->rocketNameStack()), "alpha.lights");
    EXPECT_EQ(str(lights->origName()), "Group");
    EXPECT_EQ(str(lights->details()), "Lights");
    EXPECT_EQ(str(lights->itemPath()), "/0:=RocketScene/1:=Group");

    // The "DebugInfo" item is left out with what is below it, yet counts in
    // the paths of its later siblings.
    ASSERT_EQ(lights->childs().size(), 2);
    DataObject* pos = child(lights, 0);
    DataObject* param = child(lights, 1);
    EXPECT_EQ(str(pos->itemPath()), "/0:=RocketScene/1:=Group/0:=Pos");
    EXPECT_EQ(str(pos->rocketNameStack()), "alpha.lights");
    EXPECT_EQ(propertyNames(pos), (std::vector<std::string>{"x:real", "y:real", "z:real", "enabled:bool"}));
    EXPECT_EQ(str(param->itemPath()), "/0:=RocketScene/1:=Group/2:=ShaderParam");
    EXPECT_EQ(str(param->details()), "ShaderParam  paramName: amount");
}

TEST_F(SkeneTree, PathsOfTheTreeReachTheirItemsThroughTheFrameLookup)
{
    ASSERT_TRUE(demo);
    QObject owner;
    DataObject* lights = child(node(buildSkeneTree(demo.get(), &owner)[0]), 1);
    QQuickItem* alphaRoot = demo->childItems()[1];
    for (DataObject* target : {child(lights, 0), child(lights, 1)}) {
        PendingEdit& edit = pendingEdit();
        edit.targetPath = target->itemPath().toStdString();
        edit.propertyName = "enabled";
        edit.value = "false";
        EXPECT_TRUE(qobject_cast<IEffect*>(alphaRoot)->modVal(alphaRoot, "/0:=RocketScene"))
            << target->itemPath().toStdString();
        EXPECT_FALSE(qobject_cast<QQuickItem*>(target->item())->isEnabled());
    }
}

TEST_F(SkeneTree, PublishingReplacesTheTreeAndLetsTheOldNodesGo)
{
    ASSERT_TRUE(demo);
    QQmlContext* context = engine->rootContext();
    publishSkeneTree(context, demo.get());
    EXPECT_EQ(context->contextProperty(kDemoItemProperty).value<QObject*>(), demo.get());
    const QList<QObject*> first = context->contextProperty(kSkeneTreeProperty).value<QList<QObject*>>();
    ASSERT_EQ(first.size(), 2);
    QPointer<QObject> oldRoot = first[0];
    QPointer<QObject> oldLeaf = child(child(node(first[0]), 1), 0);

    // The reload's new skene, and a second load of the same skenes.
    activeSkeneList().entries.push_back({"gamma", 7});
    publishSkeneTree(context, demo.get());
    const QList<QObject*> second = context->contextProperty(kSkeneTreeProperty).value<QList<QObject*>>();
    ASSERT_EQ(second.size(), 3);
    EXPECT_NE(second[0], first[0]);
    EXPECT_TRUE(oldRoot) << "QML may still read the old tree until control is back in the event loop";
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    EXPECT_FALSE(oldRoot);
    EXPECT_FALSE(oldLeaf);

    // The Demo item going away takes itself out of the edit view.
    withdrawDemoItem(demo.get());
    EXPECT_EQ(context->contextProperty(kDemoItemProperty).value<QObject*>(), nullptr);
}
