#include <GL/glew.h>

#include "gpu/GpuResources.h"
#include "items/ShaderAtomicCounterQML.h"

#include "gpu/AtomicCounters.h"

#include "support/FreshState.h"
#include "support/GlFramebuffer.h"
#include "support/GlTestContext.h"
#include "support/ProbeEffect.h"

#include <gtest/gtest.h>

#include <cstdint>

namespace {

// Counts its fragments, one per pixel of the 4 x 4 target, in the counter
// at binding 0 (the vertices go through the fixed-function stage).
struct CountingDraw : ProbeEffect {
    CountingDraw()
    {
        const char* source = "#version 430 compatibility\n"
                             "layout(binding = 0, offset = 0) uniform atomic_uint hits;\n"
                             "void main() { atomicCounterIncrement(hits); }\n";
        const GLuint program = glCreateShaderProgramv(GL_FRAGMENT_SHADER, 1, &source);
        onRender = [program] {
            glUseProgram(program);
            glRectf(-1.0f, -1.0f, 1.0f, 1.0f);
            glUseProgram(0);
        };
    }
};

uint32_t counterValue(const std::string& name)
{
    glMemoryBarrier(GL_ALL_BARRIER_BITS);
    uint32_t value = 0;
    glGetNamedBufferSubData(gpu().counters.get(name).buffer, 0, sizeof value, &value);
    return value;
}

struct CounterFixture : FreshStateTest {
    GlTestContext gl;
    GlFramebuffer fb{4, 4};
};

} // namespace

TEST_F(CounterFixture, ItemsOfOneNameCountInOneBufferThatOnlyClearResets)
{
    ASSERT_TRUE(gl.ok());
    fb.bindCleared();
    ShaderAtomicCounterQML first, second;
    first.setName("hits");
    first.setProperty("clear", true);
    second.setName("hits");
    CountingDraw firstDraw, secondDraw;
    firstDraw.setParentItem(&first);
    secondDraw.setParentItem(&second);

    // Each frame starts from the first item's zero; the second item's draws
    // count on from what the first one's left.
    for (int frame = 0; frame < 2; ++frame) {
        first.render(nullptr);
        EXPECT_EQ(counterValue("hits"), 16u);
        second.render(nullptr);
        EXPECT_EQ(counterValue("hits"), 32u);
    }
    // Without clear the count goes on across frames.
    second.render(nullptr);
    second.render(nullptr);
    EXPECT_EQ(counterValue("hits"), 64u);
    EXPECT_EQ(gpu().counters.counters.size(), 1u);

    // An unnamed counter gets a buffer of its own at its binding; a binding
    // the context lacks leaves no GL error behind.
    ShaderAtomicCounterQML unnamed;
    unnamed.setBind(3);
    unnamed.render(nullptr);
    GLint bound = 0;
    glGetIntegeri_v(GL_ATOMIC_COUNTER_BUFFER_BINDING, 3, &bound);
    EXPECT_EQ(GLuint(bound), gpu().counters.get("").buffer);
    EXPECT_NE(bound, GLint(gpu().counters.get("hits").buffer));
    unnamed.setBind(100000);
    unnamed.render(nullptr);
    EXPECT_EQ(glGetError(), GLenum(GL_NO_ERROR));
}
