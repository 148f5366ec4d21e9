#include <GL/glew.h>

#include "gpu/GpuResources.h"
#include "gpu/Mesh.h"
#include "gpu/Shader.h"
#include "gpu/TransformFeedback.h"
#include "gpu/VertexBuffers.h"
#include "state/FrameState.h"

#include "support/FreshState.h"
#include "support/GlTestContext.h"
#include "support/LogCapture.h"
#include "support/RecordingNotifier.h"
#include "support/TempDemo.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <climits>
#include <cstdint>
#include <string>
#include <vector>

namespace {

// Each particle is (index, age, g_numOld): the seed's zeros start at age 1,
// and every capture adds one.
const char* kAdvanceVert = "#version 430 compatibility\n"
                           "layout(location = 0) in vec2 inState;\n"
                           "uniform int g_numOld;\n"
                           "out vec2 state;\nout float old;\n"
                           "void main() { state = vec2(float(gl_VertexID), inState.y + 1.0);\n"
                           "  old = float(g_numOld); gl_Position = vec4(0.0); }\n";
const char* kParticleVaryings = "vec2 state; float old";

struct Particle {
    float index, age, old;
};

std::vector<Particle> readParticles(GLuint buffer, int count)
{
    std::vector<Particle> out(static_cast<size_t>(count));
    glGetNamedBufferSubData(buffer, 0, GLsizeiptr(out.size() * sizeof(Particle)), out.data());
    return out;
}

struct FeedbackFixture : FreshStateTest {
    void SetUp() override
    {
        ASSERT_TRUE(gl.ok());
        demo.enter();
        installRecordingNotifier();
    }
    // Loads a vertex-only program capturing varyings and makes it current
    // when it links.
    bool useShader(Shader& shader, const std::string& name, const char* vert, const char* varyings)
    {
        demo.write(name + ".vert", vert);
        shader.setTransformFeedbackVaryings(varyings);
        const bool linked = shader.load(name, "");
        if (linked)
            gpu().shaders.use(&shader);
        return linked;
    }
    // Every particle of the ring slot that was written last.
    std::vector<Particle> newest(const Mesh& grid, int count)
    {
        return readParticles(feedbackInstanceBuffer(grid.records[0]), count);
    }
    GlTestContext gl;
    TempDemo demo;
};

} // namespace

TEST_F(FeedbackFixture, CreateKeepsARingOfTheSameCountAndRefusesBadCounts)
{
    LogCapture log;
    TransformFeedback ring;
    ASSERT_TRUE(ring.create(8, 10000, false));
    EXPECT_TRUE(log.contains("creating TransformFeedback of size 0.92 mb"));
    const float marker = 7.0f;
    glNamedBufferSubData(ring.buffers[1], 0, sizeof marker, &marker);
    const GLuint before = ring.buffers[1];
    ASSERT_TRUE(ring.create(8, 10000, false));
    EXPECT_EQ(ring.buffers[1], before);
    EXPECT_EQ(readParticles(before, 1)[0].index, 7.0f);

    // Half floats halve the values per item, rounding an odd count down.
    TransformFeedback half;
    ASSERT_TRUE(half.create(5, 100, true));
    GLint size = 0;
    glGetNamedBufferParameteriv(half.buffers[2], GL_BUFFER_SIZE, &size);
    EXPECT_EQ(size, 100 * 2 * 4);

    // No items, or 1 GiB a buffer: refused before anything is allocated.
    TransformFeedback none, huge;
    EXPECT_FALSE(none.create(4, -3, false));
    EXPECT_FALSE(huge.create(64, 1 << 22, false));
    EXPECT_EQ(huge.buffers[0], 0u);
    EXPECT_TRUE(log.contains("TransformFeedback: 4194304 items of 64 floats need more than 1024 mb; no buffers made"));
    EXPECT_EQ(glGetError(), GLenum(GL_NO_ERROR));
    ring.release();
    half.release();
}

TEST_F(FeedbackFixture, ParticlesAdvanceFromTheSeedAlternatingTheRingAndResetOnRequest)
{
    Shader advance;
    ASSERT_TRUE(useShader(advance, "advance", kAdvanceVert, kParticleVaryings));
    Mesh grid;
    createCustomPointGridVBO(grid, 4, 4, 10, true, parseVaryings(kParticleVaryings));
    ASSERT_EQ(grid.records.size(), 1u);
    const TransformFeedback& ring = *grid.records[0].transformFeedback;

    // The age of the 10 seeded particles when they all have the same, else -1.
    auto age = [&] {
        const std::vector<Particle> ps = newest(grid, 10);
        bool same = std::all_of(ps.begin(), ps.end(), [&](const Particle& p) { return p.age == ps[0].age; });
        return same ? ps[0].age : -1.0f;
    };

    // The first frame seeds 10 of the 16 items; later frames carry them on.
    drawMesh(grid, 0, gpu().feedback, gpu().shaders.current());
    EXPECT_EQ(ring.captureSlot, 0);
    EXPECT_EQ(ring.lastWritten, 10u);
    EXPECT_EQ(grid.particleCount, 10u);
    EXPECT_EQ(age(), 1.0f);
    drawMesh(grid, 0, gpu().feedback, gpu().shaders.current());
    EXPECT_EQ(ring.captureSlot, 1);
    EXPECT_EQ(age(), 2.0f);
    EXPECT_EQ(newest(grid, 1)[0].old, 30.0f); // 3 x the 10 written the frame before
    drawMesh(grid, 0, gpu().feedback, gpu().shaders.current());
    EXPECT_EQ(ring.captureSlot, 0);
    EXPECT_EQ(age(), 3.0f);

    // The item's request re-seeds once.
    grid.resetRequested = true;
    drawMesh(grid, 0, gpu().feedback, gpu().shaders.current());
    EXPECT_EQ(age(), 1.0f);
    EXPECT_FALSE(grid.resetRequested);
    drawMesh(grid, 0, gpu().feedback, gpu().shaders.current());
    EXPECT_EQ(age(), 2.0f);

    // The controller's request re-seeds until the Demo item clears it.
    frameState().particleResetRequest = true;
    drawMesh(grid, 0, gpu().feedback, gpu().shaders.current());
    drawMesh(grid, 0, gpu().feedback, gpu().shaders.current());
    EXPECT_EQ(age(), 1.0f);
    frameState().particleResetRequest = false;
    drawMesh(grid, 0, gpu().feedback, gpu().shaders.current());
    EXPECT_EQ(age(), 2.0f);

    // A rebuild at the same size keeps the ring's buffers and seeds anew;
    // without a seed count, every item.
    const GLuint first = ring.buffers[0];
    createCustomPointGridVBO(grid, 4, 4, 0, true, parseVaryings(kParticleVaryings));
    EXPECT_EQ(grid.records[0].transformFeedback->buffers[0], first);
    drawMesh(grid, 0, gpu().feedback, gpu().shaders.current());
    EXPECT_EQ(age(), 1.0f);
    EXPECT_EQ(grid.particleCount, 16u);
    EXPECT_EQ(glGetError(), GLenum(GL_NO_ERROR));
}

TEST_F(FeedbackFixture, StartAndStopCaptureWhatIsDrawnBetweenThem)
{
    Shader advance;
    ASSERT_TRUE(useShader(advance, "advance", kAdvanceVert, kParticleVaryings));
    Mesh grid;
    createCustomPointGridVBO(grid, 4, 4, 10, true, parseVaryings(kParticleVaryings));
    const TransformFeedback& ring = *grid.records[0].transformFeedback;

    drawMesh(grid, 2, gpu().feedback, gpu().shaders.current());
    EXPECT_TRUE(gpu().feedback.captureRunning());
    EXPECT_TRUE(glIsEnabled(GL_RASTERIZER_DISCARD));
    Mesh emitter; // a plain grid of 3 points: its draw joins the capture
    createCustomPointGridVBO(emitter, 3, 1, 0, false, {});
    drawMesh(emitter, 0, gpu().feedback, gpu().shaders.current());
    drawMesh(grid, 3, gpu().feedback, gpu().shaders.current());
    EXPECT_FALSE(gpu().feedback.captureRunning());
    EXPECT_FALSE(glIsEnabled(GL_RASTERIZER_DISCARD));
    EXPECT_EQ(ring.lastWritten, 13u);

    // A stop without a start, and a start left open at the frame's end.
    drawMesh(grid, 3, gpu().feedback, gpu().shaders.current());
    drawMesh(grid, 2, gpu().feedback, gpu().shaders.current());
    gpu().feedback.finishOpenCapture();
    EXPECT_FALSE(gpu().feedback.captureRunning());
    EXPECT_FALSE(glIsEnabled(GL_RASTERIZER_DISCARD));
    EXPECT_EQ(glGetError(), GLenum(GL_NO_ERROR));
}

// Passes 2 and 3 never restart the count: 262,144 particles a frame at 60
// frames a second pass 2^32 in under five minutes.
TEST_F(FeedbackFixture, TheCountBehindGNumOldSaturates)
{
    Shader advance;
    ASSERT_TRUE(useShader(advance, "advance", kAdvanceVert, kParticleVaryings));
    Mesh grid;
    createCustomPointGridVBO(grid, 4, 4, 10, true, parseVaryings(kParticleVaryings));
    TransformFeedback& ring = *grid.records[0].transformFeedback;
    ring.totalWritten = UINT32_MAX - 4;
    for (int frame = 0; frame < 2; ++frame) {
        drawMesh(grid, 2, gpu().feedback, gpu().shaders.current());
        drawMesh(grid, 3, gpu().feedback, gpu().shaders.current());
    }
    EXPECT_EQ(ring.totalWritten, UINT32_MAX);
    EXPECT_EQ(newest(grid, 1)[0].old, float(INT_MAX));
    EXPECT_EQ(glGetError(), GLenum(GL_NO_ERROR));
}

TEST_F(FeedbackFixture, CapturesThatCannotFitAreRefusedWithOneLogLine)
{
    LogCapture log;
    Shader plain;
    ASSERT_TRUE(useShader(plain, "plain", "#version 430 compatibility\nvoid main() { gl_Position = vec4(0.0); }\n", ""));
    Mesh grid;
    createCustomPointGridVBO(grid, 4, 4, 16, true, parseVaryings(kParticleVaryings));
    drawMesh(grid, 0, gpu().feedback, gpu().shaders.current());
    drawMesh(grid, 0, gpu().feedback, gpu().shaders.current());
    const std::string noVaryings =
        "TransformFeedback: the shader in use captures no varyings; the particles are not updated";
    EXPECT_EQ(std::count(log.lines().begin(), log.lines().end(), noVaryings), 1);
    EXPECT_EQ(grid.particleCount, 0u);
    EXPECT_FALSE(glIsEnabled(GL_RASTERIZER_DISCARD));

    // The grid holds 32 bytes an item where the shader writes 12.
    Shader advance;
    ASSERT_TRUE(useShader(advance, "advance", kAdvanceVert, kParticleVaryings));
    Mesh wide;
    createCustomPointGridVBO(wide, 4, 4, 16, true, parseVaryings("vec4 a; vec4 b"));
    drawMesh(wide, 0, gpu().feedback, gpu().shaders.current());
    EXPECT_TRUE(log.contains("TransformFeedback: the grid's items hold 32 bytes, the shader captures 12 an item; "
                             "the particles are not updated"));
    EXPECT_EQ(wide.particleCount, 0u);
    EXPECT_EQ(glGetError(), GLenum(GL_NO_ERROR));
}
