#include "gpu/GpuResources.h"
#include "items/CameraQML.h"
#include "items/ClearQML.h"
#include "items/IDrawEffect.h"
#include "items/ParamGroupQML.h"
#include "items/PosQML.h"
#include "items/RotQML.h"
#include "items/ScaQML.h"
#include "items/ShaderParamQML.h"
#include "items/Transform.h"

#include "support/FreshState.h"
#include "support/GlFramebuffer.h"
#include "support/GlTestContext.h"
#include "support/QtTestApp.h"

#include <glm/glm.hpp>
#include <gtest/gtest.h>

#include <memory>

namespace {

glm::vec4 applyAll(const std::vector<QQuickItem*>& children, glm::vec4 v)
{
    glm::mat4 mv(1.0f), m(1.0f);
    for (QQuickItem* c : children)
        applyChild(c, mv, m);
    EXPECT_EQ(mv, m);
    return m * v;
}

void expectNear(glm::vec4 a, glm::vec4 b)
{
    for (int i = 0; i < 4; ++i)
        EXPECT_NEAR(a[i], b[i], 1e-5f) << "component " << i;
}

} // namespace

TEST(Transform, FirstTransformChildIsOutermost)
{
    ensureQtApp();
    PosQML pos;
    pos.x = 10.0f;
    RotQML rot;
    rot.d = 90.0f; // about z
    // Pos then Rot: rotate first, then translate.
    expectNear(applyAll({&pos, &rot}, {1, 0, 0, 1}), {10, 1, 0, 1});
    // Rot then Pos: translate first, then rotate.
    expectNear(applyAll({&rot, &pos}, {1, 0, 0, 1}), {0, 11, 0, 1});
}

TEST(Transform, ScaleMultipliesSAndAxisFactors)
{
    ensureQtApp();
    ScaQML sca;
    sca.s = 2.0f;
    sca.x = 0.5f;
    expectNear(applyAll({&sca}, {1, 1, 1, 1}), {1, 2, 2, 1});
}

TEST(Transform, ParamGroupAppliesItsChildrenInPlace)
{
    ensureQtApp();
    ParamGroupQML group;
    PosQML inner;
    inner.y = 3.0f;
    inner.setParentItem(&group);
    ScaQML sca;
    sca.s = 2.0f;
    expectNear(applyAll({&group, &sca}, {1, 1, 1, 1}), {2, 5, 2, 1});
}

TEST(Transform, ZeroRotationAxisLeavesMatrixUnchanged)
{
    ensureQtApp();
    RotQML rot;
    rot.d = 45.0f;
    rot.az = 0.0f;
    glm::mat4 mv(1.0f), m(1.0f);
    applyChild(&rot, mv, m);
    EXPECT_EQ(m, glm::mat4(1.0f));
    EXPECT_EQ(mv, glm::mat4(1.0f));
}

TEST(Transform, ClearClearsOnlyTheBuffersItsPropertiesName)
{
    GlTestContext gl;
    ASSERT_TRUE(gl.ok());
    GlFramebuffer fb(8, 8);
    fb.bind();
    glClearColor(0.0f, 1.0f, 0.0f, 1.0f);
    glClearDepth(0.25);
    glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);

    glm::mat4 mv(1.0f), m(1.0f);
    ClearQML depthOnly;
    depthOnly.setCD(0.75f);
    applyChild(&depthOnly, mv, m);
    EXPECT_EQ(fb.pixel(2, 2), (std::array<unsigned char, 4>{0, 255, 0, 255}));
    EXPECT_NEAR(fb.depth(2, 2), 0.75f, 1e-3f);
    GLboolean mask[4] = {};
    glGetBooleanv(GL_COLOR_WRITEMASK, mask);
    EXPECT_TRUE(mask[0] && mask[1] && mask[2] && mask[3]);

    ClearQML red;
    red.setCR(1.0f);
    red.setCG(0.0f);
    red.setMA(false); // alpha untouched by the clear
    red.setEnabled(false);
    applyChild(&red, mv, m); // disabled: clears nothing
    EXPECT_EQ(fb.pixel(2, 2), (std::array<unsigned char, 4>{0, 255, 0, 255}));
    red.setEnabled(true);
    glClearColor(0.0f, 0.0f, 0.0f, 0.0f);
    applyChild(&red, mv, m);
    EXPECT_EQ(fb.pixel(2, 2), (std::array<unsigned char, 4>{255, 0, 0, 255}));
    EXPECT_NEAR(fb.depth(2, 2), 0.75f, 1e-3f);
}

TEST(ShaderParam, Vec4TextParsing)
{
    using V = std::array<float, 4>;
    EXPECT_EQ(parseVec4Text("1,2,"), (V{1, 2, 0, 0}));
    EXPECT_EQ(parseVec4Text("a,2,3,4,5"), (V{0, 2, 3, 4}));
    EXPECT_EQ(parseVec4Text(" 0.5, -1.5x,3"), (V{0.5f, -1.5f, 3, 0}));
    EXPECT_EQ(parseVec4Text(",7"), (V{0, 7, 0, 0}));
    EXPECT_EQ(parseVec4Text(""), (V{0, 0, 0, 0}));
}

struct Camera : FreshStateTest {
    Camera() { ensureQtApp(); }
    // The current camera lives in the GPU resources, which need no GL for
    // it: a set without a context.
    GpuResources resources;
};

TEST_F(Camera, CurrentCameraFollowsRenderAndDiesWithItsItem)
{
    EXPECT_EQ(gpu().camera.get(), nullptr);
    auto camera = std::make_unique<CameraQML>();
    camera->setProperty("viewAngle", 60.0f);
    camera->setProperty("z", -4.0f);
    camera->render(nullptr);
    ASSERT_NE(gpu().camera.get(), nullptr);
    EXPECT_FLOAT_EQ(gpu().camera.get()->viewAngle, 60.0f);
    EXPECT_FLOAT_EQ(gpu().camera.get()->z, -4.0f);
    EXPECT_FLOAT_EQ(gpu().camera.get()->upY, 1.0f);
    EXPECT_EQ(camera->getEffectName(), "Camera");
    camera.reset();
    EXPECT_EQ(gpu().camera.get(), nullptr);
}

TEST_F(Camera, DrawItemsLookFromTheCurrentCamera)
{
    // Without a camera: the eye at (0, 0, -1), looking at the origin.
    EXPECT_NEAR((IDrawEffect::viewMatrix() * glm::vec4(0, 0, 0, 1)).z, -1.0f, 1e-6f);

    // The camera's defaults put the eye at (0, 0, -10), looking at the
    // origin with y up; a right-handed look-at then turns around y, so the
    // world's +x lies to the eye's left.
    CameraQML camera;
    camera.render(nullptr);
    const glm::mat4 v = IDrawEffect::viewMatrix();
    EXPECT_NEAR((v * glm::vec4(0, 0, 0, 1)).z, -10.0f, 1e-5f);
    EXPECT_NEAR((v * glm::vec4(1, 0, 0, 1)).x, -1.0f, 1e-5f);
    EXPECT_NEAR((v * glm::vec4(0, 1, 0, 1)).y, 1.0f, 1e-5f);

    // Each of the camera's properties reaches the view.
    camera.setProperty("x", 3.0f);
    camera.setProperty("lookAtX", 3.0f);
    camera.setProperty("upX", 1.0f);
    camera.setProperty("upY", 0.0f);
    camera.render(nullptr);
    const glm::mat4 moved = IDrawEffect::viewMatrix();
    const glm::vec4 target = moved * glm::vec4(3, 0, 0, 1);
    EXPECT_NEAR(target.x, 0.0f, 1e-5f);
    EXPECT_NEAR(target.z, -10.0f, 1e-5f);
    EXPECT_NEAR((moved * glm::vec4(4, 0, 0, 1)).y, 1.0f, 1e-5f); // world +x is now up
}
