#pragma once
// Starting external programs. Arguments go to the program directly, never
// through a shell, so file and track names cannot inject commands.
#include <string>
#include <vector>

namespace platform {

// Starts program detached with args; false when it could not be started.
bool launchDetached(const std::string& program, const std::vector<std::string>& args);

// True when path names an existing regular file that may be executed.
bool isExecutableFile(const std::string& path);

// Looks program up in the directories of PATH; empty when not found.
std::string findOnSearchPath(const std::string& program);

// The folder of this process's executable, from the kernel, so that it is
// known before (and without) an application object; empty when unknown.
std::string executableDirectory();

} // namespace platform
