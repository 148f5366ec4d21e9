#include <GL/glew.h>

#include "items/ShaderAtomicCounterQML.h"
#include "items/ShaderBufferQML.h"

#include "gpu/AtomicCounters.h"

#include "support/FreshState.h"
#include "support/GlFramebuffer.h"
#include "support/GlTestContext.h"
#include "support/ProbeEffect.h"

#include <gtest/gtest.h>

#include <QSignalSpy>

#include <cstdint>

namespace {

GLuint compile(GLenum type, const char* source)
{
    const GLuint stage = glCreateShader(type);
    glShaderSource(stage, 1, &source, nullptr);
    glCompileShader(stage);
    return stage;
}

// Counts its fragments, one per pixel of the 4 x 4 target, in the counter
// at binding 0 when rendered.
struct CountingDraw : ProbeEffect {
    CountingDraw()
    {
        program = glCreateProgram();
        glAttachShader(program, compile(GL_VERTEX_SHADER, "#version 430 compatibility\n"
                                                          "void main() { gl_Position = gl_Vertex; }\n"));
        glAttachShader(program, compile(GL_FRAGMENT_SHADER,
                                        "#version 430 compatibility\n"
                                        "layout(binding = 0, offset = 0) uniform atomic_uint hits;\n"
                                        "out vec4 c;\n"
                                        "void main() { atomicCounterIncrement(hits); c = vec4(1.0); }\n"));
        glLinkProgram(program);
        onRender = [this] {
            glUseProgram(program);
            glRectf(-1.0f, -1.0f, 1.0f, 1.0f);
            glUseProgram(0);
        };
    }
    GLuint program = 0;
};

uint32_t counterValue(const std::string& name)
{
    glMemoryBarrier(GL_ALL_BARRIER_BITS);
    uint32_t value = 0;
    glBindBuffer(GL_ATOMIC_COUNTER_BUFFER, atomicCounter(name).buffer);
    glGetBufferSubData(GL_ATOMIC_COUNTER_BUFFER, 0, sizeof value, &value);
    glBindBuffer(GL_ATOMIC_COUNTER_BUFFER, 0);
    return value;
}

struct CounterFixture : FreshStateTest {
    void SetUp() override
    {
        ASSERT_TRUE(gl.ok());
        fb.bindCleared();
    }
    GlTestContext gl;
    GlFramebuffer fb{4, 4};
};

} // namespace

TEST_F(CounterFixture, ItemsOfOneNameCountInOneBufferThatOnlyClearResets)
{
    ShaderAtomicCounterQML first, second;
    first.setName("hits");
    first.setProperty("clear", true);
    second.setName("hits");
    CountingDraw firstDraw, secondDraw;
    firstDraw.setParentItem(&first);
    secondDraw.setParentItem(&second);

    // Each frame starts from the first item's zero; the second item's
    // draws count on from what the first one's left.
    for (int frame = 0; frame < 2; ++frame) {
        first.render(nullptr);
        EXPECT_EQ(counterValue("hits"), 16u);
        second.render(nullptr);
        EXPECT_EQ(counterValue("hits"), 32u);
    }
    EXPECT_EQ(atomicCounterRegistry().counters.size(), 1u);

    // Without clear the count goes on across frames.
    second.render(nullptr);
    second.render(nullptr);
    EXPECT_EQ(counterValue("hits"), 64u);
    EXPECT_EQ(glGetError(), GLenum(GL_NO_ERROR));
}

TEST_F(CounterFixture, BindingAndNamesWithoutAName)
{
    ShaderAtomicCounterQML counter;
    QSignalSpy binds(&counter, &ShaderAtomicCounterQML::bindChanged);
    counter.setBind(3);
    counter.setBind(3);
    EXPECT_EQ(binds.count(), 1);
    ProbeEffect child;
    child.setParentItem(&counter);
    counter.render(nullptr);
    EXPECT_EQ(child.renders, 1);
    ASSERT_EQ(atomicCounterRegistry().counters.count(""), 1u);
    const GLuint buffer = atomicCounter("").buffer;
    EXPECT_NE(buffer, 0u);
    GLint bound = 0;
    glGetIntegeri_v(GL_ATOMIC_COUNTER_BUFFER_BINDING, 3, &bound);
    EXPECT_EQ(GLuint(bound), buffer);

    // A binding the context lacks leaves no GL error behind.
    counter.setBind(100000);
    counter.render(nullptr);
    EXPECT_EQ(child.renders, 2);
    EXPECT_EQ(glGetError(), GLenum(GL_NO_ERROR));
    EXPECT_EQ(counter.getEffectName(), "ShaderAtomicCounter");
}

TEST_F(CounterFixture, ShaderBufferCarriesItsOwnNameAndRendersItsChildren)
{
    ShaderBufferQML storage;
    storage.setProperty("name", "particles");
    ProbeEffect child;
    child.setParentItem(&storage);
    storage.render(nullptr);
    EXPECT_EQ(storage.effectText(), "particles");
    EXPECT_EQ(child.renders, 1);
    EXPECT_EQ(storage.getEffectName(), "ShaderBuffer");
}
