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
