#include <GL/glew.h>

#include "gpu/GpuResources.h"
#include "items/RenderTargetQML.h"

#include "gpu/RenderTarget.h"
#include "gpu/RenderTargetRegistry.h"
#include "gpu/Shader.h"
#include "items/ClearQML.h"
#include "items/DrawVBQML.h"
#include "items/RenderTargetLayerQML.h"
#include "items/ShadeQML.h"
#include "items/TextureQML.h"
#include "state/DemoDisplay.h"
#include "state/FrameState.h"

#include "support/DemoWindow.h"
#include "support/FreshState.h"
#include "support/GlFramebuffer.h"
#include "support/GlTestContext.h"
#include "support/LogCapture.h"
#include "support/ProbeEffect.h"
#include "support/TempDemo.h"

#include <gtest/gtest.h>

#include <QSGNode>

#include <algorithm>
#include <array>
#include <memory>
#include <string>

namespace {

struct TestShade : ShadeQML {
    void resolve() { delete updatePaintNode(nullptr, nullptr); }
};
struct TestVB : DrawVBQML {
    void resolve() { delete updatePaintNode(nullptr, nullptr); }
};

using Rgba = std::array<unsigned char, 4>;

struct RenderTargetItems : FreshStateTest {
    void SetUp() override
    {
        ASSERT_TRUE(gl.ok());
        demo.enter();
        demoDisplay().width = 8;
        demoDisplay().height = 8;
    }
    // A layer named name with a clear to (r, g, b) on it, under rt.
    RenderTargetLayerQML* addLayer(RenderTargetQML& rt, const char* name, float r, float g, float b)
    {
        auto* layer = new RenderTargetLayerQML(&rt);
        layer->setParentItem(&rt);
        layer->setTextureRT(name);
        auto* clear = new ClearQML(layer);
        clear->setParentItem(layer);
        clear->setCR(r);
        clear->setCG(g);
        clear->setCB(b);
        return layer;
    }
    static size_t count(const LogCapture& log, const std::string& line)
    {
        return size_t(std::count(log.lines().begin(), log.lines().end(), line));
    }

    GlTestContext gl;
    TempDemo demo;
};

// Skenes as their authors write them, in a Demo's frames. "green" and "red"
// fill what they draw into; "sample" shows the texture on unit 0.
struct RenderTargetSkene : FreshStateTest {
    RenderTargetSkene()
    {
        const char* quad = "#version 430 compatibility\nlayout(location = 0) in vec3 p;\nout vec2 uv;\n"
                           "void main() { uv = p.xy; gl_Position = vec4(p.xy * 2.0 - 1.0, 0.0, 1.0); }\n";
        for (const char* name : {"green", "red", "sample"})
            demo.write(std::string(name) + ".vert", quad);
        demo.write("green.frag", "#version 430 compatibility\nout vec4 c;\nvoid main() { c = vec4(0, 1, 0, 1); }\n");
        demo.write("red.frag", "#version 430 compatibility\nout vec4 c;\nvoid main() { c = vec4(1, 0, 0, 1); }\n");
        demo.write("sample.frag", "#version 430 compatibility\nin vec2 uv;\nuniform sampler2D tex;\nout vec4 c;\n"
                                  "void main() { c = vec4(texture(tex, uv).rgb, 1.0); }\n");
        demo.enter();
    }
    // A Demo with one skene of the items given; the skene counts the renders
    // of its "red" quads in redDraws. Frames draw offscreen from the first.
    std::unique_ptr<DemoWindow> open(const std::string& items)
    {
        const std::string qml = "import QtQuick 2.15\nimport QuellinDemoSystem 1.0\n"
                                "Demo {\n Scene {\n  id: skene\n  objectName: \"skene\"\n  sceneEnabled: true\n"
                                "  property int redDraws: 0\n" + items + " }\n}\n";
        auto w = std::make_unique<DemoWindow>(qml.c_str(), 64, 36, [](DemoWindow& window) {
            window.beforeFrame = [] { frameState().shadersSettled = true; };
        });
        w->afterFrame = [this] {
            glError = glGetError();
            if (RenderTarget* t = gpu().targets.find(watched))
                watchedPixel = {t->readPixels()[0], t->readPixels()[1], t->readPixels()[2]};
        };
        return w;
    }
    static int redDraws(DemoWindow& w) { return w.find<QQuickItem>("skene")->property("redDraws").toInt(); }
    static size_t count(const LogCapture& log, const std::string& line)
    {
        return size_t(std::count(log.lines().begin(), log.lines().end(), line));
    }

    TempDemo demo;
    // The target whose first pixel each frame reads back, and what it read.
    std::string watched;
    std::array<float, 3> watchedPixel = {-1, -1, -1};
    GLenum glError = GL_NO_ERROR;
};

const char* const kGreenPicture = R"(
  Shader { file: "green"; DrawVB { type: "quad"; depthTest: false } }
)";
const char* const kRedQuad = R"(
    Shader { file: "red"; DrawVB { type: "quad"; depthTest: false; onRendered: skene.redDraws++ } }
)";

} // namespace

TEST_F(RenderTargetItems, TargetsFollowTheWindowTheirFormatAndTheirSampleCount)
{
    LogCapture log;
    RenderTargetQML following, fixed;
    RenderTargetLayerQML* layer = addLayer(following, "win", 0, 0, 0);
    RenderTargetLayerQML* fixedLayer = addLayer(fixed, "fixed", 0, 0, 0);
    fixedLayer->setLayerWidth(16);
    fixedLayer->setLayerHeight(4);
    following.render(nullptr);
    fixed.render(nullptr);
    EXPECT_TRUE(log.contains("Creating new RT: win"));
    RenderTarget* win = gpu().targets.find("win");
    RenderTarget* kept = gpu().targets.find("fixed");
    ASSERT_TRUE(win && kept);
    EXPECT_EQ(win->width(), 8);
    EXPECT_EQ(win->internalFormat(), GLenum(GL_RGBA16F));
    const GLuint keptTexture = kept->colorTexture();

    // A wider window re-makes only the target that follows it.
    demoDisplay().width = 32;
    demoDisplay().height = 18;
    following.render(nullptr);
    fixed.render(nullptr);
    EXPECT_EQ(win->width(), 32);
    EXPECT_EQ(win->height(), 18);
    EXPECT_EQ(kept->colorTexture(), keptTexture);
    EXPECT_EQ(kept->width(), 16);

    layer->setFormat("R32F");
    layer->setFormat("no such format"); // leaves R32F
    EXPECT_EQ(layer->format(), "R32F");
    following.render(nullptr);
    following.render(nullptr);
    EXPECT_EQ(count(log, "re-creating texture after format change!"), 1u);
    EXPECT_EQ(win->internalFormat(), GLenum(GL_R32F));

    layer->setSamples(4);
    following.render(nullptr);
    following.render(nullptr);
    EXPECT_EQ(count(log, "re-creating texture after samples count change!"), 1u);
    EXPECT_TRUE(win->multisample());
    EXPECT_TRUE(win->complete());
    EXPECT_EQ(glGetError(), GLenum(GL_NO_ERROR));
}

TEST_F(RenderTargetItems, SharedNamesShareATargetAndChildrenRenderIntoTheLastLayer)
{
    GlFramebuffer window(8, 8);
    window.bind();
    RenderTargetQML first, second;
    addLayer(first, "shared", 1, 0, 0);
    RenderTargetLayerQML* other = addLayer(second, "shared", 1, 0, 0);
    other->setLayerWidth(4); // the second one's settings win
    first.render(nullptr);
    second.render(nullptr);
    EXPECT_EQ(first.target(), second.target());
    EXPECT_EQ(gpu().targets.find("shared")->width(), 4);

    RenderTargetQML twoLayers;
    addLayer(twoLayers, "under", 1, 0, 0);
    addLayer(twoLayers, "over", 0, 1, 0);
    addLayer(twoLayers, "", 0, 0, 1); // no name: skipped
    GLint drawnInto = -1;
    ProbeEffect probe;
    probe.setParentItem(&twoLayers);
    probe.onRender = [&] { glGetIntegerv(GL_DRAW_FRAMEBUFFER_BINDING, &drawnInto); };
    twoLayers.render(nullptr);
    RenderTarget* over = gpu().targets.find("over");
    EXPECT_EQ(drawnInto, GLint(over->framebuffer()));
    EXPECT_FLOAT_EQ(gpu().targets.find("under")->readPixels()[0], 1.0f); // made and cleared too
    EXPECT_FLOAT_EQ(over->readPixels()[1], 1.0f);
    EXPECT_EQ(gpu().targets.find(""), nullptr);

    // Without a layer the children draw into whatever is bound.
    RenderTargetQML none;
    probe.setParentItem(&none);
    none.render(nullptr);
    EXPECT_EQ(drawnInto, GLint(window.name()));
}

TEST_F(RenderTargetItems, BlitSeedsTheTargetFromTheDemoFramebuffer)
{
    GlFramebuffer demoImage(8, 8);
    demoImage.bindCleared(1, 1, 0, 1);
    frameState().windowFramebuffer = demoImage.name();
    demo.write("keep.vert", "#version 430 compatibility\nvoid main() { gl_Position = ftransform(); }\n");
    demo.write("keep.frag", "#version 430 compatibility\nout vec4 c;\nvoid main() { c = vec4(1.0); }\n");
    Shader shader;
    shader.load("keep", "");
    gpu().shaders.use(&shader);

    RenderTargetQML rt;
    RenderTargetLayerQML layer(&rt);
    layer.setParentItem(&rt);
    layer.setTextureRT("seeded");
    layer.setLayerWidth(4);
    layer.setLayerHeight(4);
    layer.setBlitRT(0);
    rt.render(nullptr);

    const std::vector<float>& seeded = gpu().targets.find("seeded")->readPixels();
    EXPECT_FLOAT_EQ(seeded[0], 1.0f);
    EXPECT_FLOAT_EQ(seeded[1], 1.0f);
    EXPECT_FLOAT_EQ(seeded[2], 0.0f);
    EXPECT_EQ(rt.effectText(), "<br>Blit from:0 to:seeded");
    GLint program = 0, drawn = 0;
    glGetIntegerv(GL_CURRENT_PROGRAM, &program);
    glGetIntegerv(GL_DRAW_FRAMEBUFFER_BINDING, &drawn);
    EXPECT_EQ(GLuint(program), shader.program());
    EXPECT_EQ(drawn, GLint(demoImage.name()));

    layer.setBlitRT(7); // no such attachment: no copy, no GL error
    rt.render(nullptr);
    EXPECT_EQ(glGetError(), GLenum(GL_NO_ERROR));
}

TEST_F(RenderTargetItems, RenderedIntoATextureThenPostProcessedOnAQuad)
{
    const char* quadVert = "#version 430 compatibility\nlayout(location = 0) in vec3 p;\nout vec2 uv;\n"
                           "void main() { uv = p.xy; gl_Position = vec4(p.xy * 2.0 - 1.0, 0.0, 1.0); }\n";
    demo.write("fill.vert", quadVert);
    demo.write("post.vert", quadVert);
    // Red on the left half of the target; the right half keeps the clear.
    demo.write("fill.frag", "#version 430 compatibility\nin vec2 uv;\nout vec4 c;\n"
                            "void main() { if (uv.x > 0.5) discard; c = vec4(1.0, 0.0, 0.0, 1.0); }\n");
    // Swaps channels, so the picture on screen can only come from the target.
    demo.write("post.frag", "#version 430 compatibility\nin vec2 uv;\nuniform sampler2D tex;\nout vec4 c;\n"
                            "void main() { vec4 s = texture(tex, uv); c = vec4(s.b, s.r, 0.0, 1.0); }\n");
    QQuickItem skene;
    skene.setProperty("sceneDir", "");

    RenderTargetQML rt;
    rt.setParentItem(&skene);
    addLayer(rt, "scene", 0, 0, 1);
    TestShade fill;
    fill.setParentItem(&rt);
    fill.setFile("fill");
    TestVB fillQuad;
    fillQuad.setParentItem(&fill);

    TestShade post;
    post.setParentItem(&skene);
    post.setFile("post");
    TestVB postQuad;
    postQuad.setParentItem(&post);
    TextureQML texture; // bound in place, just before the quad draws
    texture.setParentItem(&postQuad);
    texture.setTextureRT("scene");
    texture.setTextureFilter("nearest");
    for (TestVB* quad : {&fillQuad, &postQuad}) {
        quad->setType("quad");
        quad->setBlendMode("off");
        quad->setDepthTest(false);
        quad->resolve();
    }
    fill.resolve();
    post.resolve();

    GlFramebuffer window(8, 8);
    window.bindCleared(0, 0, 0, 1);
    rt.render(nullptr);
    post.render(nullptr);
    EXPECT_EQ(window.pixel(1, 4), (Rgba{0, 255, 0, 255})); // red in the target
    EXPECT_EQ(window.pixel(6, 4), (Rgba{255, 0, 0, 255})); // the target's blue clear
    EXPECT_EQ(glGetError(), GLenum(GL_NO_ERROR));
}

// A layer without a size has no target: what its item's children draw must
// not land on the demo's picture, nor in the target of a layer before it.
TEST_F(RenderTargetSkene, ALayerThatCannotHaveATargetDrawsItsChildrenNowhere)
{
    LogCapture log;
    watched = "good";
    auto w = open(std::string(kGreenPicture) + R"(
  RenderTarget { RenderTargetLayer { textureRT: "flat"; width: 0; height: 4 } )" + kRedQuad + R"( }
  RenderTarget {
    RenderTargetLayer { textureRT: "good"; width: 4; height: 4; Clear { cB: 1; cA: 1 } }
    RenderTargetLayer { textureRT: "flat2"; width: 4; height: 0 } )" + kRedQuad + R"( }
)");
    w->frames(2);
    EXPECT_EQ(w->windowPixel(), (Rgba{0, 255, 0, 255}));
    EXPECT_EQ(watchedPixel, (std::array<float, 3>{0, 0, 1})); // cleared, not drawn over
    EXPECT_EQ(redDraws(*w), 8); // the children still ran, both, every frame
    EXPECT_EQ(glError, GLenum(GL_NO_ERROR));
    EXPECT_EQ(count(log, "RenderTargetLayer: width 0 makes no target; -1 follows the window"), 1u);
}

// A size beyond what GL allows: the target is tried once, and the children
// go on running (cameras, counters, particles among them) drawing nowhere.
TEST_F(RenderTargetSkene, ATargetGlRefusesIsTriedOnceAndItsChildrenStillRun)
{
    LogCapture log;
    auto w = open(std::string(kGreenPicture) + R"(
  RenderTarget { RenderTargetLayer { textureRT: "huge"; width: 100000; height: 4 } )" + kRedQuad + R"( }
)");
    w->frames(3);
    EXPECT_EQ(w->windowPixel(), (Rgba{0, 255, 0, 255}));
    EXPECT_EQ(redDraws(*w), 5);
    EXPECT_EQ(glError, GLenum(GL_NO_ERROR));
    EXPECT_EQ(count(log, "render target size out of range: 100000 x 4"), 1u);
}

TEST_F(RenderTargetSkene, AMultisampledLayerKeepsItsSeed)
{
    watched = "seeded";
    auto w = open(std::string(kGreenPicture) + R"(
  RenderTarget { RenderTargetLayer { textureRT: "seeded"; width: 8; height: 8; samples: 4; blitRT: 0 } }
)");
    w->frames(2);
    EXPECT_EQ(watchedPixel, (std::array<float, 3>{0, 1, 0}));
    EXPECT_EQ(glError, GLenum(GL_NO_ERROR));
}

// Two items name one target with different formats: the second one's
// format wins, once, and the target is not re-made frame after frame.
TEST_F(RenderTargetSkene, TwoLayersOfOneNameAgreeOnTheLaterOnesSettings)
{
    LogCapture log;
    auto w = open(R"(
  RenderTarget { RenderTargetLayer { textureRT: "shared"; width: 4; height: 4; format: "RGBA16F" } }
  RenderTarget { RenderTargetLayer { textureRT: "shared"; width: 4; height: 4; format: "R32F" } }
)");
    GLuint texture = 0;
    GLenum format = 0;
    w->afterFrame = [&] {
        texture = gpu().targets.find("shared")->colorTexture();
        format = gpu().targets.find("shared")->internalFormat();
    };
    w->frames(1);
    const GLuint settled = texture;
    w->frames(3);
    EXPECT_EQ(texture, settled);
    EXPECT_EQ(format, GLenum(GL_R32F));
    EXPECT_EQ(count(log, "re-creating texture after format change!"), 1u);
    EXPECT_EQ(count(log, "RenderTargetLayer: two layers name shared with different settings; the later one's are used"),
              1u);
}

// A unit GL does not have is refused: the texture bound to unit 0 for the
// quad stays the one the item before bound there.
TEST_F(RenderTargetSkene, ATextureUnitOutOfRangeIsRefused)
{
    LogCapture log;
    auto w = open(R"(
  RenderTarget { RenderTargetLayer { textureRT: "blue"; width: 4; height: 4; Clear { cB: 1; cA: 1 } } }
  RenderTarget { RenderTargetLayer { textureRT: "red"; width: 4; height: 4; Clear { cR: 1; cA: 1 } } }
  Texture { textureRT: "blue"; textureUnit: 0 }
  Texture { textureRT: "red"; textureUnit: -1 }
  Texture { textureRT: "red"; textureUnit: 100000 }
  Shader { file: "sample"; DrawVB { type: "quad"; depthTest: false } }
)");
    w->frames(2);
    EXPECT_EQ(w->windowPixel(), (Rgba{0, 0, 255, 255}));
    EXPECT_EQ(glError, GLenum(GL_NO_ERROR));
    EXPECT_EQ(std::count_if(log.lines().begin(), log.lines().end(),
                            [](const std::string& line) { return line.rfind("Texture: textureUnit -1 is outside", 0) == 0; }),
              1);
    EXPECT_EQ(std::count_if(log.lines().begin(), log.lines().end(),
                            [](const std::string& line) { return line.rfind("Texture: textureUnit 100000 is outside", 0) == 0; }),
              1);
}
