#include "gpu/DepthState.h"

#include "support/FreshState.h"
#include "support/QtTestApp.h"

#include <QOffscreenSurface>
#include <QOpenGLContext>
#include <gtest/gtest.h>

#include <GL/gl.h>

namespace {

// The application must exist before the surface member is made.
struct AppFirst {
    AppFirst() { ensureQtApp(); }
};

struct Context : AppFirst {
    Context()
    {
        surface.create();
        context.create();
        current = context.makeCurrent(&surface);
    }
    QOffscreenSurface surface;
    QOpenGLContext context;
    bool current = false;
};

bool depthTestOn()
{
    return glIsEnabled(GL_DEPTH_TEST) == GL_TRUE;
}

bool depthWriteOn()
{
    GLboolean mask = GL_FALSE;
    glGetBooleanv(GL_DEPTH_WRITEMASK, &mask);
    return mask == GL_TRUE;
}

struct DepthState : FreshStateTest {
};

} // namespace

TEST_F(DepthState, NestedPushesRestoreTheOuterState)
{
    Context c;
    ASSERT_TRUE(c.current);
    pushDepthTest(true);
    pushDepthWrite(true);
    EXPECT_TRUE(depthTestOn());
    EXPECT_TRUE(depthWriteOn());

    // An inner item without depth test and writes...
    pushDepthTest(false);
    pushDepthWrite(false);
    EXPECT_FALSE(depthTestOn());
    EXPECT_FALSE(depthWriteOn());
    // ...hands the outer state back when it finishes.
    popDepthWrite();
    popDepthTest();
    EXPECT_TRUE(depthTestOn());
    EXPECT_TRUE(depthWriteOn());

    // Emptying the stacks leaves both off.
    popDepthWrite();
    popDepthTest();
    EXPECT_FALSE(depthTestOn());
    EXPECT_FALSE(depthWriteOn());
    EXPECT_TRUE(depthStacks().test.empty());
    EXPECT_TRUE(depthStacks().write.empty());
}

TEST_F(DepthState, PopOnEmptyStackStaysEmptyAndOff)
{
    Context c;
    ASSERT_TRUE(c.current);
    glEnable(GL_DEPTH_TEST);
    popDepthTest();
    popDepthWrite();
    EXPECT_TRUE(depthStacks().test.empty());
    EXPECT_FALSE(depthTestOn());
    EXPECT_FALSE(depthWriteOn());
    pushDepthTest(true);
    EXPECT_EQ(depthStacks().test.size(), 1u);
    EXPECT_TRUE(depthTestOn());
}
