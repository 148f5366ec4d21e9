#pragma once
// The property edit that the edit view asks for and the next frame applies
// to the running item at its item path.
#include <string>

struct PendingEdit {
    std::string targetPath; // empty when nothing is pending
    std::string propertyName;
    std::string value;
    // The skene whose tree the path is meant for: every skene root has the
    // path "/0:=RocketScene", so without it an edit of one skene lands on
    // the item at the same path in the first skene that has one. Empty:
    // the first match in any skene, in child order.
    std::string skeneName;
};

// The one pending edit of the running demo, made by its owner (app/ProcessState.h).
PendingEdit& pendingEdit();

