#pragma once
// Where the demo lives on disk: the working directory it was started in and
// the entries found under its fx folder. Start-up fills it once; the skene
// loader, the editor model and the controller read it.
#include <string>
#include <vector>

struct DemoFolders {
    std::string rootDir; // the working directory at start
    std::string fxPath;  // rootDir + "/fx"
    // Names under fx without a "." (skenes and shared folders), in listing
    // order.
    std::vector<std::string> skeneDirectories;
};

// The one DemoFolders of the process.
DemoFolders& demoFolders();

// Empties it again, as a new process finds it (for tests).
void resetDemoFolders();

// True when name can be read below the root directory or as it stands
// (callers pass both demo-relative and full paths).
bool demoFileReadable(const std::string& name);
