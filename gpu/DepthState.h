#pragma once
// Depth test and depth write state shared by the draw items.
//
// Each is a process-wide stack of booleans. A draw item pushes what it wants
// while it draws and pops it afterwards, so nested items hand the state back
// to their parent: a push applies the new value at once, a pop applies the new
// top entry, or "off" (test disabled, writes masked) when the stack is empty.
// The frame pushes "on" for both before the skenes render and pops them after,
// so every skene starts with depth testing and writing on.
//
// Used only on the thread that renders the frame, with its GL context current.
#include <vector>

struct DepthStacks {
    std::vector<bool> test;
    std::vector<bool> write;
};

// The one pair of depth stacks of the process.
DepthStacks& depthStacks();

// Both stacks empty, without touching GL (for tests).
void resetDepthStacks();

// glEnable/glDisable(GL_DEPTH_TEST) for the new top.
void pushDepthTest(bool on);
// Restores the entry below; popping an empty stack only disables the test.
void popDepthTest();

// glDepthMask for the new top.
void pushDepthWrite(bool on);
// Restores the entry below; popping an empty stack only masks writes.
void popDepthWrite();
