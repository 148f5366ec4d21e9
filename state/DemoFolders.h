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

// The one DemoFolders of the running demo, made by its owner (app/ProcessState.h).
DemoFolders& demoFolders();


// True when name can be read below the root directory or as it stands
// (callers pass both demo-relative and full paths).
bool demoFileReadable(const std::string& name);

// The "file://" URL of a demo file, for QML: name (backslashes read as "/")
// below the root directory, else as it stands; empty when it cannot be read
// either way.
std::string demoFileUrl(const std::string& name);

// What the Demo item's and the controller's path() answer QML: the URL of a
// skene's file, with the log lines of a found and of a missing file. A
// missing file is to be announced (fileNotFound) when the skene is named and
// the name holds no two backslashes in a row; *announce says so.
std::string skeneFileUrl(const std::string& fileName, const std::string& skeneName, bool* announce);
