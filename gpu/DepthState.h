#pragma once
// Depth test and depth write state shared by the draw items.
//
// Each is a stack of booleans, one pair per set of GPU resources
// (gpu/GpuResources.h). A draw item pushes what it wants while it draws and
// pops it afterwards, so nested items hand the state back to their parent: a
// push applies the new value at once, a pop applies the new top entry, or
// "off" (test disabled, writes masked) when the stack is empty. The frame
// pushes "on" for both before the skenes render and pops them after, so
// every skene starts with depth testing and writing on.
//
// Used only on the thread that renders the frame, with its GL context current.
#include <vector>

struct DepthStacks {
    std::vector<bool> test;
    std::vector<bool> write;

    // glEnable/glDisable(GL_DEPTH_TEST) for the new top.
    void pushTest(bool on);
    // Restores the entry below; popping an empty stack only disables the test.
    void popTest();

    // glDepthMask for the new top.
    void pushWrite(bool on);
    // Restores the entry below; popping an empty stack only masks writes.
    void popWrite();
};
