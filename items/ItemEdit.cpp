#include "items/ItemEdit.h"

#include "items/ItemPath.h"
#include "state/PendingEdit.h"

#include <QDebug>
#include <QMetaProperty>
#include <QQuickItem>
#include <QVariant>

namespace {

// Sets the edit's property on item, or says why it cannot: Qt would add an
// unknown name as a new dynamic property, and a text that does not convert
// to the property's type would leave a default value in it.
bool setEditedProperty(QObject* item, const PendingEdit& edit, const std::string& path)
{
    const QMetaObject* meta = item->metaObject();
    const int index = meta->indexOfProperty(edit.propertyName.c_str());
    const char* whyNot = nullptr;
    if (index < 0)
        whyNot = "the item has no property of that name";
    else if (!meta->property(index).isWritable())
        whyNot = "the property cannot be written";
    else if (!meta->property(index).write(item, QVariant(QString::fromStdString(edit.value))))
        whyNot = "the value does not fit the property";
    if (!whyNot) {
        pendingEdit().landedOn = item;
        return true;
    }
    qDebug() << "modVal left the item unchanged:" << whyNot;
    qDebug() << "item path:" << path.c_str() << "property:" << edit.propertyName.c_str()
             << "value:" << edit.value.c_str();
    return false;
}

} // namespace

bool applyEditBelow(QQuickItem* target, const std::string& itemPath)
{
    PendingEdit& edit = pendingEdit();
    if (edit.targetPath.empty() || !target)
        return false;
    qDebug() << "modPathToItem received at IEffect:";
    qDebug() << edit.targetPath.c_str();

    int index = 0;
    const QList<QQuickItem*> children = target->childItems();
    for (QQuickItem* child : children) {
        const std::string path = childItemPath(itemPath, index, child);
        qDebug() << path.c_str();
        if (path == edit.targetPath) {
            qDebug() << "found the modPathToItem!";
            qDebug() << "modifying:";
            qDebug() << edit.propertyName.c_str();
            qDebug() << "into:";
            qDebug() << edit.value.c_str();
            const bool applied = setEditedProperty(child, edit, path);
            edit.targetPath.clear();
            return applied;
        }
        if (applyEditBelow(child, path))
            return true;
        // Found below but refused: the walk ends there too.
        if (edit.targetPath.empty())
            return false;
        ++index;
    }
    return false;
}

bool applyEditToItem(QObject* item)
{
    PendingEdit& edit = pendingEdit();
    const std::string path = edit.targetPath;
    edit.targetPath.clear();
    if (!item) {
        qDebug() << "modVal left nothing changed: the item of" << path.c_str() << "is gone";
        return false;
    }
    return setEditedProperty(item, edit, path);
}
