#include <GL/glew.h>

#include "gpu/GpuResources.h"
#include "items/MeshQML.h"

#include "gpu/DepthState.h"
#include "gpu/Mesh.h"
#include "gpu/MeshRegistry.h"
#include "gpu/Shader.h"
#include "gpu/TransformFeedback.h"
#include "gpu/VertexBuffers.h"
#include "items/CameraQML.h"
#include "items/PosQML.h"
#include "items/ScaQML.h"
#include "items/ShadeQML.h"
#include "state/DemoDisplay.h"
#include "state/FrameState.h"

#include "support/FreshState.h"
#include "support/GlFramebuffer.h"
#include "support/GlTestContext.h"
#include "support/LogCapture.h"
#include "support/ProbeEffect.h"
#include "support/RecordingNotifier.h"
#include "support/TempDemo.h"

#include <glm/gtc/matrix_transform.hpp>
#include <gtest/gtest.h>

#include <QSGNode>
#include <QSignalSpy>

#include <algorithm>
#include <cmath>
#include <functional>

namespace {

// Runs the mesh item's resolution step the way Qt Quick would, and lets
// the import finish and be handed over as a capture's frame does.
struct TestMesh : MeshQML {
    void resolve()
    {
        resolveOnly();
        gpu().meshImports.waitForAll();
    }
    // As the synchronisation does it: the import is asked for, not awaited.
    void resolveOnly() { delete updatePaintNode(nullptr, nullptr); }
};

struct TestShade : ShadeQML {
    void resolve() { delete updatePaintNode(nullptr, nullptr); }
};

// A 2 x 2 square around the origin in the z = 0 plane.
const char* const kSquare = "v -1 -1 0\nv 1 -1 0\nv 1 1 0\nv -1 1 0\nf 1 2 3 4\n";

const char* const kVertCamera =
    "#version 430 compatibility\nlayout(location = 0) in vec3 position;\n"
    "uniform mat4 projectionMatrix; uniform mat4 modelViewMatrix;\n"
    "void main() { gl_Position = projectionMatrix * modelViewMatrix * vec4(position, 1.0); }\n";

// Straight to clip space: the square covers the whole target.
const char* const kVertFlat =
    "#version 430 compatibility\nlayout(location = 0) in vec3 position;\n"
    "void main() { gl_Position = vec4(position.xy, 0.0, 1.0); }\n";

struct MeshFixture : FreshStateTest {
    void SetUp() override
    {
        ASSERT_TRUE(gl.ok());
        demo.enter();
        installRecordingNotifier();
        demo.write("square.obj", kSquare);
        skene.setProperty("sceneDir", "");
    }
    // Loads name.vert / name.frag from the demo folder and makes it current.
    Shader& useShader(const char* vert, const char* frag)
    {
        demo.write("check.vert", vert);
        demo.write("check.frag", frag);
        shader.load("check", "");
        gpu().shaders.use(&shader);
        return shader;
    }
    GlTestContext gl;
    TempDemo demo;
    QQuickItem skene;
    Shader shader;
};

} // namespace

TEST(MeshCacheKey, OptionsInOrderAndTheAngle)
{
    EXPECT_EQ(MeshQML::meshCacheKey("a.obj", true, true, true, false, true, true, 175.0f),
              "a.obj_m_bSmoothNormalsm_bFlipNormalsm_bHalfm_bACm_bASsa175.00");
    EXPECT_EQ(MeshQML::meshCacheKey("a.obj", false, false, false, true, false, false, 5.5f), "a.objsa5.50");
    EXPECT_EQ(MeshQML::meshCacheKey("a.obj", false, false, true, true, false, false, 1.0f),
              "a.objm_bHalfm_bPacksa1.00");
}

TEST_F(MeshFixture, CacheEntriesFollowTheImportOptions)
{
    TestMesh a, b, c, d;
    for (TestMesh* m : {&a, &b, &c, &d})
        m->setFile("square.obj");
    a.setProperty("smoothNormals", true);
    b.setProperty("smoothNormals", true);
    c.setProperty("smoothNormals", true);
    c.setProperty("normalSmoothAngle", 30.0f);
    d.setProperty("halfFloats", true);
    for (TestMesh* m : {&a, &b, &c, &d})
        m->resolve();
    ASSERT_NE(a.mesh(), nullptr);
    EXPECT_EQ(a.mesh(), b.mesh());
    EXPECT_NE(a.mesh(), c.mesh()); // another smoothing angle
    EXPECT_NE(a.mesh(), d.mesh());
    EXPECT_NE(c.mesh(), d.mesh());
    EXPECT_EQ(gpu().meshes.entries().size(), 3u);
    EXPECT_TRUE(d.mesh()->halfFloats);
    EXPECT_TRUE(d.mesh()->autoScale);
    EXPECT_NE(gpu().meshes.find("square.obj_m_bSmoothNormalsm_bACm_bASsa30.00"), nullptr);
    // What file playback does before the music starts.
    uploadPendingMeshes(gpu().meshes);
    EXPECT_FALSE(a.mesh()->records.empty());

    // A changed option switches at the next resolution; an unchanged key
    // keeps the mesh.
    Mesh* before = b.mesh();
    b.resolve();
    EXPECT_EQ(b.mesh(), before);
    b.setProperty("normalSmoothAngle", 30.0f);
    b.resolve();
    EXPECT_EQ(b.mesh(), c.mesh());
}

TEST_F(MeshFixture, AnItemDrawsNothingUntilItsImportIsHandedOver)
{
    useShader(kVertFlat, "#version 430 compatibility\nout vec4 c;\nvoid main() { c = vec4(1.0); }\n");
    TestMesh mesh;
    mesh.setFile("square.obj");
    mesh.setDepthTest(false);
    mesh.resolveOnly();
    ASSERT_NE(mesh.mesh(), nullptr);
    GlFramebuffer fb(4, 4);
    fb.bindCleared();
    mesh.render(nullptr);
    EXPECT_EQ(fb.pixel(1, 1)[0], 0);
    EXPECT_EQ(gpu().meshImports.pending(), 1);

    gpu().meshImports.waitForAll();
    mesh.render(nullptr);
    EXPECT_EQ(fb.pixel(1, 1)[0], 255);
}

TEST_F(MeshFixture, AReloadImportsAgainOnlyAFileThatChanged)
{
    LogCapture log;
    auto loads = [&] { return std::count(log.lines().begin(), log.lines().end(), "loading mesh file:"); };
    {
        TestMesh first;
        first.setFile("square.obj");
        first.resolve();
        ASSERT_NE(first.mesh(), nullptr);
        EXPECT_FLOAT_EQ(first.mesh()->boundsMax[0], 1.0f);
    }
    EXPECT_EQ(loads(), 1);
    // The items of a reloaded skene find the mesh, unchanged file and all.
    TestMesh again;
    again.setFile("square.obj");
    again.resolve();
    EXPECT_EQ(loads(), 1);
    Mesh* mesh = again.mesh();

    // An edited file: the next resolution imports it into the same entry.
    demo.write("square.obj", "v 0 0 0\nv 6 0 0\nv 6 6 0\nv 0 6 0\nf 1 2 3 4\n");
    TestMesh reloaded;
    reloaded.setFile("square.obj");
    reloaded.resolve();
    EXPECT_EQ(loads(), 2);
    EXPECT_EQ(reloaded.mesh(), mesh);
    EXPECT_FLOAT_EQ(mesh->boundsMax[0], 6.0f);
    EXPECT_EQ(gpu().meshes.entries().size(), 1u);
}

TEST_F(MeshFixture, PartemitTurnsSmoothingOff)
{
    demo.write("fx/partemit_ring.obj", kSquare);
    TestMesh m;
    m.setFile("fx/partemit_ring.obj");
    m.setProperty("smoothNormals", true);
    m.resolve();
    EXPECT_FALSE(m.property("smoothNormals").toBool());
    ASSERT_NE(m.mesh(), nullptr);
    EXPECT_EQ(gpu().meshes.find("fx/partemit_ring.objm_bACm_bASsa175.00"), m.mesh());
    ASSERT_NE(m.mesh()->data, nullptr);
}

TEST_F(MeshFixture, MeshLandsWhereTheCameraAndTransformsPutIt)
{
    demo.write("check.vert", kVertCamera);
    demo.write("check.frag", "#version 430 compatibility\nout vec4 c;\nvoid main() { c = vec4(1.0); }\n");
    demoDisplay().width = 128;
    demoDisplay().height = 72;
    CameraQML camera;
    camera.setProperty("z", 3.0f);
    camera.setProperty("viewAngle", 90.0f);
    TestShade shade;
    shade.setParentItem(&skene);
    shade.setFile("check");
    shade.resolve();
    TestMesh mesh;
    mesh.setParentItem(&shade);
    mesh.setFile("square.obj");
    PosQML pos;
    pos.x = 2.0f;
    pos.setParentItem(&mesh);
    ScaQML sca;
    sca.x = 0.5f; // the square becomes 1 x 2
    sca.setParentItem(&mesh);
    mesh.resolve();

    GlFramebuffer fb(128, 72);
    fb.bind();
    glClearColor(0, 0, 0, 0);
    glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
    camera.render(nullptr);
    shade.render(nullptr);

    // Where the matrices put the square's centre and corners, in pixels.
    const glm::mat4 p = glm::perspective(glm::radians(90.0f), 128.0f / 72.0f, 0.1f, 1000.0f);
    const glm::mat4 v = glm::lookAt(glm::vec3(0, 0, 3), glm::vec3(0), glm::vec3(0, 1, 0));
    const glm::mat4 m = glm::scale(glm::translate(glm::mat4(1.0f), glm::vec3(2, 0, 0)), glm::vec3(0.5f, 1, 1));
    auto toPixel = [&](glm::vec3 point) {
        const glm::vec4 clip = p * v * m * glm::vec4(point, 1.0f);
        return glm::vec2((clip.x / clip.w + 1.0f) * 64.0f, (clip.y / clip.w + 1.0f) * 36.0f);
    };
    const glm::vec2 centre = toPixel(glm::vec3(0));
    const glm::vec2 corner = toPixel(glm::vec3(1, 1, 0));
    EXPECT_GT(corner.x - centre.x, 4.0f); // a few pixels wide at least
    EXPECT_EQ(fb.pixel(int(centre.x), int(centre.y))[0], 255);
    EXPECT_EQ(fb.pixel(int(corner.x) - 2, int(corner.y) - 2)[0], 255);
    EXPECT_EQ(fb.pixel(int(corner.x) + 2, int(centre.y))[0], 0);
    EXPECT_EQ(fb.pixel(int(centre.x), int(corner.y) + 2)[0], 0);
    EXPECT_EQ(fb.pixel(64, 36)[0], 0); // the world's origin stays empty
}

TEST_F(MeshFixture, BlendModeOffDrawsUnblendedAndBlendingComesBack)
{
    useShader(kVertFlat, "#version 430 compatibility\nout vec4 c;\nvoid main() { c = vec4(1.0, 0.0, 0.0, 0.5); }\n");
    TestMesh mesh;
    mesh.setFile("square.obj");
    mesh.setBlendMode("off");
    mesh.setDepthTest(false); // redrawn in place
    mesh.resolve();
    bool blendDuringChildren = false;
    ProbeEffect probe;
    probe.onRender = [&] { blendDuringChildren = glIsEnabled(GL_BLEND); };
    probe.setParentItem(&mesh);

    GlFramebuffer fb(4, 4);
    fb.bindCleared(0, 0, 1, 1);
    mesh.render(nullptr);
    EXPECT_EQ(fb.pixel(1, 1), (std::array<unsigned char, 4>{255, 0, 0, 128}));
    EXPECT_TRUE(blendDuringChildren);
    EXPECT_TRUE(glIsEnabled(GL_BLEND));

    // Back to the default: alpha blending over the blue.
    mesh.setBlendMode("");
    glClear(GL_COLOR_BUFFER_BIT);
    mesh.render(nullptr);
    const auto px = fb.pixel(1, 1);
    EXPECT_NEAR(px[0], 128, 1);
    EXPECT_NEAR(px[2], 127, 1);
}

TEST_F(MeshFixture, NestedItemsRestoreTheOuterDepthState)
{
    useShader(kVertFlat, "#version 430 compatibility\nout vec4 c;\nvoid main() { c = vec4(1.0); }\n");
    TestMesh outer;
    outer.setFile("square.obj");
    TestMesh inner;
    inner.setFile("square.obj");
    inner.setDepthTest(false);
    inner.setDepthWrite(false);
    inner.setParentItem(&outer);
    ProbeEffect insideInner, afterInner;
    insideInner.setParentItem(&inner);
    afterInner.setParentItem(&outer);
    bool innerTest = true, innerWrite = true, afterTest = false, afterWrite = false;
    auto writeMask = [] {
        GLboolean mask = GL_FALSE;
        glGetBooleanv(GL_DEPTH_WRITEMASK, &mask);
        return mask == GL_TRUE;
    };
    insideInner.onRender = [&] {
        innerTest = glIsEnabled(GL_DEPTH_TEST);
        innerWrite = writeMask();
    };
    afterInner.onRender = [&] {
        afterTest = glIsEnabled(GL_DEPTH_TEST);
        afterWrite = writeMask();
    };
    outer.resolve();
    inner.resolve();

    GlFramebuffer fb(4, 4);
    fb.bind();
    outer.render(nullptr);
    EXPECT_FALSE(innerTest);
    EXPECT_FALSE(innerWrite);
    EXPECT_TRUE(afterTest);
    EXPECT_TRUE(afterWrite);
    // Popped back to empty stacks: both off.
    EXPECT_TRUE(gpu().depth.test.empty());
    EXPECT_TRUE(gpu().depth.write.empty());
    EXPECT_FALSE(glIsEnabled(GL_DEPTH_TEST));
}

TEST_F(MeshFixture, TriggeredRenderDrawsOncePerTrigger)
{
    useShader(kVertFlat, "#version 430 compatibility\nout vec4 c;\nvoid main() { c = vec4(1.0); }\n");
    TestMesh mesh;
    mesh.setFile("square.obj");
    mesh.setProperty("triggeredRender", true);
    mesh.setDepthTest(false);
    mesh.resolve();
    ProbeEffect child;
    child.setParentItem(&mesh);
    QSignalSpy rendered(&mesh, &MeshQML::rendered);

    GlFramebuffer fb(4, 4);
    fb.bindCleared();
    mesh.render(nullptr);
    mesh.render(nullptr);
    EXPECT_EQ(rendered.count(), 0);
    EXPECT_EQ(child.renders, 0);
    EXPECT_EQ(fb.pixel(1, 1)[0], 0);

    mesh.triggerRenderOnce();
    mesh.triggerRenderOnce(); // two triggers before a render still draw once
    mesh.render(nullptr);
    mesh.render(nullptr);
    EXPECT_EQ(rendered.count(), 1);
    EXPECT_EQ(child.renders, 1);
    EXPECT_EQ(fb.pixel(1, 1)[0], 255);

    mesh.triggerRenderOnce();
    mesh.render(nullptr);
    EXPECT_EQ(rendered.count(), 2);
}

TEST_F(MeshFixture, PrevModelMatrixIsTheModelMatrixOfTheLastDraw)
{
    // red = prevModelMatrix translation x / 4, green = modelMatrix's.
    useShader(kVertFlat, "#version 430 compatibility\nuniform mat4 modelMatrix; uniform mat4 prevModelMatrix;\n"
                         "out vec4 c;\nvoid main() { c = vec4(prevModelMatrix[3][0] / 4.0,"
                         " modelMatrix[3][0] / 4.0, 0.0, 1.0); }\n");
    TestMesh mesh;
    mesh.setFile("square.obj");
    mesh.setBlendMode("off");
    mesh.setDepthTest(false);
    PosQML pos;
    pos.x = 1.0f;
    pos.setParentItem(&mesh);
    mesh.resolve();

    GlFramebuffer fb(4, 4);
    fb.bind();
    mesh.render(nullptr);
    EXPECT_NEAR(fb.pixel(1, 1)[0], 64, 1); // the first draw sends M itself
    EXPECT_NEAR(fb.pixel(1, 1)[1], 64, 1);
    pos.x = 2.0f;
    mesh.render(nullptr);
    EXPECT_NEAR(fb.pixel(1, 1)[0], 64, 1);
    EXPECT_NEAR(fb.pixel(1, 1)[1], 128, 1);
}

TEST_F(MeshFixture, FrameStartClearsDepthOnceAndDrawBuffersAreClamped)
{
    useShader(kVertFlat, "#version 430 compatibility\nout vec4 c;\nvoid main() { c = vec4(1.0); }\n");
    TestMesh mesh;
    mesh.setFile("square.obj");
    mesh.setProperty("drawBuffers", 7);
    mesh.resolve();

    GlFramebuffer fb(4, 4);
    fb.bind();
    glClearDepth(0.25);
    glClear(GL_DEPTH_BUFFER_BIT);
    glClearDepth(1.0);
    frameState().frameStarted = true;
    mesh.render(nullptr);
    EXPECT_FALSE(frameState().frameStarted);
    EXPECT_NEAR(fb.depth(1, 1), 0.5f, 1e-3f); // cleared to 1, then the square at z 0
    EXPECT_EQ(glGetError(), GLenum(GL_NO_ERROR));
    GLint buffer = 0;
    glGetIntegerv(GL_DRAW_BUFFER2, &buffer);
    EXPECT_EQ(buffer, GL_COLOR_ATTACHMENT2);

    mesh.setProperty("drawBuffers", -2);
    mesh.render(nullptr);
    EXPECT_EQ(glGetError(), GLenum(GL_NO_ERROR));
    glGetIntegerv(GL_DRAW_BUFFER0, &buffer);
    EXPECT_EQ(buffer, GL_NONE);
}

TEST_F(MeshFixture, ClearedFileDrawsNothing)
{
    useShader(kVertFlat, "#version 430 compatibility\nout vec4 c;\nvoid main() { c = vec4(1.0); }\n");
    TestMesh mesh;
    mesh.setFile("square.obj");
    mesh.setDepthTest(false);
    mesh.resolve();
    GlFramebuffer fb(4, 4);
    fb.bindCleared();
    mesh.render(nullptr);
    ASSERT_EQ(fb.pixel(1, 1)[0], 255);

    mesh.setFile("");
    mesh.resolve();
    EXPECT_EQ(mesh.mesh(), nullptr);
    fb.bindCleared();
    mesh.render(nullptr);
    EXPECT_EQ(fb.pixel(1, 1)[0], 0);
}

TEST_F(MeshFixture, UnreadableMeshDrawsNothingAndRunsOn)
{
    useShader(kVertFlat, "#version 430 compatibility\nout vec4 c;\nvoid main() { c = vec4(1.0); }\n");
    TestMesh mesh;
    mesh.setFile("nowhere/missing.obj");
    mesh.setDepthTest(false);
    mesh.resolve();
    ASSERT_NE(mesh.mesh(), nullptr);
    EXPECT_EQ(mesh.mesh()->scene, nullptr);
    EXPECT_EQ(mesh.mesh()->data, nullptr);
    ProbeEffect child;
    child.setParentItem(&mesh);
    QSignalSpy rendered(&mesh, &MeshQML::rendered);

    GlFramebuffer fb(4, 4);
    fb.bindCleared();
    mesh.render(nullptr);
    mesh.render(nullptr);
    EXPECT_EQ(fb.pixel(1, 1)[0], 0);
    EXPECT_EQ(rendered.count(), 2);
    EXPECT_EQ(child.renders, 2);
    EXPECT_EQ(mesh.effectText(), "nowhere/missing.obj");
    EXPECT_EQ(glGetError(), GLenum(GL_NO_ERROR));
}

TEST_F(MeshFixture, InstancesReadTheirAttributesFromTheNamedGrid)
{
    // Each instance is shifted by its own offset from the grid's ring.
    useShader("#version 430 compatibility\nlayout(location = 0) in vec3 position;\n"
              "layout(location = 4) in vec2 offset;\n"
              "void main() { gl_Position = vec4(position.xy * 0.2 + offset, 0.0, 1.0); }\n",
              "#version 430 compatibility\nout vec4 c;\nvoid main() { c = vec4(1.0); }\n");

    // A particle ring of two items of one vec2 each, filled where instances
    // are read: the ring slot after the current one.
    Mesh* grid = gpu().vertexBuffers.add("pointGridsparks");
    createCustomPointGridVBO(*grid, 2, 1, 0, true, parseVaryings("vec2 offset"));
    ASSERT_EQ(grid->records.size(), 1u);
    const float offsets[4] = {-0.5f, 0.0f, 0.5f, 0.0f};
    glBindBuffer(GL_ARRAY_BUFFER, feedbackInstanceBuffer(grid->records[0]));
    glBufferSubData(GL_ARRAY_BUFFER, 0, sizeof offsets, offsets);
    glBindBuffer(GL_ARRAY_BUFFER, 0);

    TestMesh mesh;
    mesh.setFile("square.obj");
    mesh.setDepthTest(false);
    mesh.setProperty("instanceVBO", "sparks");
    mesh.setProperty("instanceCount", 50); // more than the ring holds
    mesh.setTfVaryings("vec2 offset");
    mesh.resolve();

    GlFramebuffer fb(40, 10);
    fb.bindCleared();
    mesh.render(nullptr);
    EXPECT_EQ(fb.pixel(10, 5)[0], 255); // x = -0.5
    EXPECT_EQ(fb.pixel(30, 5)[0], 255); // x = +0.5
    EXPECT_EQ(fb.pixel(20, 5)[0], 0);   // nothing at the untranslated place
    EXPECT_EQ(glGetError(), GLenum(GL_NO_ERROR));

    // Without a grid of that name nothing is drawn rather than garbage.
    mesh.setProperty("instanceVBO", "nowhere");
    glClear(GL_COLOR_BUFFER_BIT);
    mesh.render(nullptr);
    EXPECT_EQ(fb.pixel(10, 5)[0], 0);
}

TEST_F(MeshFixture, AnInstancedMeshFindsAGridMadeAfterItsFirstDrawAndKeepsItsOwnLayout)
{
    useShader("#version 430 compatibility\nlayout(location = 0) in vec3 position;\n"
              "layout(location = 4) in vec2 offset;\n"
              "void main() { gl_Position = vec4(position.xy * 0.2 + offset, 0.0, 1.0); }\n",
              "#version 430 compatibility\nout vec4 c;\nvoid main() { c = vec4(1.0); }\n");
    // Declared before the item that makes the grid: it draws first.
    TestMesh mesh;
    mesh.setFile("square.obj");
    mesh.setDepthTest(false);
    mesh.setProperty("instanceVBO", "late");
    mesh.setProperty("instanceCount", 1);
    mesh.setTfVaryings("vec2 offset");
    mesh.resolve();
    GlFramebuffer fb(40, 10);
    fb.bindCleared();
    mesh.render(nullptr);
    EXPECT_EQ(fb.pixel(30, 5)[0], 0);

    Mesh* grid = gpu().vertexBuffers.add("pointGridlate");
    createCustomPointGridVBO(*grid, 1, 1, 0, true, parseVaryings("vec2 offset"));
    const float offset[2] = {0.5f, 0.0f};
    glBindBuffer(GL_ARRAY_BUFFER, feedbackInstanceBuffer(grid->records[0]));
    glBufferSubData(GL_ARRAY_BUFFER, 0, sizeof offset, offset);
    glBindBuffer(GL_ARRAY_BUFFER, 0);
    mesh.render(nullptr);
    EXPECT_EQ(fb.pixel(30, 5)[0], 255);

    // The mesh's vertex array keeps the layout it was built with; the
    // instance attributes are gone again after the draw.
    glBindVertexArray(mesh.mesh()->records[0].vertexArray);
    GLint positionOn = 0, instanceOn = 1;
    glGetVertexAttribiv(0, GL_VERTEX_ATTRIB_ARRAY_ENABLED, &positionOn);
    glGetVertexAttribiv(4, GL_VERTEX_ATTRIB_ARRAY_ENABLED, &instanceOn);
    glBindVertexArray(0);
    EXPECT_EQ(positionOn, 1);
    EXPECT_EQ(instanceOn, 0);
    EXPECT_EQ(glGetError(), GLenum(GL_NO_ERROR));
}
