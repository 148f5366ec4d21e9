#pragma once
// The edit view's property edit lands on a running item here: the frame
// hands the pending edit (state/PendingEdit.h) to each skene root in turn,
// and the walk below the root looks for the item whose path
// (items/ItemPath.h) the edit names.
#include <string>

class QObject;
class QQuickItem;

// Applies the pending edit to the item below target, whose own path is
// itemPath, whose item path matches; true when it did. Depth first, in
// child order: the first item whose path matches uses the edit up (the
// pending path cleared), also when that item has no writable property of
// the name or the value does not convert to its type: then nothing
// changes, the path is logged and the answer is false. Nothing pending, or
// no target: false.
bool applyEditBelow(QQuickItem* target, const std::string& itemPath);

// Applies the pending edit to item itself, an edit made through a node of
// the edit view's tree (state/PendingEdit.h's throughNode); the pending path
// is cleared either way. False, with a log line, when the item is gone or
// refuses the value as above.
bool applyEditToItem(QObject* item);
