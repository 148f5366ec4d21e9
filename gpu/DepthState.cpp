#include <GL/glew.h>

#include "gpu/DepthState.h"

namespace {

void applyDepthTest(bool on)
{
    if (on)
        glEnable(GL_DEPTH_TEST);
    else
        glDisable(GL_DEPTH_TEST);
}

void applyDepthWrite(bool on)
{
    glDepthMask(on ? GL_TRUE : GL_FALSE);
}

} // namespace

void DepthStacks::pushTest(bool on)
{
    test.push_back(on);
    applyDepthTest(on);
}

void DepthStacks::popTest()
{
    // An unbalanced pop from a broken item must not take the stack below
    // empty; it leaves the test off like any pop that empties it.
    if (!test.empty())
        test.pop_back();
    applyDepthTest(!test.empty() && test.back());
}

void DepthStacks::pushWrite(bool on)
{
    write.push_back(on);
    applyDepthWrite(on);
}

void DepthStacks::popWrite()
{
    if (!write.empty())
        write.pop_back();
    applyDepthWrite(!write.empty() && write.back());
}
