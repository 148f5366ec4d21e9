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
    DepthStacks depth;
    depth.pushTest(true);
    depth.pushWrite(true);
    EXPECT_TRUE(depthTestOn());
    EXPECT_TRUE(depthWriteOn());

    // An inner item without depth test and writes...
    depth.pushTest(false);
    depth.pushWrite(false);
    EXPECT_FALSE(depthTestOn());
    EXPECT_FALSE(depthWriteOn());
    // ...hands the outer state back when it finishes.
    depth.popWrite();
    depth.popTest();
    EXPECT_TRUE(depthTestOn());
    EXPECT_TRUE(depthWriteOn());

    // Emptying the stacks leaves both off.
    depth.popWrite();
    depth.popTest();
    EXPECT_FALSE(depthTestOn());
    EXPECT_FALSE(depthWriteOn());
    EXPECT_TRUE(depth.test.empty());
    EXPECT_TRUE(depth.write.empty());
}

TEST_F(DepthState, PopOnEmptyStackStaysEmptyAndOff)
{
    Context c;
    ASSERT_TRUE(c.current);
    DepthStacks depth;
    glEnable(GL_DEPTH_TEST);
    depth.popTest();
    depth.popWrite();
    EXPECT_TRUE(depth.test.empty());
    EXPECT_FALSE(depthTestOn());
    EXPECT_FALSE(depthWriteOn());
    depth.pushTest(true);
    EXPECT_EQ(depth.test.size(), 1u);
    EXPECT_TRUE(depthTestOn());
}
