#pragma once
// The data that comes with the program: the example demo and the template
// that --new-demo copies. An installed program, <prefix>/bin/tarvonic,
// finds them in <prefix>/share/tarvonic/; one run from its build folder
// finds the checkout's own.
#include <string>

namespace app {

// The template's folder (it holds fx/): <programDir>/../share/tarvonic/template,
// else the checkout's share/template. Empty when neither is there.
std::string demoTemplateFolder(const std::string& programDir);

// The installed example demo, <programDir>/../share/tarvonic/examples/lumenfall;
// empty when the program is not installed beside one.
std::string installedExampleDemo(const std::string& programDir);

} // namespace app
