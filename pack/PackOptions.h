#pragma once
// The command line of tarvonic-pack, the data pack tool:
//   tarvonic-pack [options] [demo folder] [pattern ...]
#include "platform/OptionHelp.h"

#include <string>
#include <vector>

namespace pack {

struct PackOptions {
    bool help = false;
    bool version = false;
    std::string folder = "."; // the demo's root folder
    std::string out;          // -out:; empty for <folder>/datapack.dat
    std::vector<std::string> patterns;
    // One line about the first argument that cannot be used; empty when all
    // can.
    std::string error;
};

// Reads args (args[0] is the program name and is skipped). Every option is a
// row of one table, which helpText and manPage print.
PackOptions parsePackOptions(const std::vector<std::string>& args);

std::string helpText();
// "tarvonic-pack <version>".
std::string versionText();
platform::ManPage manPage();

} // namespace pack
