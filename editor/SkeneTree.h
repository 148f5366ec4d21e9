#pragma once
// The edit view's skene tree: one DataObject per item of each active skene
// that the Demo item has loaded, in child order, with the names its sync
// tracks use and what the value editor needs to address the item. Built and
// published after every load; the view shows it as "myModel".
#include <QList>
#include <QObject>

class QQmlContext;
class QQuickItem;

// Context property names in the edit view.
extern const char* const kSkeneTreeProperty; // "myModel", the top-level nodes
extern const char* const kDemoItemProperty;  // "demo", the Demo item

// The tree of the skenes among demo's child items: a node per skene root
// (a child the loader gave a "sceneName") whose skene is active, and below
// it a node per child item, depth first. Items whose name contains
// "DebugInfo" are left out with everything below them. The nodes are owned
// by owner (a node's list of children does not own them).
//
// Per node: name (the item's name, else its kind), rocketName (its name),
// rocketNameStack (the names from the skene down, dot-joined; an unnamed
// item adds nothing), origName (the type's own name for it), details (its
// kind and what identifies it: file, type, parameter or target names),
// skeneName, rocketPortIndex (the skene's rocket slot), skeneEnabled (the
// root's switch; true below it), colour "white", and the item path,
// editable properties and item of DataObject::setEditTarget. A skene root
// has no editable properties: item paths address the items below it.
QList<QObject*> buildSkeneTree(QQuickItem* demo, QObject* owner);

// Publishes the tree of demo's skenes and demo itself into context,
// replacing the tree published before; its nodes are deleted once control
// is back in the event loop, when QML has let go of them. Nothing when
// context is null. When the child list of an item in the tree changes (a
// Repeater's model, a Loader's item), the tree is built and published again
// once control is back in the event loop.
void publishSkeneTree(QQmlContext* context, QQuickItem* demo);

// The edit view's "demo" becomes null when it is demo, which is going away.
void withdrawDemoItem(QQuickItem* demo);

// The node of the tree published last for the item at itemPath in skene, or
// null (no tree, no such node). A skene root is not an edit's node.
class DataObject;
const DataObject* skeneTreeNode(const QString& skene, const QString& itemPath);
