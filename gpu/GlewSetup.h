#pragma once

namespace app {

// Loads the GL entry points for the current context and writes the two
// start-up log lines; true when GLEW is ready.
bool initGlew();

} // namespace app
