#pragma once
// What the edit view has been shown of the running demo: the context it
// reads from, the rows of the two skene lists and the skene tree published
// there last (each replaced as a whole on every change), and the Demo item
// published with the tree. Its owner is the process state
// (app/ProcessState.h); when it ends it lets go of everything published,
// which is deleted once control is back in the event loop.
#include <QList>
#include <QPointer>

class QObject;
class QQmlContext;
class QQuickItem;

struct EditorState {
    EditorState() = default;
    ~EditorState();
    EditorState(const EditorState&) = delete;
    EditorState& operator=(const EditorState&) = delete;

    // The edit view's root context; null without an edit view.
    QPointer<QQmlContext> editContext;
    QList<QObject*> activeRows;
    QList<QObject*> directoryRows;

    // The nodes of the tree shown now, all owned by one object, where they
    // were published, and the Demo item published with them.
    QObject* treeOwner = nullptr;
    QPointer<QQmlContext> treeContext;
    QQuickItem* treeDemo = nullptr;
    // A child list in the tree changed; the tree is built again soon.
    bool treeRebuildPending = false;
};

// The one of the running demo.
EditorState& editorState();

// QML may still read rows and nodes until its bindings have moved on to
// new ones, so they go once control is back in the event loop.
void retireRows(QList<QObject*>& rows);
void retireTree(EditorState& state);
