#pragma once
#include <string>
#include <vector>

namespace app {

extern const char* const kActiveSkenesFileOption; // "-activeSkenesFile:"

// Every argument (the program name included) that contains the option text
// sets the path to what follows the option; a later one replaces an earlier
// one. Returns path unchanged when no argument matches.
std::string scanActiveSkenesFileOption(const std::vector<std::string>& args, std::string path);

// The active setup path at start-up: the option, else the default setup file;
// a non-empty current setup name then replaces both.
std::string chooseActiveSetupPath(const std::string& optionPath, const std::string& fxPath,
                                  const std::string& currentSetupName);

} // namespace app
