#pragma once
// The property edit that the edit view asks for and the next frame applies
// to the running item at its item path.
#include <QObject>
#include <QPointer>

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
    // An edit made through a node of the edit view's tree is meant for the
    // node's item, wherever the item's path has moved to since the tree was
    // built: throughNode is set and item is that item (null once it is gone).
    bool throughNode = false;
    QPointer<QObject> item;
    // The item the last applied edit landed on (kept after the path is
    // cleared), so the frame after can tell whether a binding undid it.
    QPointer<QObject> landedOn;
};

// The one pending edit of the running demo, made by its owner (app/ProcessState.h).
PendingEdit& pendingEdit();

