#include <GL/glew.h>

#include "gpu/GpuResources.h"
#include "gpu/RenderTarget.h"

#include "support/FreshState.h"
#include "support/GlFramebuffer.h"
#include "support/GlTestContext.h"
#include "support/LogCapture.h"

#include <gtest/gtest.h>

#include <array>
#include <string>
#include <vector>

namespace {

struct RenderTargets : FreshStateTest {
    void SetUp() override { ASSERT_TRUE(gl.ok()); }

    static GLint boundDrawFramebuffer()
    {
        GLint fb = -1;
        glGetIntegerv(GL_DRAW_FRAMEBUFFER_BINDING, &fb);
        return fb;
    }
    static std::array<GLint, 4> viewport()
    {
        std::array<GLint, 4> v{};
        glGetIntegerv(GL_VIEWPORT, v.data());
        return v;
    }
    static void clearTo(float r, float g, float b, float a)
    {
        glClearColor(r, g, b, a);
        glClear(GL_COLOR_BUFFER_BIT);
    }
    static void make(RenderTarget& t, int w, int h, bool multisample = false, GLenum format = GL_RGBA16F)
    {
        ASSERT_TRUE(t.create(format, w, h, nullptr, multisample, multisample ? 4 : 1));
        t.createFramebuffer(true);
        ASSERT_TRUE(t.complete());
    }

    GlTestContext gl;
};

} // namespace

TEST_F(RenderTargets, NestedTargetsHandBackTheOuterFramebufferAndViewport)
{
    GlFramebuffer window(40, 20);
    window.bind();
    RenderTarget a(gpu().targetStack), b(gpu().targetStack);
    make(a, 16, 8);
    make(b, 4, 2);
    EXPECT_FALSE(a.create(GL_RGBA16F, 2, 2, nullptr, false, 1)); // made once

    ASSERT_TRUE(a.bind());
    EXPECT_EQ(boundDrawFramebuffer(), GLint(a.framebuffer()));
    EXPECT_EQ(viewport(), (std::array<GLint, 4>{0, 0, 16, 8}));
    ASSERT_TRUE(b.bind());
    EXPECT_EQ(boundDrawFramebuffer(), GLint(b.framebuffer()));
    EXPECT_EQ(viewport(), (std::array<GLint, 4>{0, 0, 4, 2}));
    EXPECT_EQ(gpu().targetStack.entries.size(), 2u);

    EXPECT_TRUE(b.unbind());
    EXPECT_EQ(boundDrawFramebuffer(), GLint(a.framebuffer()));
    EXPECT_EQ(viewport(), (std::array<GLint, 4>{0, 0, 16, 8}));
    EXPECT_TRUE(a.unbind());
    EXPECT_EQ(boundDrawFramebuffer(), GLint(window.name()));
    EXPECT_EQ(viewport(), (std::array<GLint, 4>{0, 0, 40, 20}));
    GLint buffer = 0;
    glGetIntegerv(GL_DRAW_BUFFER2, &buffer);
    EXPECT_EQ(buffer, GL_COLOR_ATTACHMENT2);
    EXPECT_FALSE(a.unbind()); // nothing left to pop
    EXPECT_EQ(glGetError(), GLenum(GL_NO_ERROR));
}

TEST_F(RenderTargets, MultisampleTargetIsResolvedBeforeTheOuterOneIsRebound)
{
    GlFramebuffer window(8, 8);
    window.bind();
    RenderTarget outer(gpu().targetStack), inner(gpu().targetStack);
    make(outer, 8, 8);
    // With a depth buffer: it takes the colour buffer's sample count, or the
    // framebuffer would be incomplete.
    make(inner, 8, 8, true);
    GLint depthSamples = 0;
    glBindRenderbuffer(GL_RENDERBUFFER, inner.depthRenderbuffer());
    glGetRenderbufferParameteriv(GL_RENDERBUFFER, GL_RENDERBUFFER_SAMPLES, &depthSamples);
    EXPECT_GT(depthSamples, 1);

    ASSERT_TRUE(outer.bind());
    clearTo(0, 0, 1, 1);
    ASSERT_TRUE(inner.bind());
    EXPECT_EQ(boundDrawFramebuffer(), GLint(inner.multisampleFramebuffer()));
    clearTo(1, 0, 0, 1);
    inner.unbind();
    EXPECT_EQ(boundDrawFramebuffer(), GLint(outer.framebuffer()));
    outer.unbind();

    EXPECT_FLOAT_EQ(inner.readPixels()[0], 1.0f); // resolved: red
    EXPECT_FLOAT_EQ(outer.readPixels()[2], 1.0f); // untouched: blue
    EXPECT_EQ(glGetError(), GLenum(GL_NO_ERROR));
}

TEST_F(RenderTargets, ReadBackAllocatesOnceAndNeverReadsPastItsImage)
{
    GlFramebuffer window(8, 8);
    window.bind();
    RenderTarget t(gpu().targetStack);
    make(t, 4, 2);
    t.bind();
    clearTo(0.25f, 0.5f, 0.75f, 1.0f);
    t.unbind();

    // Whatever the caller has bound, the target reads its own texture.
    glBindTexture(GL_TEXTURE_2D, 0);
    const float* first = t.readPixels().data();
    EXPECT_EQ(t.readPixels().data(), first);
    EXPECT_EQ(t.readPixels().size(), 4u * 2u * 4u);
    EXPECT_FLOAT_EQ(t.readBackValue(3, 1, 2), 0.75f);
    EXPECT_FLOAT_EQ(t.readBackValue(4, 1, 2), 0.0f); // x == width
    EXPECT_FLOAT_EQ(t.readBackValue(0, -1, 0), 0.0f);
    EXPECT_FLOAT_EQ(t.readBackValue(0, 0, 4), 0.0f);

    // Filled from data: too little is refused, the whole texture is taken.
    const std::vector<float> ramp = {0, 1, 2, 3, 4, 5, 6, 7};
    EXPECT_FALSE(t.upload(ramp.data(), 7 * sizeof(float), GL_RED, GL_FLOAT));
    EXPECT_FALSE(t.upload(ramp.data(), ramp.size() * sizeof(float), GL_BGRA, GL_FLOAT));
    // An upload borrows unit 0: what a texture item bound there for a later
    // draw, and the unit it left active, are there after it.
    GLuint bound = 0;
    glGenTextures(1, &bound);
    glActiveTexture(GL_TEXTURE0);
    glBindTexture(GL_TEXTURE_2D, bound);
    glActiveTexture(GL_TEXTURE3);
    EXPECT_TRUE(t.upload(ramp.data(), ramp.size() * sizeof(float), GL_RED, GL_FLOAT));
    GLint unit = 0, onUnit0 = 0;
    glGetIntegerv(GL_ACTIVE_TEXTURE, &unit);
    glActiveTexture(GL_TEXTURE0);
    glGetIntegerv(GL_TEXTURE_BINDING_2D, &onUnit0);
    EXPECT_EQ(unit, GL_TEXTURE3);
    EXPECT_EQ(GLuint(onUnit0), bound);
    glBindTexture(GL_TEXTURE_2D, 0);
    glDeleteTextures(1, &bound);
    EXPECT_FLOAT_EQ(t.readPixels()[(3 + 4) * 4], 7.0f);

    // Re-made smaller: the old values stay readable within their own size
    // until the next read, which takes the new one.
    t.release();
    make(t, 2, 1);
    EXPECT_FLOAT_EQ(t.readBackValue(3, 1, 0), 7.0f);
    t.readPixels();
    EXPECT_EQ(t.readBackWidth(), 2);
    EXPECT_FLOAT_EQ(t.readBackValue(3, 1, 0), 0.0f);
    EXPECT_EQ(glGetError(), GLenum(GL_NO_ERROR));
}

TEST_F(RenderTargets, IntegerTargetsAreMadeAndReadAsTheirValues)
{
    GlFramebuffer window(4, 4);
    window.bind();
    RenderTarget t(gpu().targetStack);
    make(t, 2, 2, false, GL_R32UI);
    t.bind();
    const GLuint value[4] = {7, 0, 0, 0};
    glClearBufferuiv(GL_COLOR, 0, value);
    t.unbind();
    EXPECT_FLOAT_EQ(t.readPixels()[4], 7.0f);
    EXPECT_EQ(glGetError(), GLenum(GL_NO_ERROR));
}

TEST_F(RenderTargets, IncompleteFramebufferIsReportedOnceAndNeverBound)
{
    GlFramebuffer window(4, 4);
    window.bind();
    LogCapture log;
    RenderTarget t(gpu().targetStack);
    // A compressed format can be sampled but not rendered into.
    ASSERT_TRUE(t.create(GL_COMPRESSED_RED_RGTC1, 4, 4, nullptr, false, 1));
    t.createFramebuffer(true);
    EXPECT_FALSE(t.complete());
    EXPECT_TRUE(log.contains("RenderTarget Framebuffer error: Incomplete attachment. "
                             "(GL_FRAMEBUFFER_INCOMPLETE_ATTACHMENT)(FBO - 820)"));
    const size_t lines = log.lines().size();
    EXPECT_FALSE(t.bind());
    EXPECT_FALSE(t.seedFrom(window.name(), 0, 4, 4));
    EXPECT_EQ(log.lines().size(), lines);
    EXPECT_TRUE(gpu().targetStack.entries.empty());
    EXPECT_EQ(boundDrawFramebuffer(), GLint(window.name()));

    RenderTarget tooBig(gpu().targetStack);
    EXPECT_FALSE(tooBig.create(GL_RGBA16F, 1 << 30, 1, nullptr, false, 1));
    EXPECT_FALSE(tooBig.create(GL_RGBA16F, 0, 4, nullptr, false, 1));
    EXPECT_EQ(tooBig.colorTexture(), 0u);
}
