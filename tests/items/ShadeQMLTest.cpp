#include <GL/glew.h>

#include "gpu/GpuResources.h"
#include "items/DrawVBQML.h"
#include "items/ParamGroupQML.h"
#include "items/ShadeQML.h"
#include "items/ShaderParamQML.h"

#include "gpu/GlewSetup.h"
#include "gpu/Shader.h"
#include "items/CameraQML.h"
#include "state/DemoDisplay.h"
#include "state/FrameState.h"
#include "sync/Rocket.h"
#include "time/Music.h"
#include "time/TimeState.h"

#include "support/FreshState.h"
#include "support/GlFramebuffer.h"
#include "support/GlTestContext.h"
#include "support/ProbeEffect.h"
#include "support/QtTestApp.h"
#include "support/RecordingNotifier.h"
#include "support/TempDemo.h"

#include <QSGNode>
#include <gtest/gtest.h>

#include <cmath>

namespace {

// Runs the shader item's resolution step the way Qt Quick would.
struct TestShade : ShadeQML {
    void resolve() { updatePaintNode(nullptr, nullptr); }
};

struct TestVB : DrawVBQML {
    void resolve() { delete updatePaintNode(nullptr, nullptr); }
};

// Draws one triangle that covers the whole target with the current program.
struct FullScreenTriangle : IEffect {
    std::string getEffectName() override { return "Triangle"; }
    void render(RenderNameListItem*) override
    {
        glBegin(GL_TRIANGLES);
        glVertex2f(-1.0f, -1.0f);
        glVertex2f(3.0f, -1.0f);
        glVertex2f(-1.0f, 3.0f);
        glEnd();
    }
};

const char* const kVert = "#version 430 compatibility\nvoid main() { gl_Position = gl_Vertex; }\n";

int channel(float v)
{
    return int(std::lround(std::clamp(v, 0.0f, 1.0f) * 255.0f));
}

struct ShadeFixture : FreshStateTest {
    void SetUp() override
    {
        ASSERT_TRUE(gl.ok());
        demo.enter();
        installRecordingNotifier();
        skene.setProperty("sceneDir", "fx/intro/");
        demo.write("fx/intro/check.vert", kVert);
    }
    // Places shade in the skene on the shader "check" and resolves it.
    void useCheck(TestShade& shade)
    {
        shade.setParentItem(&skene);
        shade.setFile("check");
        shade.resolve();
    }
    GlTestContext gl;
    TempDemo demo;
    QQuickItem skene; // stands in for the skene root that declares sceneDir
};

} // namespace

TEST_F(ShadeFixture, StandardUniformsReachTheProgram)
{
    // Colour = (g_time / 10, g_timeStep / 2, projection[0][0], projection[2][3] + 0.5).
    demo.write("fx/intro/check.frag",
               "#version 430 compatibility\nuniform float g_time; uniform float g_timeStep;\n"
               "uniform mat4 projectionMatrix;\nout vec4 c;\n"
               "void main() { c = vec4(g_time / 10.0, g_timeStep / 2.0, projectionMatrix[0][0],"
               " projectionMatrix[2][3] + 0.5); }\n");
    timeState().music = std::make_unique<Music>();
    ASSERT_TRUE(timeState().music->load(std::string(TARVONIC_TEST_DATA) + "/test_music.mp3"));
    timeState().music->set_paused(true);
    timeState().music->set_position(2.5);
    Rocket::instance().set_pause_step(0.5); // a pending editor jump, seconds
    Rocket::instance().publish_time(frameState().time); // as the frame does

    TestShade shade;
    useCheck(shade);
    ASSERT_NE(shade.shader(), nullptr);
    ASSERT_NE(shade.getShaderProgram(), 0u);
    FullScreenTriangle triangle;
    triangle.setParentItem(&shade);

    GlFramebuffer fb(16, 9);
    fb.bind();
    shade.render(nullptr);
    auto px = fb.pixel(8, 4);
    EXPECT_NEAR(px[0], channel(0.25f), 1);
    EXPECT_NEAR(px[1], channel(0.25f), 1);
    EXPECT_EQ(px[2], 255); // identity projection without a camera
    EXPECT_NEAR(px[3], channel(0.5f), 1);

    // A jump of 2 s is clamped to 1.5 s; a camera brings the perspective.
    Rocket::instance().set_pause_step(2.0);
    Rocket::instance().publish_time(frameState().time);
    CameraQML camera;
    camera.setProperty("viewAngle", 90.0f);
    camera.render(nullptr);
    shade.render(nullptr);
    px = fb.pixel(8, 4);
    EXPECT_NEAR(px[1], channel(0.75f), 1);
    const float aspect = float(demoDisplay().width) / float(demoDisplay().height);
    EXPECT_NEAR(px[2], channel(1.0f / aspect), 1); // f = 1 / tan(45 degrees) = 1
    EXPECT_NEAR(px[3], 0, 1);                     // -1 + 0.5, clamped
    EXPECT_EQ(gpu().shaders.current(), shade.shader());
}

TEST_F(ShadeFixture, WindowSizeUniformsFollowTheDemoSize)
{
    demo.write("fx/intro/check.frag",
               "#version 430 compatibility\nuniform float windowWidth; uniform float windowHeight;\n"
               "uniform float g_windowWidth; uniform float g_windowHeight;\nout vec4 c;\n"
               "void main() { c = vec4(windowWidth, windowHeight, g_windowWidth, g_windowHeight) / 1000.0; }\n");
    demoDisplay().width = 500;
    demoDisplay().height = 250;
    TestShade shade;
    useCheck(shade);
    FullScreenTriangle triangle;
    triangle.setParentItem(&shade);

    GlFramebuffer fb(4, 4);
    fb.bindCleared();
    shade.render(nullptr);
    auto px = fb.pixel(1, 1);
    EXPECT_NEAR(px[0], channel(0.5f), 1);
    EXPECT_NEAR(px[1], channel(0.25f), 1);
    EXPECT_NEAR(px[2], channel(0.5f), 1);
    EXPECT_NEAR(px[3], channel(0.25f), 1);

    // The frame follows the window; the next render hands on the new size.
    demoDisplay().width = 800;
    demoDisplay().height = 450;
    shade.render(nullptr);
    px = fb.pixel(1, 1);
    EXPECT_NEAR(px[0], channel(0.8f), 1);
    EXPECT_NEAR(px[3], channel(0.45f), 1);
}

TEST_F(ShadeFixture, DirectShaderParamsApplyButNotThoseInAParamGroup)
{
    demo.write("fx/intro/check.frag",
               "#version 430 compatibility\nuniform float direct; uniform vec4 colour; uniform float grouped;\n"
               "out vec4 c;\nvoid main() { c = vec4(direct, colour.y, grouped, colour.w); }\n");
    TestShade shade;
    useCheck(shade);
    ShaderParamQML direct, colour, grouped;
    direct.paramName = "direct";
    direct.paramValue = 1.0f;
    colour.paramName = "colour";
    colour.paramValueVec4 = "0,1,";
    grouped.paramName = "grouped";
    grouped.paramValue = 1.0f;
    ParamGroupQML group;
    direct.setParentItem(&shade);
    colour.setParentItem(&shade);
    group.setParentItem(&shade);
    grouped.setParentItem(&group);
    FullScreenTriangle triangle;
    triangle.setParentItem(&shade);

    GlFramebuffer fb(4, 4);
    fb.bind();
    shade.render(nullptr);
    EXPECT_EQ(fb.pixel(1, 1), (std::array<unsigned char, 4>{255, 255, 0, 0}));
}

TEST_F(ShadeFixture, ShaderParamsFollowTextsThatChangeBetweenFrames)
{
    demo.write("fx/intro/check.frag",
               "#version 430 compatibility\nuniform float first; uniform float second; uniform vec4 colour;\n"
               "out vec4 c;\nvoid main() { c = vec4(first, second, colour.z, colour.w); }\n");
    TestShade shade;
    useCheck(shade);
    ShaderParamQML value, colour;
    value.paramName = "first";
    value.paramValue = 1.0f;
    colour.paramName = "colour";
    colour.paramValueVec4 = "0,0,1,0";
    value.setParentItem(&shade);
    colour.setParentItem(&shade);
    FullScreenTriangle triangle;
    triangle.setParentItem(&shade);
    GlFramebuffer fb(4, 4);
    fb.bind();
    shade.render(nullptr);
    EXPECT_EQ(fb.pixel(1, 1), (std::array<unsigned char, 4>{255, 0, 255, 0}));

    // A renamed parameter and a new vector, as bindings write them.
    value.paramName = "second";
    colour.paramValueVec4 = "0,0,0,1";
    fb.bind();
    shade.render(nullptr);
    EXPECT_EQ(fb.pixel(1, 1)[1], 255);
    EXPECT_EQ(fb.pixel(1, 1)[2], 0);
    EXPECT_EQ(fb.pixel(1, 1)[3], 255);
}

TEST_F(ShadeFixture, CacheSharesWithinASkeneOnly)
{
    demo.write("fx/intro/check.frag", "#version 430 compatibility\nout vec4 c;\nvoid main() { c = vec4(1); }\n");
    TestShade a, b, c;
    for (TestShade* s : {&a, &b, &c}) {
        s->setParentItem(&skene);
        s->setFile("check");
    }
    a.setProperty("skeneName", "intro");
    b.setProperty("skeneName", "intro");
    c.setProperty("skeneName", "outro");
    a.resolve();
    b.resolve();
    c.resolve();
    ASSERT_NE(a.shader(), nullptr);
    EXPECT_EQ(a.shader(), b.shader());
    EXPECT_NE(a.shader(), c.shader());
}

TEST_F(ShadeFixture, WithoutAShaderNothingRendersAndEmptyFileLooksNothingUp)
{
    TestShade shade;
    shade.setParentItem(&skene);
    shade.resolve();
    EXPECT_EQ(shade.shader(), nullptr);
    EXPECT_EQ(shade.getShaderProgram(), 0u);
    ProbeEffect probe;
    probe.setParentItem(&shade);
    shade.render(nullptr);
    EXPECT_EQ(probe.renders, 0);
}

TEST_F(ShadeFixture, ProgramThatFailedToLinkCountsAsNoShaderUntilItLinks)
{
    demo.write("fx/intro/good.frag", "#version 430 compatibility\nout vec4 c;\nvoid main() { c = vec4(1); }\n");
    demo.write("fx/intro/check.frag", "#version 430\nout vec4 c;\nvec4 missing();\nvoid main() { c = missing(); }\n");
    TestShade good;
    good.setParentItem(&skene);
    good.setFile("good");
    good.resolve();
    TestShade broken;
    useCheck(broken);
    ASSERT_NE(broken.shader(), nullptr);
    ASSERT_FALSE(broken.shader()->linked());
    ProbeEffect probe;
    probe.setParentItem(&broken);

    good.render(nullptr);
    while (glGetError() != GL_NO_ERROR) {
    }
    broken.render(nullptr);
    EXPECT_EQ(probe.renders, 0);
    EXPECT_EQ(gpu().shaders.current(), good.shader());
    EXPECT_EQ(glGetError(), GLenum(GL_NO_ERROR));

    // Fixed on disk and rebuilt: the subtree draws with it again.
    demo.write("fx/intro/check.frag", "#version 430 compatibility\nout vec4 c;\nvoid main() { c = vec4(0.5); }\n");
    ASSERT_TRUE(broken.shader()->reload());
    broken.render(nullptr);
    EXPECT_EQ(probe.renders, 1);
    EXPECT_EQ(gpu().shaders.current(), broken.shader());
}

TEST(ItemSynchronisation, WaitsForGlAndLoadsGlewItself)
{
    resetProcessState();
    ensureQtApp();
    GlTestContext::releaseCurrent();
    forgetGlew();
    TempDemo demo;
    demo.enter();
    demo.write("flat.frag", "#version 430 compatibility\nout vec4 c;\nvoid main() { c = vec4(1); }\n");
    TestShade shade;
    shade.setFile("flat");
    TestVB quad;
    quad.setType("quad");

    // No context: nothing may touch GL.
    shade.resolve();
    quad.resolve();
    EXPECT_EQ(shade.shader(), nullptr);
    EXPECT_EQ(quad.vertexBuffer(), nullptr);

    // With a context current, as in Qt Quick's synchronisation, the items
    // load GLEW themselves when the frame has not.
    GlTestContext gl;
    ASSERT_TRUE(gl.ok());
    forgetGlew();
    shade.resolve();
    EXPECT_TRUE(glewReady());
    ASSERT_NE(shade.shader(), nullptr);
    EXPECT_TRUE(shade.shader()->linked());
    quad.resolve();
    EXPECT_NE(quad.vertexBuffer(), nullptr);
}

TEST_F(ShadeFixture, ProjectionMatchesHandComputedPerspective)
{
    EXPECT_EQ(projectionMatrix(gpu().camera.get(), 1280, 720), glm::mat4(1.0f));
    CameraQML camera;
    camera.setProperty("viewAngle", 60.0f);
    camera.render(nullptr);
    const glm::mat4 p = projectionMatrix(gpu().camera.get(), 1280, 720);
    const float f = 1.0f / std::tan(60.0f * 3.14159265f / 180.0f * 0.5f);
    const float n = 0.1f, fa = 1000.0f;
    EXPECT_NEAR(p[0][0], f / (1280.0f / 720.0f), 1e-5f);
    EXPECT_NEAR(p[1][1], f, 1e-5f);
    EXPECT_NEAR(p[2][2], -(fa + n) / (fa - n), 1e-5f);
    EXPECT_NEAR(p[2][3], -1.0f, 1e-6f);
    EXPECT_NEAR(p[3][2], -(2.0f * fa * n) / (fa - n), 1e-5f);
    EXPECT_NEAR(p[3][3], 0.0f, 1e-6f);
    EXPECT_NEAR(p[0][1] + p[1][0] + p[3][0] + p[3][1], 0.0f, 1e-6f);
}
