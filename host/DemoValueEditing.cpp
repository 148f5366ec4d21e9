// The Demo item's value editing: the edit view names a property of a
// running skene item, and the next frame sets it (applyPendingEdit).
#include "host/DemoQML.h"

#include "editor/DataObject.h"
#include "editor/SkeneTree.h"
#include "items/ItemPath.h"
#include "state/DemoFolders.h"
#include "state/PendingEdit.h"
#include "sync/Rocket.h"

#include <QDebug>

void DemoQML::modifySkeneValue(QString skeneName, QString pathToItem, QString propertyName, QString propertyValue)
{
    qDebug() << "modifySkeneValue called for skeneName:";
    qDebug() << skeneName;
    qDebug() << "modifySkeneValue called for pathToItem:";
    qDebug() << pathToItem;
    qDebug() << "modifySkeneValue called for propertyName:";
    qDebug() << propertyName;
    qDebug() << "modifySkeneValue called for propertyValue:";
    qDebug() << propertyValue;

    const SkeneValuePath parsed = parseSkeneValuePath(pathToItem.toStdString());
    if (!parsed.paramPos.empty()) {
        qDebug() << "Found the paramPos:";
        qDebug() << parsed.paramPos.c_str();
    }
    // A call that cannot be applied leaves an edit asked for earlier in this
    // frame as it was, value and property included.
    if (!parsed.hasItemPath) {
        qDebug() << "modifySkeneValue changed nothing:"
                 << (parsed.paramPos.empty() ? "the path has no \":/\"" : "no \"/\" comes before its \":/\"");
        return;
    }
    qDebug() << "Modified path to item is:";
    qDebug() << parsed.itemPath.c_str();
    if (!parsed.propertyName.empty()) {
        qDebug() << "parsed paramName:";
        qDebug() << parsed.propertyName.c_str();
        if (parsed.hasOldValue) {
            qDebug() << "parsed old paramValue:";
            qDebug() << parsed.oldValue.c_str();
        }
    }
    const std::string property = parsed.propertyName.empty() ? propertyName.toStdString() : parsed.propertyName;
    if (property.empty()) {
        qDebug() << "modifySkeneValue changed nothing: no property name for" << parsed.itemPath.c_str();
        return;
    }

    PendingEdit& edit = pendingEdit();
    edit.targetPath = parsed.itemPath;
    edit.propertyName = property;
    edit.value = propertyValue.toStdString();
    edit.skeneName = skeneName.toStdString();
    // The edit view names the items of its tree's nodes by the paths the
    // nodes were built with; such an edit is meant for the node's item.
    const DataObject* node = skeneTreeNode(skeneName, QString::fromStdString(parsed.itemPath));
    edit.throughNode = node != nullptr;
    edit.item = node ? node->item() : nullptr;
    // A paused demo that nothing has changed for a while keeps its last
    // image; the edit is a change, so the next frames draw it.
    Rocket::instance().note_change();
}

QString DemoQML::path(QString fileName, QString skeneName)
{
    bool announce = false;
    const std::string url = skeneFileUrl(fileName.toStdString(), skeneName.toStdString(), &announce);
    if (announce)
        Q_EMIT fileNotFound(fileName, skeneName);
    return QString::fromStdString(url);
}
