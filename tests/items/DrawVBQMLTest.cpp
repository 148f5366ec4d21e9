#include <GL/glew.h>

#include "gpu/GpuResources.h"
#include "items/DrawVBQML.h"

#include "gpu/Mesh.h"
#include "gpu/MeshRegistry.h"
#include "gpu/Shader.h"
#include "gpu/VertexBuffers.h"

#include "support/DemoWindow.h"
#include "support/FreshState.h"
#include "support/GlFramebuffer.h"
#include "support/GlTestContext.h"
#include "support/LogCapture.h"
#include "support/ProbeEffect.h"
#include "support/QtTestApp.h"
#include "support/RecordingNotifier.h"
#include "support/TempDemo.h"

#include <gtest/gtest.h>

#include <QQuickWindow>
#include <QSGNode>
#include <QSignalSpy>

#include <algorithm>
#include <cmath>
#include <string>

namespace {

struct TestVB : DrawVBQML {
    void resolve() { delete updatePaintNode(nullptr, nullptr); }
};

struct DrawVBFixture : FreshStateTest {
    void SetUp() override
    {
        ASSERT_TRUE(gl.ok());
        demo.enter();
        installRecordingNotifier();
    }
    void useShader(const char* vert, const char* frag)
    {
        demo.write("vb.vert", vert);
        demo.write("vb.frag", frag);
        shader.load("vb", "");
        gpu().shaders.use(&shader);
    }
    GlTestContext gl;
    TempDemo demo;
    Shader shader;
};

// Particles as a skene has them: "advance" ages each particle by one a
// capture (the seed's zeros start at 1), "show" puts every particle on the
// window's centre pixel with a red of 16 x its age.
const char* kAdvanceVert = "#version 430 compatibility\n"
                           "layout(location = 0) in vec2 inState;\n"
                           "out vec2 state;\n"
                           "void main() { state = vec2(inState.x + 1.0, 0.0); gl_Position = vec4(0.0); }\n";
const char* kShowVert = "#version 430 compatibility\n"
                        "layout(location = 0) in vec2 state;\nout float age;\n"
                        "void main() { age = state.x; gl_Position = vec4(1.0 / 64.0, 1.0 / 36.0, 0.0, 1.0); }\n";
const char* kShowFrag = "#version 430 compatibility\nin float age;\nout vec4 c;\n"
                        "void main() { c = vec4(age * 16.0 / 255.0, 0.0, 0.0, 1.0); }\n";

struct DrawVBSkene : FreshStateTest {
    DrawVBSkene()
    {
        demo.write("advance.vert", kAdvanceVert);
        demo.write("show.vert", kShowVert);
        demo.write("show.frag", kShowFrag);
        demo.enter();
    }
    // The age of the particles on the centre pixel after one more frame;
    // -1 when what is there is no particle of "show".
    static int shownAge(DemoWindow& w)
    {
        const auto pixel = w.windowPixel();
        if (pixel[1] != 0 || pixel[2] != 0)
            return -1;
        return int(std::lround(pixel[0] / 16.0));
    }
    static size_t count(const LogCapture& log, const std::string& line)
    {
        return size_t(std::count(log.lines().begin(), log.lines().end(), line));
    }
    TempDemo demo;
};

// A skene's QML: the items in the order given, under a Demo and a Scene.
std::string skene(const std::string& items)
{
    return "import QtQuick 2.15\nimport QuellinDemoSystem 1.0\n"
           "Demo {\n Scene {\n  sceneEnabled: true\n" + items + " }\n}\n";
}

} // namespace

TEST(DrawVBType, KindsAndPasses)
{
    EXPECT_EQ(DrawVBQML::bufferKind("pointGridDraw"), "pointGrid");
    EXPECT_EQ(DrawVBQML::bufferKind("drawStart"), "pointGrid");
    EXPECT_EQ(DrawVBQML::bufferKind("drawStop"), "pointGrid");
    EXPECT_EQ(DrawVBQML::bufferKind("drawUpdate"), "pointGrid");
    EXPECT_EQ(DrawVBQML::bufferKind("pointGrid"), "pointGrid");
    EXPECT_EQ(DrawVBQML::bufferKind("quad"), "quad");
    EXPECT_EQ(DrawVBQML::bufferKind("ribbon"), "ribbon");
    EXPECT_EQ(DrawVBQML::drawPass("pointGridDraw"), 1);
    EXPECT_EQ(DrawVBQML::drawPass("drawStart"), 2);
    EXPECT_EQ(DrawVBQML::drawPass("drawStop"), 3);
    EXPECT_EQ(DrawVBQML::drawPass("drawUpdate"), 0);
    EXPECT_EQ(DrawVBQML::drawPass("quad"), 0);
}

TEST_F(DrawVBFixture, QuadFillsTheTargetWithTheStandardMatrices)
{
    // Without a camera the projection is the identity; the view looks from
    // (0, 0, -1), so the view matrix moves the origin to z = -1.
    useShader("#version 430 compatibility\nlayout(location = 0) in vec3 p;\n"
              "void main() { gl_Position = vec4(p.xy * 2.0 - 1.0, 0.0, 1.0); }\n",
              "#version 430 compatibility\nuniform mat4 projectionMatrix; uniform mat4 viewMatrix;\n"
              "out vec4 c;\nvoid main() { c = vec4(projectionMatrix[0][0], -viewMatrix[3][2], 0.0, 1.0); }\n");
    TestVB quad;
    quad.setType("quad");
    quad.setBlendMode("off");
    quad.setDepthTest(false);
    quad.resolve();
    ASSERT_NE(quad.vertexBuffer(), nullptr);
    EXPECT_EQ(quad.bufferKey(), "quad0x0");
    EXPECT_EQ(quad.vertexBuffer()->kind, MeshKindQuad);
    ProbeEffect child;
    child.setParentItem(&quad);
    QSignalSpy rendered(&quad, &DrawVBQML::rendered);

    GlFramebuffer fb(6, 4);
    fb.bindCleared();
    quad.render(nullptr);
    EXPECT_EQ(fb.pixel(0, 0), (std::array<unsigned char, 4>{255, 255, 0, 255}));
    EXPECT_EQ(fb.pixel(5, 3), (std::array<unsigned char, 4>{255, 255, 0, 255}));
    EXPECT_EQ(rendered.count(), 1);
    EXPECT_EQ(child.renders, 1);
    EXPECT_EQ(quad.effectText(), "quad");
    // Blending is left on with the normal function.
    EXPECT_TRUE(glIsEnabled(GL_BLEND));
    GLint source = 0;
    glGetIntegerv(GL_BLEND_SRC_RGB, &source);
    EXPECT_EQ(source, GL_SRC_ALPHA);
    EXPECT_EQ(glGetError(), GLenum(GL_NO_ERROR));
}

TEST_F(DrawVBFixture, ItemsWithOneVboIdShareTheirGrid)
{
    TestVB update, draw;
    update.setType("drawUpdate");
    update.setVboId("sparks");
    update.setGridWidth(16);
    update.setGridHeight(8);
    update.setDrawNumPoints(100);
    draw.setType("pointGridDraw");
    draw.setVboId("sparks");
    update.resolve();
    draw.resolve();
    ASSERT_NE(update.vertexBuffer(), nullptr);
    EXPECT_EQ(update.vertexBuffer(), draw.vertexBuffer());
    EXPECT_EQ(update.bufferKey(), "pointGridsparks");
    EXPECT_EQ(gpu().vertexBuffers.find("pointGridsparks"), update.vertexBuffer());
    EXPECT_EQ(gpu().vertexBuffers.entries().size(), 1u);
    EXPECT_EQ(update.vertexBuffer()->records[0].vertexCount, 16 * 8);

    // Without a vboId, grids of one size share by size.
    TestVB a, b;
    for (TestVB* item : {&a, &b}) {
        item->setType("pointGrid");
        item->setGridWidth(64);
        item->setGridHeight(64);
        item->resolve();
    }
    EXPECT_EQ(a.bufferKey(), "pointGrid64x64");
    EXPECT_EQ(a.vertexBuffer(), b.vertexBuffer());
    EXPECT_NE(a.vertexBuffer(), update.vertexBuffer());
}

TEST_F(DrawVBFixture, DrawNumPointsChangeRebuildsInPlaceButZeroDoesNot)
{
    TestVB grid;
    grid.setType("pointGrid");
    grid.setVboId("dust");
    grid.setGridWidth(8);
    grid.setGridHeight(8);
    grid.setDrawNumPoints(10);
    grid.resolve();
    Mesh* buffer = grid.vertexBuffer();
    ASSERT_NE(buffer, nullptr);
    ASSERT_EQ(buffer->records.size(), 1u);
    const GLuint firstBuffer = buffer->records[0].vertexBuffer;
    EXPECT_EQ(buffer->seedCount, 10);

    grid.setDrawNumPoints(20);
    grid.resolve();
    EXPECT_EQ(grid.vertexBuffer(), buffer); // same cache entry
    EXPECT_EQ(buffer->seedCount, 20);
    ASSERT_EQ(buffer->records.size(), 1u);
    const GLuint secondBuffer = buffer->records[0].vertexBuffer;
    // Released: no buffer any more, unless the driver handed the freed name
    // straight out again to the new grid (Mesa does from 24 on); a name
    // still in use could never be handed out twice.
    EXPECT_TRUE(!glIsBuffer(firstBuffer) || firstBuffer == secondBuffer);

    grid.setDrawNumPoints(0);
    grid.resolve();
    EXPECT_EQ(buffer->seedCount, 20);
    EXPECT_EQ(buffer->records[0].vertexBuffer, secondBuffer);

    // A drawing item that gives no size of its own keeps the shared grid's
    // size when its point count asks for a rebuild.
    TestVB drawer;
    drawer.setType("pointGridDraw");
    drawer.setVboId("dust");
    drawer.resolve();
    drawer.setDrawNumPoints(5);
    drawer.resolve();
    EXPECT_EQ(buffer->gridWidth, 8);
    EXPECT_EQ(buffer->records[0].vertexCount, 64);
    EXPECT_EQ(buffer->seedCount, 5);
}

TEST_F(DrawVBFixture, HalfFloatChangeRebuildsAndResetReachesTheBufferOnce)
{
    TestVB grid;
    grid.setType("pointGrid");
    grid.setGridWidth(4);
    grid.setGridHeight(4);
    grid.resolve();
    Mesh* buffer = grid.vertexBuffer();
    ASSERT_NE(buffer, nullptr);
    GLint size = 0;
    glBindBuffer(GL_ARRAY_BUFFER, buffer->records[0].vertexBuffer);
    glGetBufferParameteriv(GL_ARRAY_BUFFER, GL_BUFFER_SIZE, &size);
    EXPECT_EQ(size, 16 * 20);

    grid.setProperty("halfFloats", true);
    grid.resolve();
    EXPECT_TRUE(buffer->halfFloats);
    glBindBuffer(GL_ARRAY_BUFFER, buffer->records[0].vertexBuffer);
    glGetBufferParameteriv(GL_ARRAY_BUFFER, GL_BUFFER_SIZE, &size);
    glBindBuffer(GL_ARRAY_BUFFER, 0);
    EXPECT_EQ(size, 16 * 10);

    grid.resetParticles();
    EXPECT_FALSE(buffer->resetRequested); // only at the next synchronisation
    grid.resolve();
    EXPECT_TRUE(buffer->resetRequested);
    // Only a capture spends it; this grid has none.
    drawMesh(*buffer, 0, gpu().feedback, gpu().shaders.current());
    EXPECT_TRUE(buffer->resetRequested);
    buffer->resetRequested = false;
    grid.resolve();
    EXPECT_FALSE(buffer->resetRequested);
}

TEST_F(DrawVBFixture, ItemLeavingASharedBufferLeavesItsFlagsAlone)
{
    TestVB leaver, stayer;
    for (TestVB* item : {&leaver, &stayer}) {
        item->setType("pointGrid");
        item->setVboId("shared");
        item->setGridWidth(4);
        item->setGridHeight(4);
        item->resolve();
    }
    Mesh* shared = stayer.vertexBuffer();
    ASSERT_EQ(leaver.vertexBuffer(), shared);
    const GLuint sharedData = shared->records[0].vertexBuffer;

    // Moves to a buffer of its own and asks for half floats there.
    leaver.setVboId("own");
    leaver.setProperty("halfFloats", true);
    leaver.resolve();
    EXPECT_NE(leaver.vertexBuffer(), shared);
    EXPECT_TRUE(leaver.vertexBuffer()->halfFloats);
    EXPECT_FALSE(shared->halfFloats);
    EXPECT_EQ(shared->records[0].vertexBuffer, sharedData); // not rebuilt either
}

TEST_F(DrawVBFixture, ResetParticlesAsksForTheNextSynchronisation)
{
    // In a window, where only an item that asked for an update is synchronised.
    struct CountingVB : DrawVBQML {
        int syncs = 0;
        QSGNode* updatePaintNode(QSGNode* node, UpdatePaintNodeData* data) override
        {
            ++syncs;
            return DrawVBQML::updatePaintNode(node, data);
        }
    };
    QQuickWindow window;
    window.resize(16, 16);
    CountingVB* quad = new CountingVB;
    quad->setParentItem(window.contentItem());
    quad->setType("quad");
    window.show();
    ASSERT_TRUE(waitUntil([&] { return quad->vertexBuffer() != nullptr; }));
    waitUntil([] { return false; }, 100); // let every pending frame pass
    const int syncs = quad->syncs;

    quad->resetParticles();
    ASSERT_TRUE(waitUntil([&] { return quad->syncs > syncs; }));
    EXPECT_TRUE(quad->vertexBuffer()->resetRequested);
}

TEST_F(DrawVBFixture, TrianglesSwitchThePrimitiveAndZeroGridsHaveNoBuffer)
{
    useShader("#version 430 compatibility\nlayout(location = 0) in vec3 p;\n"
              "void main() { gl_Position = vec4(p.xy * 2.0 - 1.0, 0.0, 1.0); }\n",
              "#version 430 compatibility\nout vec4 c;\nvoid main() { c = vec4(1.0); }\n");
    TestVB grid;
    grid.setType("pointGrid");
    grid.setGridWidth(2);
    grid.setGridHeight(2);
    grid.setPrimType("lines");
    grid.setDepthTest(false);
    grid.resolve();
    ASSERT_NE(grid.vertexBuffer(), nullptr);
    GlFramebuffer fb(4, 4);
    fb.bind();
    grid.render(nullptr);
    EXPECT_EQ(grid.vertexBuffer()->records[0].primitiveMode, GLenum(GL_POINTS));
    grid.setPrimType("triangles");
    grid.render(nullptr);
    EXPECT_EQ(grid.vertexBuffer()->records[0].primitiveMode, GLenum(GL_TRIANGLES));
    EXPECT_EQ(glGetError(), GLenum(GL_NO_ERROR));

    // A grid without a size is never made, and the item renders nothing.
    TestVB empty;
    empty.setType("pointGrid");
    empty.setGridWidth(16);
    empty.resolve();
    EXPECT_EQ(empty.vertexBuffer(), nullptr);
    ProbeEffect child;
    child.setParentItem(&empty);
    empty.render(nullptr);
    EXPECT_EQ(child.renders, 0);

    // An unknown type gets an empty buffer that draws nothing.
    TestVB odd;
    odd.setType("ribbon");
    odd.resolve();
    ASSERT_NE(odd.vertexBuffer(), nullptr);
    EXPECT_TRUE(odd.vertexBuffer()->records.empty());
    odd.render(nullptr);
    EXPECT_EQ(glGetError(), GLenum(GL_NO_ERROR));
}

TEST_F(DrawVBFixture, SettersNotifyOnlyOnChange)
{
    DrawVBQML item;
    QSignalSpy widths(&item, &DrawVBQML::gridWidthChanged);
    QSignalSpy resets(&item, &DrawVBQML::resetChanged);
    QSignalSpy varyings(&item, &DrawVBQML::tfVaryingsChanged);
    item.setGridWidth(3);
    item.setGridWidth(3);
    item.setReset(1.0f);
    item.setReset(1.0f);
    item.setTfVaryings("vec3 pos");
    item.setTfVaryings("vec3 pos"); // always notifies
    EXPECT_EQ(widths.count(), 1);
    EXPECT_EQ(resets.count(), 1);
    EXPECT_EQ(varyings.count(), 2);
    EXPECT_EQ(item.getEffectName(), "DrawVB");
}

TEST_F(DrawVBFixture, AnUpdateItemAdvancesTheParticlesThatADrawItemShows)
{
    // The update moves each particle one pixel column right a frame; the
    // draw puts it at its column.
    demo.write("advance.vert", "#version 430 compatibility\nlayout(location = 0) in vec2 inState;\n"
                               "out vec2 state;\nvoid main() { state = vec2(inState.x + 1.0, 0.0); }\n");
    Shader advance;
    advance.setTransformFeedbackVaryings("vec2 state");
    ASSERT_TRUE(advance.load("advance", ""));
    useShader("#version 430 compatibility\nlayout(location = 0) in vec2 state;\n"
              "void main() { gl_Position = vec4(state.x * 0.25 - 0.875, 0.0, 0.0, 1.0); }\n",
              "#version 430 compatibility\nout vec4 c;\nvoid main() { c = vec4(1.0); }\n");

    TestVB update, draw;
    update.setType("drawUpdate");
    update.setGridWidth(8);
    update.setGridHeight(1);
    update.setDrawNumPoints(2);
    draw.setType("pointGridDraw");
    for (TestVB* item : {&update, &draw}) {
        item->setVboId("sparks");
        item->setTfVaryings("vec2 state");
        item->setDepthTest(false);
        item->resolve();
    }
    GlFramebuffer fb(8, 1);
    std::string row;
    for (int frame = 0; frame < 3; ++frame) {
        fb.bindCleared();
        gpu().shaders.use(&advance);
        update.render(nullptr);
        // The capture wrote what the next pass reads: it asks for a
        // barrier, which that pass takes.
        EXPECT_TRUE(gpu().feedback.writesPending);
        gpu().shaders.use(&shader);
        draw.render(nullptr);
        EXPECT_FALSE(gpu().feedback.writesPending);
    }
    for (int x = 0; x < 8; ++x)
        row += fb.pixel(x, 0)[0] ? '#' : '.';
    // Two seeds at x = 1, moved twice; the draw shows what the update
    // captured just before it.
    EXPECT_EQ(row, "...#....");
    EXPECT_EQ(draw.particleCount(), 2);
    EXPECT_EQ(glGetError(), GLenum(GL_NO_ERROR));
}

// The layout an author writes first: the item that updates the particles
// (with the grid's size and varyings) and then the one that shows them,
// naming only the vboId. Qt synchronises the second one first.
TEST_F(DrawVBSkene, ADrawItemAfterTheUpdateItemShowsTheNewestParticles)
{
    DemoWindow w(skene(R"(
  Shader { file: "advance"; tfVaryings: "vec2 state"
    DrawVB { objectName: "update"; type: "drawUpdate"; vboId: "sparks"; gridWidth: 8; gridHeight: 1
             drawNumPoints: 2; tfVaryings: "vec2 state"; depthTest: false } }
  Shader { file: "show"
    DrawVB { objectName: "draw"; type: "pointGridDraw"; vboId: "sparks"; depthTest: false } }
)").c_str());
    ASSERT_TRUE(w.demo);
    auto* draw = w.find<DrawVBQML>("draw");
    ASSERT_TRUE(draw);
    // Frame 1 seeded, frames 2 and 3 carried on; the fourth captures and
    // shows what it captured.
    w.frames(2);
    EXPECT_EQ(shownAge(w), 4);
    EXPECT_EQ(draw->vertexBuffer(), w.find<DrawVBQML>("update")->vertexBuffer());
    EXPECT_EQ(draw->particleCount(), 2);
}

TEST_F(DrawVBSkene, DrawStartAndStopCarryTheParticlesFromFrameToFrame)
{
    LogCapture log;
    DemoWindow w(skene(R"(
  Shader { file: "advance"; tfVaryings: "vec2 state"
    DrawVB { type: "drawStart"; vboId: "sparks"; gridWidth: 8; gridHeight: 1; drawNumPoints: 2
             tfVaryings: "vec2 state"; depthTest: false }
    DrawVB { objectName: "stop"; type: "drawStop"; vboId: "sparks" } }
  Shader { file: "show"
    DrawVB { type: "pointGridDraw"; vboId: "sparks"; depthTest: false } }
)").c_str());
    ASSERT_TRUE(w.demo);
    auto* stop = w.find<DrawVBQML>("stop");
    ASSERT_TRUE(stop);
    EXPECT_EQ(shownAge(w), 2);
    w.frames(2);
    EXPECT_EQ(shownAge(w), 5);
    EXPECT_EQ(stop->particleCount(), 2);
    EXPECT_EQ(count(log, "TransformFeedback: a capture was left running at the end of the frame; ended it"), 0u);
}

TEST_F(DrawVBSkene, ASharerThatDeclaresNoVaryingsLeavesTheGridsLayoutAlone)
{
    DemoWindow w(skene(R"(
  Shader { file: "advance"; tfVaryings: "vec2 state"
    DrawVB { objectName: "update"; type: "drawUpdate"; vboId: "sparks"; gridWidth: 8; gridHeight: 1
             drawNumPoints: 2; intPack: true; tfVaryings: "vec2 state"; depthTest: false } }
  Shader { file: "show"
    DrawVB { objectName: "draw"; type: "pointGridDraw"; vboId: "sparks"; depthTest: false } }
)").c_str());
    ASSERT_TRUE(w.demo);
    auto* draw = w.find<DrawVBQML>("draw");
    ASSERT_TRUE(draw);
    // A binding on blendMode sets it before every frame.
    for (int frame = 0; frame < 3; ++frame) {
        draw->setBlendMode("off");
        w.frames(1);
    }
    draw->setBlendMode("off");
    EXPECT_EQ(shownAge(w), 5);
    Mesh* grid = draw->vertexBuffer();
    ASSERT_TRUE(grid);
    EXPECT_EQ(grid->layoutVaryings.size(), 1u);
    EXPECT_TRUE(grid->intPack);

    // A point count of its own rebuilds the grid, but in the owner's layout.
    draw->setDrawNumPoints(1);
    w.frames(1);
    ASSERT_EQ(grid->records.size(), 1u);
    EXPECT_TRUE(grid->records[0].transformFeedback);
    EXPECT_EQ(grid->layoutVaryings.size(), 1u);
    EXPECT_EQ(shownAge(w), 2);
}

// Drawn before it is updated: the display pass must not spend the request
// that the update's capture needs.
TEST_F(DrawVBSkene, AResetRequestReseedsWhicheverItemDrawsFirst)
{
    DemoWindow w(skene(R"(
  Shader { file: "show"
    DrawVB { type: "pointGridDraw"; vboId: "sparks"; depthTest: false } }
  Shader { file: "advance"; tfVaryings: "vec2 state"
    DrawVB { objectName: "update"; type: "drawUpdate"; vboId: "sparks"; gridWidth: 8; gridHeight: 1
             drawNumPoints: 2; tfVaryings: "vec2 state"; depthTest: false } }
)").c_str());
    ASSERT_TRUE(w.demo);
    auto* update = w.find<DrawVBQML>("update");
    ASSERT_TRUE(update);
    w.frames(2);
    EXPECT_EQ(shownAge(w), 3); // the capture of the frame before
    ASSERT_TRUE(QMetaObject::invokeMethod(update, "resetParticles"));
    w.frames(1);
    EXPECT_EQ(shownAge(w), 1);
    EXPECT_EQ(shownAge(w), 2);
}

// Half floats hold two values a word: a shader that captures 32-bit floats
// into such a grid writes twice what its items hold. One that packs its
// halves fills it exactly.
TEST_F(DrawVBSkene, HalfFloatGridsCaptureOnlyWhatTheirItemsHold)
{
    demo.write("packed.vert", "#version 430 compatibility\nlayout(location = 0) in vec2 inState;\n"
                              "out uint state;\n"
                              "void main() { state = packHalf2x16(vec2(inState.x + 1.0, 0.0)); gl_Position = vec4(0.0); }\n");
    LogCapture log;
    DemoWindow w(skene(R"(
  Shader { file: "advance"; tfVaryings: "vec2 state"
    DrawVB { objectName: "floats"; type: "drawUpdate"; vboId: "floats"; gridWidth: 16; gridHeight: 1
             halfFloats: true; tfVaryings: "vec2 state"; depthTest: false } }
  Shader { file: "packed"; tfVaryings: "uint state"
    DrawVB { objectName: "halves"; type: "drawUpdate"; vboId: "halves"; gridWidth: 16; gridHeight: 1
             halfFloats: true; tfVaryings: "vec2 state"; depthTest: false } }
  Shader { file: "show"
    DrawVB { type: "pointGridDraw"; vboId: "halves"; depthTest: false } }
)").c_str());
    ASSERT_TRUE(w.demo);
    w.frames(2);
    EXPECT_EQ(shownAge(w), 4);
    auto* floats = w.find<DrawVBQML>("floats");
    auto* halves = w.find<DrawVBQML>("halves");
    ASSERT_TRUE(floats && halves);
    EXPECT_EQ(floats->particleCount(), 0);
    EXPECT_EQ(halves->particleCount(), 16);
    EXPECT_EQ(count(log, "TransformFeedback: the grid's items hold 4 bytes, the shader captures 8 an item; "
                         "the particles are not updated"),
              1u);
}

// A live edit of the varyings: the Shader gets a program that captures one
// more value, the item the matching declaration.
TEST_F(DrawVBSkene, EditingTfVaryingsRebuildsTheGridsLayout)
{
    demo.write("advance2.vert", "#version 430 compatibility\nlayout(location = 0) in vec2 inState;\n"
                                "out vec2 state;\nout vec2 spare;\n"
                                "void main() { state = vec2(inState.x + 1.0, 0.0); spare = vec2(7.0);\n"
                                "  gl_Position = vec4(0.0); }\n");
    DemoWindow w(skene(R"(
  Shader { objectName: "shader"; file: "advance"; tfVaryings: "vec2 state"
    DrawVB { objectName: "update"; type: "drawUpdate"; vboId: "sparks"; gridWidth: 8; gridHeight: 1
             drawNumPoints: 2; tfVaryings: "vec2 state"; depthTest: false } }
  Shader { file: "show"
    DrawVB { type: "pointGridDraw"; vboId: "sparks"; depthTest: false } }
)").c_str());
    ASSERT_TRUE(w.demo);
    auto* shader = w.find<QQuickItem>("shader");
    auto* update = w.find<DrawVBQML>("update");
    ASSERT_TRUE(shader && update);
    w.frames(1);
    EXPECT_EQ(shownAge(w), 3);

    shader->setProperty("tfVaryings", "vec2 state; vec2 spare");
    shader->setProperty("file", "advance2");
    update->setProperty("tfVaryings", "vec2 state; vec2 spare");
    EXPECT_EQ(shownAge(w), 1); // the new layout starts from the seed
    EXPECT_EQ(shownAge(w), 2);
    ASSERT_TRUE(update->vertexBuffer());
    EXPECT_EQ(update->vertexBuffer()->layoutVaryings.size(), 2u);
    EXPECT_EQ(update->particleCount(), 2);
}
