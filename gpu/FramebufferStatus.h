#pragma once
// The log text of a framebuffer completeness status, shared by the frame's
// offscreen targets and the render targets.
#include <GL/glew.h>

// " Framebuffer: no error" for a complete framebuffer, else " Framebuffer
// error: ..." naming the status; callers put their own label in front.
const char* framebufferStatusText(GLenum status);
