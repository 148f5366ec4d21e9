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

DepthStacks& depthStacks()
{
    static DepthStacks stacks;
    return stacks;
}

void resetDepthStacks()
{
    depthStacks() = DepthStacks();
}

void pushDepthTest(bool on)
{
    depthStacks().test.push_back(on);
    applyDepthTest(on);
}

void popDepthTest()
{
    std::vector<bool>& stack = depthStacks().test;
    // An unbalanced pop from a broken item must not take the stack below
    // empty; it leaves the test off like any pop that empties it.
    if (!stack.empty())
        stack.pop_back();
    applyDepthTest(!stack.empty() && stack.back());
}

void pushDepthWrite(bool on)
{
    depthStacks().write.push_back(on);
    applyDepthWrite(on);
}

void popDepthWrite()
{
    std::vector<bool>& stack = depthStacks().write;
    if (!stack.empty())
        stack.pop_back();
    applyDepthWrite(!stack.empty() && stack.back());
}
