#include "editor/EditorState.h"

#include "platform/Installed.h"

#include <QObject>

EditorState::~EditorState()
{
    retireRows(activeRows);
    retireRows(directoryRows);
    retireTree(*this);
}

EditorState& editorState()
{
    return Installed<EditorState>::get();
}

void retireRows(QList<QObject*>& rows)
{
    for (QObject* row : rows)
        row->deleteLater();
    rows.clear();
}

void retireTree(EditorState& state)
{
    if (state.treeOwner)
        state.treeOwner->deleteLater();
    state.treeOwner = nullptr;
}
