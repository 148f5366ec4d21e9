#pragma once
// Loading the GL entry points beyond OpenGL 1.1. Every GL call of the system
// goes through them, so nothing may touch GL before glewReady().

// Loads the entry points for the current context and writes the two
// start-up log lines (and the GL version once loaded); true when GLEW is
// ready. Without a current context it fails and can be tried again.
bool initGlew();

// True once initGlew has succeeded in this process.
bool glewReady();

// glewReady(), else initGlew() for the context current now. Every GL step
// that Qt Quick may run before the frame has loaded GLEW (the items'
// synchronisation) asks this first.
bool ensureGlew();

// Forgets that GLEW was loaded, so the next frame loads it again (for tests
// that run a frame without a context).
void forgetGlew();
