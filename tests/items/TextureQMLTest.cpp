#include <GL/glew.h>

#include "gpu/GpuResources.h"
#include "items/TextureQML.h"

#include "gpu/GlewSetup.h"
#include "gpu/RenderTarget.h"
#include "gpu/RenderTargetRegistry.h"
#include "state/FrameState.h"

#include "support/FreshState.h"
#include "support/GlFramebuffer.h"
#include "support/GlTestContext.h"
#include "support/QtTestApp.h"
#include "support/TempDemo.h"

#include <gtest/gtest.h>

#include <QImage>
#include <QQmlComponent>
#include <QQmlEngine>
#include <QQuickWindow>
#include <QSGTextureProvider>

#include <memory>

namespace {

struct TextureItem : FreshStateTest {
    void SetUp() override { ASSERT_TRUE(gl.ok()); }
    // A target under name, cleared to (r, g, b, a).
    RenderTarget& target(const char* name, int w, int h, float r, float g, float b, float a)
    {
        RenderTarget* t = gpu().targets.add(name);
        t->release();
        t->create(GL_RGBA32F, w, h, nullptr, false, 1);
        t->createFramebuffer(false);
        t->bind();
        glClearColor(r, g, b, a);
        glClear(GL_COLOR_BUFFER_BIT);
        t->unbind();
        return *t;
    }
    static GLint get(GLenum what)
    {
        GLint v = -1;
        glGetIntegerv(what, &v);
        return v;
    }
    static GLint texParameter(GLenum what)
    {
        GLint v = -1;
        glGetTexParameteriv(GL_TEXTURE_2D, what, &v);
        return v;
    }
    GlTestContext gl;
    GlFramebuffer window{8, 8};
};

} // namespace

TEST_F(TextureItem, BindsNamedTargetsTheFrameDepthAndImageUnits)
{
    RenderTarget& rt = target("glow", 4, 4, 0, 0, 0, 1);
    TextureQML texture;
    texture.setTextureRT("glow");
    texture.setTextureUnit(3);
    texture.setTextureWrap("clamp");
    texture.setTextureFilter("nearest");
    texture.render(nullptr);
    EXPECT_EQ(get(GL_ACTIVE_TEXTURE), GL_TEXTURE3);
    EXPECT_EQ(get(GL_TEXTURE_BINDING_2D), GLint(rt.colorTexture()));
    EXPECT_EQ(texParameter(GL_TEXTURE_WRAP_S), GL_CLAMP_TO_EDGE);
    EXPECT_EQ(texParameter(GL_TEXTURE_MIN_FILTER), GL_NEAREST);
    EXPECT_EQ(texture.renderTarget(), &rt);
    EXPECT_EQ(texture.effectText(), "glow");
    GLint image = -1;
    glGetIntegeri_v(GL_IMAGE_BINDING_NAME, 2, &image);
    EXPECT_EQ(image, 0); // imageUnit -1: no image binding

    texture.setImageUnit(2);
    texture.render(nullptr);
    glGetIntegeri_v(GL_IMAGE_BINDING_NAME, 2, &image);
    EXPECT_EQ(image, GLint(rt.colorTexture()));
    glGetIntegeri_v(GL_IMAGE_BINDING_FORMAT, 2, &image);
    EXPECT_EQ(image, GL_RGBA32F);

    // An unknown name binds nothing and keeps the target found before.
    texture.setTextureRT("nowhere");
    glBindTexture(GL_TEXTURE_2D, 0);
    texture.render(nullptr);
    EXPECT_EQ(get(GL_TEXTURE_BINDING_2D), 0);
    EXPECT_EQ(texture.renderTarget(), &rt);

    // The frame's depth: bound, but never a render target to read back,
    // even when a target of that name exists.
    target("mainDepth", 4, 4, 1, 1, 1, 1);
    GLuint depth = 0;
    glGenTextures(1, &depth);
    frameState().sceneDepthTexture = depth;
    TextureQML mainDepth;
    mainDepth.setTextureRT("mainDepth");
    mainDepth.setProperty("readData", true);
    mainDepth.render(nullptr);
    EXPECT_EQ(get(GL_TEXTURE_BINDING_2D), GLint(depth));
    EXPECT_EQ(mainDepth.renderTarget(), nullptr);
    EXPECT_FLOAT_EQ(mainDepth.getPixel(0, 0, 0), -1.0f);
    EXPECT_EQ(glGetError(), GLenum(GL_NO_ERROR));
}

TEST_F(TextureItem, GetPixelAnswersFromTheLastReadBackOnly)
{
    target("levels", 4, 2, 0.25f, 0.5f, 0.75f, 1.0f);
    TextureQML texture;
    texture.setTextureRT("levels");
    texture.render(nullptr);
    EXPECT_FLOAT_EQ(texture.getPixel(0, 0, 0), -1.0f); // nothing read yet

    texture.setProperty("readData", true);
    texture.render(nullptr);
    EXPECT_FLOAT_EQ(texture.getPixel(3, 1, 1), 0.5f);
    EXPECT_FLOAT_EQ(texture.getPixel(4, 0, 0), 0.0f); // x == width
    EXPECT_FLOAT_EQ(texture.getPixel(0, 2, 0), 0.0f);
    EXPECT_FLOAT_EQ(texture.getPixel(-1, 0, 0), 0.0f);
    EXPECT_FLOAT_EQ(texture.getPixel(0, 0, 4), 0.0f);
    EXPECT_FLOAT_EQ(texture.getPixel(0, 0, -1), 0.0f);

    // Re-made smaller: the next read answers within the new size.
    target("levels", 2, 1, 1, 1, 1, 1);
    texture.render(nullptr);
    EXPECT_FLOAT_EQ(texture.getPixel(1, 0, 0), 1.0f);
    EXPECT_FLOAT_EQ(texture.getPixel(3, 1, 1), 0.0f);
}

TEST_F(TextureItem, BlitCopiesTheWindowIntoTheBoundTexture)
{
    RenderTarget& rt = target("copy", 4, 4, 0, 0, 0, 0);
    window.bindCleared(0, 1, 0, 1);
    TextureQML texture;
    texture.setTextureRT("copy");
    texture.setProperty("blit", true);
    texture.render(nullptr); // the window is larger: the part that fits
    EXPECT_FLOAT_EQ(rt.readPixels()[1], 1.0f);
    EXPECT_EQ(glGetError(), GLenum(GL_NO_ERROR));
}

// Qt Quick items give their textures through their providers: an Image's
// comes out of the shared atlas, a layer's is redrawn as its item changes.
struct TextureItemFromQtQuick : FreshStateTest {
};

TEST_F(TextureItemFromQtQuick, ImagesAndLayersBindTheirOwnTextures)
{
    ensureQtApp();
    TempDemo demo;
    QImage red(4, 4, QImage::Format_ARGB32);
    red.fill(Qt::red);
    ASSERT_TRUE(red.save(QString::fromStdString(demo.path("red.png"))));

    QQuickWindow window;
    window.resize(32, 32);
    QQmlEngine engine;
    QQmlComponent component(&engine);
    component.setData("import QtQuick 2.15\nimport QuellinDemoSystem 1.0\nItem {\n"
                      "  Image { id: img; source: 'red.png' }\n"
                      "  Rectangle { id: box; width: 8; height: 8; color: '#0000ff'; layer.enabled: true }\n"
                      "  Texture { objectName: 'fromImage'; textureItem: img; textureUnit: 2 }\n"
                      "  Texture { objectName: 'fromLayer'; textureItem: box; textureUnit: 5 }\n}\n",
                      QUrl::fromLocalFile(QString::fromStdString(demo.path("main.qml"))));
    std::unique_ptr<QQuickItem> root(qobject_cast<QQuickItem*>(component.create()));
    ASSERT_TRUE(root) << component.errorString().toStdString();
    root->setParentItem(window.contentItem());
    auto* fromImage = root->findChild<TextureQML*>("fromImage");
    auto* fromLayer = root->findChild<TextureQML*>("fromLayer");

    // What each texture item leaves bound, read in the window's render step.
    struct Seen {
        GLint bound = -1;
        unsigned char rgba[4] = {0, 0, 0, 0};
    } image, layer;
    bool imageInAtlas = false;
    bool checked = false;
    // The test renders the items in the window's frame: it is their frame
    // host, and makes the resources with the window's context.
    std::unique_ptr<GpuResources> resources;
    QObject::connect(&window, &QQuickWindow::afterRendering, &window, [&] {
        if (checked || !fromImage->providerTexture() || !fromLayer->providerTexture())
            return;
        if (!currentGpuResources())
            resources = std::make_unique<GpuResources>();
        if (!gpuReady())
            return;
        imageInAtlas = fromImage->textureItem()->textureProvider()->texture()->isAtlasTexture();
        for (auto [item, seen] : {std::pair{fromImage, &image}, std::pair{fromLayer, &layer}}) {
            item->render(nullptr);
            glGetIntegerv(GL_TEXTURE_BINDING_2D, &seen->bound);
            GLint w = 0, h = 0;
            glGetTexLevelParameteriv(GL_TEXTURE_2D, 0, GL_TEXTURE_WIDTH, &w);
            glGetTexLevelParameteriv(GL_TEXTURE_2D, 0, GL_TEXTURE_HEIGHT, &h);
            std::vector<unsigned char> pixels(size_t(w) * size_t(h) * 4);
            glGetTexImage(GL_TEXTURE_2D, 0, GL_RGBA, GL_UNSIGNED_BYTE, pixels.data());
            std::copy(pixels.begin(), pixels.begin() + 4, seen->rgba);
        }
        checked = true;
    }, Qt::DirectConnection);
    window.show();
    ASSERT_TRUE(waitUntil([&] {
        window.update();
        return checked;
    }));

    EXPECT_TRUE(imageInAtlas);
    EXPECT_FALSE(fromImage->providerTexture()->isAtlasTexture());
    EXPECT_EQ(image.bound, GLint(fromImage->providerTexture()->textureId()));
    EXPECT_EQ(image.rgba[0], 255);
    EXPECT_EQ(image.rgba[2], 0);
    EXPECT_EQ(layer.bound, GLint(fromLayer->providerTexture()->textureId()));
    EXPECT_EQ(layer.rgba[2], 255);
    EXPECT_EQ(layer.rgba[0], 0);
}
