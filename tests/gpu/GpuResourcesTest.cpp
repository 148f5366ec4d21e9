#include <GL/glew.h>

#include "gpu/GpuResources.h"
#include "gpu/VertexBuffers.h"

#include "support/FreshState.h"
#include "support/GlTestContext.h"
#include "support/RecordingNotifier.h"
#include "support/TempDemo.h"

#include <gtest/gtest.h>

#include <memory>

namespace {

struct GpuResourcesFixture : FreshStateTest {
    void SetUp() override
    {
        ASSERT_TRUE(gl.ok());
        demo.enter();
        installRecordingNotifier();
        demo.write("flat.frag", "#version 430 compatibility\nout vec4 c;\nvoid main() { c = vec4(1); }\n");
    }

    // One object of every kind the record holds, made in it.
    struct Names {
        GLuint program = 0, vertexArray = 0, ring = 0, texture = 0, counter = 0;
    };
    static Names fill(GpuResources& r)
    {
        Names n;
        Shader* shader = r.shaders.add("flat");
        shader->load("flat", "");
        n.program = shader->program();
        Mesh* quad = r.vertexBuffers.add("quad");
        createCustomQuadVBO(*quad);
        n.vertexArray = quad->records[0].vertexArray;
        Mesh* grid = r.vertexBuffers.add("pointGridp");
        createCustomPointGridVBO(*grid, 2, 2, 0, true, parseVaryings("vec4 p"));
        n.ring = grid->records[0].transformFeedback->buffers[0];
        RenderTarget* target = r.targets.add("t");
        target->create(GL_RGBA8, 4, 4, nullptr, false, 1);
        n.texture = target->colorTexture();
        n.counter = r.counters.get("c").buffer;
        return n;
    }

    GlTestContext gl;
    TempDemo demo;
};

} // namespace

TEST_F(GpuResourcesFixture, DestroyedWithItsContextCurrentItDeletesEveryGlObject)
{
    GpuResources* outer = currentGpuResources();
    auto inner = std::make_unique<GpuResources>();
    EXPECT_EQ(&gpu(), inner.get()); // made last, answered first
    ASSERT_TRUE(inner->glewLoaded);
    const Names n = fill(*inner);
    ASSERT_TRUE(glIsProgram(n.program) && glIsVertexArray(n.vertexArray) && glIsBuffer(n.ring) &&
                glIsTexture(n.texture) && glIsBuffer(n.counter));

    inner.reset();
    EXPECT_EQ(currentGpuResources(), outer);
    EXPECT_FALSE(glIsProgram(n.program));
    EXPECT_FALSE(glIsVertexArray(n.vertexArray));
    EXPECT_FALSE(glIsBuffer(n.ring));
    EXPECT_FALSE(glIsTexture(n.texture));
    EXPECT_FALSE(glIsBuffer(n.counter));
    EXPECT_EQ(glGetError(), GLenum(GL_NO_ERROR));
}

TEST_F(GpuResourcesFixture, WithoutItsContextCurrentItOnlyForgetsThem)
{
    auto inner = std::make_unique<GpuResources>();
    const Names n = fill(*inner);
    GlTestContext::releaseCurrent();
    inner.reset(); // no GL call without the context
    ASSERT_TRUE(gl.makeCurrent());
    EXPECT_TRUE(glIsProgram(n.program));
    EXPECT_TRUE(glIsVertexArray(n.vertexArray));
    EXPECT_TRUE(glIsTexture(n.texture));
}
