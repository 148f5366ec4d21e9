#pragma once
// Loading the GL entry points beyond OpenGL 1.1. Every GL call of the system
// goes through them; the GPU resources (gpu/GpuResources.h) load them for
// their context and say whether they are loaded.

// Loads the entry points for the current context and writes the two
// start-up log lines (and the GL version once loaded); true when GLEW is
// ready. Without a current context it fails and can be tried again.
bool initGlew();
