#pragma once
// The program's command line: its own options in the "-name:value" style,
// the usual --help and --version, and the demo folder to play.
//
//   tarvonic [options] [demo folder]
//   tarvonic --new-demo <folder>
#include "app/CaptureOptions.h"
#include "platform/OptionHelp.h"

#include <string>
#include <vector>

namespace app {

extern const char* const kActiveSkenesFileOption; // "-activeSkenesFile:"

// What the command line asks for.
struct CommandLine {
    bool help = false;
    bool version = false;
    // The sync traffic's per-key and per-track debug lines (sync/SyncLog.h).
    bool verbose = false;
    // --new-demo: write a new demo into demoFolder instead of playing one.
    bool newDemo = false;
    // The demo's root folder (the one that holds fx/); empty for the working
    // directory.
    std::string demoFolder;
    // -capture: and the options that shape it.
    CaptureOptions capture;
    // One line about the first argument that cannot be used; empty when all
    // can.
    std::string error;
};

// Reads args (args[0] is the program name and is skipped). Every option is a
// row of one table, so --help lists exactly the options that exist.
CommandLine parseCommandLine(const std::vector<std::string>& args);

// The usage line, then one line per option.
std::string helpText();
// "tarvonic <version>".
std::string versionText();
// The manual page: the same options as helpText, with what the program
// does, its exit codes and examples around them.
platform::ManPage manPage();

// Every argument (the program name included) that contains the option text
// sets the path to what follows the option; a later one replaces an earlier
// one. Returns path unchanged when no argument matches.
std::string scanActiveSkenesFileOption(const std::vector<std::string>& args, std::string path);

// The active setup path at start-up: the option, else the default setup file;
// a non-empty current setup name then replaces both.
std::string chooseActiveSetupPath(const std::string& optionPath, const std::string& fxPath,
                                  const std::string& currentSetupName);

} // namespace app
