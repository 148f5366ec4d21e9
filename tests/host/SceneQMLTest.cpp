#include "host/SceneQML.h"

#include "support/LogCapture.h"
#include "support/QtTestApp.h"

#include <QQmlComponent>
#include <QQmlEngine>
#include <QSignalSpy>
#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

namespace {

// Counts the renders of its subtree through the scene's children.
class CountingEffect : public IEffect {
public:
    int renders = 0;
    std::string getEffectName() override { return "Counting"; }
    void render(RenderNameListItem*) override { ++renders; }
};

} // namespace

TEST(SceneQML, WritingSceneEnabledAlwaysNotifies)
{
    ensureQtApp();
    SceneQML scene;
    EXPECT_FALSE(scene.sceneEnabled());
    QSignalSpy spy(&scene, &SceneQML::sceneEnabledChanged);
    scene.setSceneEnabled(false);
    scene.setSceneEnabled(true);
    scene.setSceneEnabled(true);
    ASSERT_EQ(spy.count(), 3);
    EXPECT_EQ(spy[0][0].toBool(), false);
    EXPECT_EQ(spy[2][0].toBool(), true);
    EXPECT_TRUE(scene.sceneEnabled());
    EXPECT_EQ(scene.getEffectName(), "Scene");
    EXPECT_TRUE(scene.flags() & QQuickItem::ItemHasContents);
}

TEST(SceneQML, RenderAnnouncesTheSkeneNameAndRendersChildrenOnlyWhileEnabled)
{
    ensureQtApp();
    SceneQML scene;
    auto* child = new CountingEffect;
    child->setParent(&scene);
    child->setParentItem(&scene);
    scene.setProperty("sceneName", "intro");
    QSignalSpy named(&scene, &SceneQML::setSceneName);

    scene.render(nullptr);
    ASSERT_EQ(named.count(), 1);
    EXPECT_EQ(named[0][0].toString(), "intro");
    EXPECT_EQ(scene.effectText(), "intro");
    EXPECT_EQ(child->renders, 1);

    // sceneEnabled is the frame's concern; the item's own enabled state is
    // what render looks at.
    scene.setEnabled(false);
    scene.render(nullptr);
    EXPECT_EQ(named.count(), 1);
    EXPECT_EQ(child->renders, 1);
}

TEST(SceneQML, NameSetAgainBetweenFramesIsTheOneAnnounced)
{
    ensureQtApp();
    SceneQML scene;
    QSignalSpy named(&scene, &SceneQML::setSceneName);
    scene.setProperty("sceneName", "intro");
    scene.render(nullptr);
    scene.setProperty("sceneName", "outro");
    scene.render(nullptr);
    EXPECT_EQ(scene.effectText(), "outro");
    scene.setProperty("sceneName", QVariant()); // removed
    scene.render(nullptr);
    ASSERT_EQ(named.count(), 3);
    EXPECT_EQ(named[0][0].toString(), "intro");
    EXPECT_EQ(named[1][0].toString(), "outro");
    EXPECT_EQ(named[2][0].toString(), "");
}

TEST(SceneQML, ConstructionAndDestructionAreLogged)
{
    ensureQtApp();
    LogCapture log;
    std::string id;
    {
        SceneQML scene;
        id = std::to_string(reinterpret_cast<uintptr_t>(&scene));
    }
    EXPECT_EQ(log.lines(), (std::vector<std::string>{"Making new skene:", "Making new skene:" + id,
                                                      "Destructor of skene:" + id}));
}

TEST(SceneQML, SkeneRootFromQml)
{
    ensureQtApp();
    QQmlEngine engine;
    QQmlComponent component(&engine);
    component.setData("import QuellinDemoSystem 1.0\nScene { sceneEnabled: true; name: \"outro\" }\n", QUrl());
    std::unique_ptr<QObject> object(component.create());
    auto* scene = qobject_cast<SceneQML*>(object.get());
    ASSERT_TRUE(scene) << component.errorString().toStdString();
    EXPECT_TRUE(scene->sceneEnabled());
    EXPECT_EQ(scene->nameText(), "outro");
}
