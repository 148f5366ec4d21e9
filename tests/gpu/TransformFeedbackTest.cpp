#include <GL/glew.h>

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
    glBindBuffer(GL_ARRAY_BUFFER, buffer);
    glGetBufferSubData(GL_ARRAY_BUFFER, 0, GLsizeiptr(out.size() * sizeof(Particle)), out.data());
    glBindBuffer(GL_ARRAY_BUFFER, 0);
    return out;
}

GLint bufferSize(GLuint buffer)
{
    GLint size = 0;
    glBindBuffer(GL_ARRAY_BUFFER, buffer);
    glGetBufferParameteriv(GL_ARRAY_BUFFER, GL_BUFFER_SIZE, &size);
    glBindBuffer(GL_ARRAY_BUFFER, 0);
    return size;
}

struct FeedbackFixture : FreshStateTest {
    void SetUp() override
    {
        ASSERT_TRUE(gl.ok());
        demo.enter();
        notifier = &installRecordingNotifier();
    }
    // Loads a vertex-only program capturing varyings and makes it current
    // when it links.
    bool useShader(Shader& shader, const std::string& name, const char* vert, const char* varyings)
    {
        demo.write(name + ".vert", vert);
        shader.setTransformFeedbackVaryings(varyings);
        const bool linked = shader.load(name, "");
        if (linked)
            shader.use();
        return linked;
    }
    // Every particle of the ring slot that was written last.
    std::vector<Particle> newest(const Mesh& grid, int count)
    {
        return readParticles(feedbackInstanceBuffer(grid.records[0]), count);
    }
    GlTestContext gl;
    TempDemo demo;
    RecordingNotifier* notifier = nullptr;
};

} // namespace

TEST_F(FeedbackFixture, CreateKeepsARingOfTheSameCountAndRefusesBadCounts)
{
    LogCapture log;
    TransformFeedback ring;
    ASSERT_TRUE(ring.create(8, 10000, false));
    EXPECT_TRUE(log.contains("creating TransformFeedback of size 0.92 mb"));
    EXPECT_EQ(bufferSize(ring.buffers[0]), 10000 * 8 * 4);
    EXPECT_EQ(bufferSize(ring.buffers[2]), 10000 * 8 * 4);

    const float marker = 7.0f;
    glBindBuffer(GL_ARRAY_BUFFER, ring.buffers[1]);
    glBufferSubData(GL_ARRAY_BUFFER, 0, sizeof marker, &marker);
    const GLuint before[3] = {ring.buffers[0], ring.buffers[1], ring.buffers[2]};
    ASSERT_TRUE(ring.create(8, 10000, false));
    EXPECT_TRUE(std::equal(before, before + 3, ring.buffers));
    float stored = 0.0f;
    glBindBuffer(GL_ARRAY_BUFFER, ring.buffers[1]);
    glGetBufferSubData(GL_ARRAY_BUFFER, 0, sizeof stored, &stored);
    glBindBuffer(GL_ARRAY_BUFFER, 0);
    EXPECT_EQ(stored, 7.0f);

    // Another count makes new buffers and lets the old ones go.
    ASSERT_TRUE(ring.create(8, 500, false));
    EXPECT_FALSE(glIsBuffer(before[0]));
    EXPECT_EQ(ring.byteSize, 500 * 8 * 4);

    // Half floats halve the values per item, rounding an odd count down.
    TransformFeedback half;
    ASSERT_TRUE(half.create(5, 100, true));
    EXPECT_EQ(bufferSize(half.buffers[0]), 100 * 2 * 4);

    for (int items : {0, -3}) {
        TransformFeedback none;
        EXPECT_FALSE(none.create(4, items, false)) << items;
        EXPECT_EQ(none.buffers[0], 0u);
    }
    // 1 GiB a buffer: refused before anything is allocated.
    TransformFeedback huge;
    EXPECT_FALSE(huge.create(64, 1 << 22, false));
    EXPECT_FALSE(huge.created);
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

    auto ages = [&] {
        std::vector<float> out;
        for (const Particle& p : newest(grid, 10))
            out.push_back(p.age);
        return out;
    };
    const std::vector<float> age1(10, 1.0f), age2(10, 2.0f), age3(10, 3.0f);

    // The first frame seeds 10 of the 16 items; later frames carry them on.
    drawMesh(grid, 0);
    EXPECT_EQ(ring.captureSlot, 0);
    EXPECT_EQ(ring.lastWritten, 10u);
    EXPECT_EQ(grid.particleCount, 10u);
    EXPECT_EQ(ages(), age1);
    EXPECT_EQ(newest(grid, 10)[9].index, 9.0f);
    drawMesh(grid, 0);
    EXPECT_EQ(ring.captureSlot, 1);
    EXPECT_EQ(ages(), age2);
    EXPECT_EQ(newest(grid, 1)[0].old, 30.0f); // 3 x the 10 written the frame before
    drawMesh(grid, 0);
    EXPECT_EQ(ring.captureSlot, 0);
    EXPECT_EQ(ages(), age3);

    // The item's request re-seeds once.
    grid.resetRequested = true;
    drawMesh(grid, 0);
    EXPECT_EQ(ages(), age1);
    EXPECT_FALSE(grid.resetRequested);
    drawMesh(grid, 0);
    EXPECT_EQ(ages(), age2);

    // The controller's request re-seeds until the Demo item clears it.
    frameState().particleResetRequest = true;
    drawMesh(grid, 0);
    drawMesh(grid, 0);
    EXPECT_EQ(ages(), age1);
    frameState().particleResetRequest = false;
    drawMesh(grid, 0);
    EXPECT_EQ(ages(), age2);

    // A rebuild at the same size keeps the ring's buffers and seeds anew;
    // without a seed count, every item.
    const GLuint first = ring.buffers[0];
    createCustomPointGridVBO(grid, 4, 4, 0, true, parseVaryings(kParticleVaryings));
    EXPECT_EQ(grid.records[0].transformFeedback->buffers[0], first);
    drawMesh(grid, 0);
    EXPECT_EQ(ages(), age1);
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

    drawMesh(grid, 2);
    EXPECT_TRUE(feedbackCaptureRunning());
    EXPECT_TRUE(glIsEnabled(GL_RASTERIZER_DISCARD));
    // An emitter's draw joins the capture.
    const float emitted[6] = {0, 5, 1, 5, 2, 5};
    GLuint vao = 0, vbo = 0;
    glGenVertexArrays(1, &vao);
    glBindVertexArray(vao);
    glGenBuffers(1, &vbo);
    glBindBuffer(GL_ARRAY_BUFFER, vbo);
    glBufferData(GL_ARRAY_BUFFER, sizeof emitted, emitted, GL_STATIC_DRAW);
    glEnableVertexAttribArray(0);
    glVertexAttribPointer(0, 2, GL_FLOAT, GL_FALSE, 0, nullptr);
    glDrawArrays(GL_POINTS, 0, 3);
    glBindVertexArray(0);
    glBindBuffer(GL_ARRAY_BUFFER, 0);
    glDeleteBuffers(1, &vbo);
    glDeleteVertexArrays(1, &vao);
    drawMesh(grid, 3);
    EXPECT_FALSE(feedbackCaptureRunning());
    EXPECT_FALSE(glIsEnabled(GL_RASTERIZER_DISCARD));
    EXPECT_EQ(ring.lastWritten, 13u);

    // A stop without a start, and a start left open at the frame's end.
    drawMesh(grid, 3);
    EXPECT_EQ(glGetError(), GLenum(GL_NO_ERROR));
    drawMesh(grid, 2);
    finishOpenFeedbackCapture();
    EXPECT_FALSE(feedbackCaptureRunning());
    EXPECT_FALSE(glIsEnabled(GL_RASTERIZER_DISCARD));
    EXPECT_EQ(glGetError(), GLenum(GL_NO_ERROR));
}

TEST_F(FeedbackFixture, CapturesThatCannotFitAreRefusedWithOneLogLine)
{
    LogCapture log;
    Shader plain;
    ASSERT_TRUE(useShader(plain, "plain", "#version 430 compatibility\nvoid main() { gl_Position = vec4(0.0); }\n", ""));
    Mesh grid;
    createCustomPointGridVBO(grid, 4, 4, 16, true, parseVaryings(kParticleVaryings));
    drawMesh(grid, 0);
    drawMesh(grid, 0);
    const std::string noVaryings =
        "TransformFeedback: the shader in use captures no varyings; the particles are not updated";
    EXPECT_EQ(std::count(log.lines().begin(), log.lines().end(), noVaryings), 1);
    EXPECT_EQ(grid.particleCount, 0u);
    EXPECT_FALSE(feedbackCaptureRunning());
    EXPECT_FALSE(glIsEnabled(GL_RASTERIZER_DISCARD));

    // The grid reads 32 bytes an item where the shader writes 12.
    Shader advance;
    ASSERT_TRUE(useShader(advance, "advance", kAdvanceVert, kParticleVaryings));
    Mesh wide;
    createCustomPointGridVBO(wide, 4, 4, 16, true, parseVaryings("vec4 a; vec4 b"));
    drawMesh(wide, 0);
    EXPECT_TRUE(log.contains("TransformFeedback: the grid's varyings read 32 bytes an item, the shader captures 12; "
                             "the particles are not updated"));
    EXPECT_EQ(wide.particleCount, 0u);

    // Varyings that name nothing in the shader: the link fails and says so.
    Shader unnamed;
    EXPECT_FALSE(useShader(unnamed, "unnamed", kAdvanceVert, "vec2 nowhere"));
    EXPECT_EQ(notifier->boxes.size(), 1u);

    // Three buffers of 512 MB each: the grid is left without records.
    Mesh huge;
    createCustomPointGridVBO(huge, 8192, 4096, 0, true, parseVaryings("vec4 a"));
    EXPECT_TRUE(huge.records.empty());
    drawMesh(huge, 0);
    EXPECT_EQ(glGetError(), GLenum(GL_NO_ERROR));
}
