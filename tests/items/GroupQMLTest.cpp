#include <GL/glew.h>

#include "items/GroupQML.h"

#include "items/CameraQML.h"
#include "items/DrawVBQML.h"
#include "items/MeshQML.h"
#include "items/PosQML.h"
#include "items/SavePointQML.h"
#include "items/ShadeQML.h"
#include "items/TextureQML.h"
#include "state/DemoDisplay.h"
#include "state/SavePoints.h"

#include "support/FreshState.h"
#include "support/GlFramebuffer.h"
#include "support/GlTestContext.h"
#include "support/ProbeEffect.h"

#include <glm/gtc/matrix_transform.hpp>
#include <gtest/gtest.h>

#include <QSGNode>
#include <QSignalSpy>

#include <vector>

namespace {

struct GroupsAndSavePoints : FreshStateTest {
    void SetUp() override { ASSERT_TRUE(gl.ok()); }
    // A save point at (x, y, z) under parent.
    SavePointQML* savePoint(QQuickItem& parent, const char* target, float x, float y, float z)
    {
        auto* point = new SavePointQML(&parent);
        point->setParentItem(&parent);
        point->target = target;
        point->setProperty("x", x);
        point->setProperty("y", y);
        point->setProperty("z", z);
        return point;
    }
    GlTestContext gl;
    GlFramebuffer window{8, 8};
};

struct TestVB : DrawVBQML {
    void resolve() { delete updatePaintNode(nullptr, nullptr); }
};

} // namespace

TEST_F(GroupsAndSavePoints, GroupNamesAndTheEnabledRule)
{
    GroupQML group;
    group.setProperty("effectName", "lights");
    group.setProperty("effectDetails", "Key and fill");
    EXPECT_EQ(group.effectText(), "lights");
    EXPECT_EQ(group.getEffectName(), "Key and fill");
    EXPECT_EQ(group.getOrigName(), "Group");

    ProbeEffect child;
    child.setParentItem(&group);
    group.render(nullptr);
    EXPECT_EQ(child.renders, 1);
    group.setEnabled(false);
    child.setEnabled(true); // its own switch cannot override the group's
    // Qt switches a disabled item's children off with it, and the walk
    // skips switched-off effects: that, not the group's own check, is what
    // keeps the child from rendering, through the group or in place under
    // a draw item. The group's check cannot be told apart from outside.
    EXPECT_FALSE(child.isEnabled());
    group.render(nullptr);
    EXPECT_EQ(child.renders, 1);
    group.setEnabled(true);
    group.render(nullptr);
    EXPECT_EQ(child.renders, 2);
}

TEST_F(GroupsAndSavePoints, TexturesAndGroupsRenderInPlaceBeforeTheDrawAndAgainAfter)
{
    MeshQML mesh; // no mesh file: the walk and the children still run
    QSignalSpy drawn(&mesh, &MeshQML::rendered);
    TextureQML texture;
    texture.setParentItem(&mesh);
    GroupQML group, off;
    group.setParentItem(&mesh);
    off.setParentItem(&mesh);
    off.setEnabled(false);
    ProbeEffect inTexture, inGroup, inOff;
    inTexture.setParentItem(&texture);
    inGroup.setParentItem(&group);
    inOff.setParentItem(&off);
    std::vector<int> textureSaw, groupSaw;
    inTexture.onRender = [&] { textureSaw.push_back(drawn.count()); };
    inGroup.onRender = [&] { groupSaw.push_back(drawn.count()); };

    mesh.render(nullptr);
    EXPECT_EQ(textureSaw, (std::vector<int>{0, 1})); // before the draw, then after it
    EXPECT_EQ(groupSaw, (std::vector<int>{0, 1}));
    EXPECT_EQ(inOff.renders, 0);
}

TEST_F(GroupsAndSavePoints, MeshItemsRecordTheirSavePointsTheLastOneWinning)
{
    demoDisplay().width = 200;
    demoDisplay().height = 100;
    CameraQML camera;
    camera.setProperty("z", 5.0f);
    camera.setProperty("viewAngle", 60.0f);
    camera.render(nullptr);

    MeshQML mesh;
    PosQML pos;
    pos.x = 2.0f;
    pos.setParentItem(&mesh);
    savePoint(mesh, "tip", 1, 0, 0);
    savePoint(mesh, "tip", 0, 1, 0); // same target, later: wins
    GroupQML group;
    group.setParentItem(&mesh);
    savePoint(group, "inGroup", 0, 0, 0);
    TestVB quad;
    quad.setType("quad");
    quad.resolve();
    savePoint(quad, "inDrawVB", 0, 0, 0);

    quad.render(nullptr);
    mesh.render(nullptr);
    EXPECT_EQ(findSavePoint("inGroup"), nullptr);
    EXPECT_EQ(findSavePoint("inDrawVB"), nullptr);
    const SavePointRecord* tip = findSavePoint("tip");
    ASSERT_NE(tip, nullptr);

    const glm::mat4 v = glm::lookAt(glm::vec3(0, 0, 5), glm::vec3(0), glm::vec3(0, 1, 0));
    const glm::mat4 m = glm::translate(glm::mat4(1.0f), glm::vec3(2, 0, 0));
    const glm::mat4 p = glm::perspective(glm::radians(60.0f), 2.0f, 0.1f, 1000.0f);
    const glm::vec4 eye = v * m * glm::vec4(0, 1, 0, 1);
    const glm::vec4 clip = p * eye;
    for (int i = 0; i < 3; ++i) {
        EXPECT_NEAR(tip->world[i], (m * glm::vec4(0, 1, 0, 1))[i], 1e-5f) << i;
        EXPECT_NEAR(tip->eye[i], eye[i], 1e-5f) << i;
        EXPECT_NEAR(tip->screen[i], clip[i] / clip.w, 1e-5f) << i;
    }
    EXPECT_GT(tip->screen[0], 0.0f); // right of the centre, as the camera sees it
}
