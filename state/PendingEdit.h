#pragma once
// The property edit that the edit view asks for and the next frame applies
// to the running item at its item path.
#include <string>

struct PendingEdit {
    std::string targetPath; // empty when nothing is pending
    std::string propertyName;
    std::string value;
};

// The one pending edit of the process.
PendingEdit& pendingEdit();

// Nothing pending (for tests).
void resetPendingEdit();
