#pragma once
// tarvonic --new-demo <folder>: a new demo, copied from the template, that
// plays at once and is the author's to change.
#include <string>
#include <vector>

namespace app {

struct NewDemoResult {
    // 0: written; 1: it could not be written (nothing is left behind);
    // 2: refused, the folder is not new or empty.
    int code = 0;
    std::vector<std::string> files; // what was written, '/'-separated paths from the folder
    std::string error;              // one line when code is not 0
};

// Copies every file under templateFolder into folder, which must be missing
// (it is made, with its parents) or an empty folder. A failure part way
// removes what this call made, so a folder is either a whole new demo or as
// it was.
NewDemoResult writeNewDemo(const std::string& templateFolder, const std::string& folder);

// What --new-demo prints once the demo is written: the files, then the two
// commands to run next, spelled for a shell from where the program was
// started (program is how it was started, argv[0]).
std::string newDemoReport(const std::string& program, const std::string& folder,
                          const std::vector<std::string>& files);

// The whole of --new-demo: finds the template beside the program, writes
// the demo, prints the report (or one line on the standard error stream),
// and returns the exit code.
int runNewDemo(const std::string& program, const std::string& folder);

} // namespace app
