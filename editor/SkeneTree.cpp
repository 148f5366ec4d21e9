#include "editor/SkeneTree.h"

#include "editor/DataObject.h"
#include "editor/EditorState.h"
#include "items/IEffect.h"
#include "items/ItemPath.h"
#include "platform/Installed.h"
#include "state/ActiveSkeneList.h"

#include <QMetaProperty>
#include <QPointer>
#include <QQmlContext>
#include <QQuickItem>
#include <QTimer>
#include <QVariant>

#include <set>
#include <string>

const char* const kSkeneTreeProperty = "myModel";
const char* const kDemoItemProperty = "demo";

namespace {

// The path of every skene root: the frame starts each skene's search there.
const char* const kSkeneRootPath = "/0:=RocketScene";

// What the tree is built in and for.
struct TreeBuild {
    QObject* owner = nullptr;
    std::string skene;
    int rocketIndex = 0;
};

std::string text(const QVariant& value)
{
    return value.toString().toStdString();
}

// What the item is: an effect's own name for its type, else the type's
// segment without Qt Quick's class prefix ("Rectangle", not
// "QQuickRectangle").
std::string kindOf(QQuickItem* item, const std::string& segment)
{
    if (auto* effect = qobject_cast<IEffect*>(item))
        return effect->getEffectName();
    if (segment.compare(0, 6, "QQuick") == 0 && segment.size() > 6)
        return segment.substr(6);
    return segment;
}

std::string detailsOf(QQuickItem* item, const std::string& kind)
{
    static const char* const kIdentifying[] = {"file", "type", "paramName", "textureRT", "target", "vboId"};
    std::string details = kind;
    for (const char* name : kIdentifying) {
        const QVariant value = item->property(name);
        if (value.type() == QVariant::String && !value.toString().isEmpty())
            details += std::string("  ") + name + ": " + text(value);
    }
    return details;
}

// The properties the value editor offers: those the item's own type (and a
// QML file on top of it) declare beyond Qt Quick's, that can be written and
// hold a number or a truth value, then "enabled" to switch the item off.
QVariantList editablePropertiesOf(QQuickItem* item)
{
    QVariantList list;
    std::set<std::string> seen;
    const QMetaObject* meta = item->metaObject();
    auto add = [&](const QMetaProperty& property) {
        const char* kind = nullptr;
        switch (property.userType()) {
        case QMetaType::Float:
        case QMetaType::Double:
            kind = "real";
            break;
        case QMetaType::Int:
        case QMetaType::UInt:
        case QMetaType::Long:
        case QMetaType::LongLong:
            kind = "int";
            break;
        case QMetaType::Bool:
            kind = "bool";
            break;
        default:
            return;
        }
        if (!property.isWritable() || !seen.insert(property.name()).second)
            return;
        QVariantMap entry;
        entry["name"] = QString::fromLatin1(property.name());
        entry["kind"] = QString::fromLatin1(kind);
        list.append(entry);
    };
    // A type that declares a name again (Pos's x) shadows Qt Quick's.
    for (int i = QQuickItem::staticMetaObject.propertyCount(); i < meta->propertyCount(); ++i)
        add(meta->property(meta->indexOfProperty(meta->property(i).name())));
    add(meta->property(meta->indexOfProperty("enabled")));
    return list;
}

DataObject* makeNode(const TreeBuild& build, QQuickItem* item, const std::string& name, const std::string& stack,
                     const std::string& path, bool root)
{
    const std::string segment = itemSegmentNameOf(item->metaObject());
    const std::string kind = kindOf(item, segment);
    auto* node = new DataObject(QString::fromStdString(name.empty() ? kind : name), "white", build.owner);
    node->setRocketName(QString::fromStdString(name));
    std::string origName;
    if (auto* effect = qobject_cast<IEffect*>(item))
        origName = effect->getOrigName();
    node->setOrigName(QString::fromStdString(origName.empty() ? segment : origName));
    node->setRocketNameStack(QString::fromStdString(stack));
    node->setDetails(QString::fromStdString(detailsOf(item, kind)));
    node->setSkeneName(QString::fromStdString(build.skene));
    node->setRocketPortIndexSilently(build.rocketIndex);
    bool enabled = true;
    if (root) {
        auto* effect = qobject_cast<IEffect*>(item);
        enabled = item->isEnabled() && (!effect || effect->switchedOn());
    }
    node->setSkeneEnabledSilently(enabled);
    node->setEditTarget(QString::fromStdString(path), root ? QVariantList() : editablePropertiesOf(item), item);
    return node;
}

void publishAgainSoon()
{
    EditorState& tree = editorState();
    if (tree.treeRebuildPending || !tree.treeOwner)
        return;
    tree.treeRebuildPending = true;
    // Tied to the tree shown now: a tree replaced meanwhile takes it along.
    QTimer::singleShot(0, tree.treeOwner, [] {
        EditorState& state = editorState();
        state.treeRebuildPending = false;
        if (state.treeContext && state.treeDemo)
            publishSkeneTree(state.treeContext, state.treeDemo);
    });
}

// The nodes' paths count child items: when an item gains or loses one, the
// paths below it move, and new items lack nodes.
void watchChildren(const TreeBuild& build, QQuickItem* item)
{
    QObject::connect(item, &QQuickItem::childrenChanged, build.owner, publishAgainSoon);
}

void addChildren(const TreeBuild& build, QQuickItem* item, DataObject* node, const std::string& stack,
                 const std::string& path)
{
    watchChildren(build, item);
    int index = 0;
    for (QQuickItem* child : item->childItems()) {
        // The index counts every child item, left-out ones too, as the
        // item paths do.
        const std::string childPath = childItemPath(path, index++, child);
        const std::string name = text(child->property("name"));
        if (name.find("DebugInfo") != std::string::npos)
            continue;
        const std::string childStack = name.empty() ? stack : stack.empty() ? name : stack + "." + name;
        DataObject* childNode = makeNode(build, child, name, childStack, childPath, false);
        node->appendChild(childNode);
        addChildren(build, child, childNode, childStack, childPath);
    }
}

} // namespace

QList<QObject*> buildSkeneTree(QQuickItem* demo, QObject* owner)
{
    QList<QObject*> roots;
    if (!demo)
        return roots;
    for (QQuickItem* child : demo->childItems()) {
        TreeBuild build;
        build.owner = owner;
        build.skene = text(child->property("sceneName"));
        // Not loaded as a skene (the controller), a debug overlay, or a
        // skene switched off in the list since it was loaded.
        if (build.skene.empty() || build.skene.find("DebugInfo") != std::string::npos ||
            !isActiveSkene(build.skene))
            continue;
        build.rocketIndex = effectiveRocketIndex(build.skene);
        DataObject* root = makeNode(build, child, build.skene, build.skene, kSkeneRootPath, true);
        addChildren(build, child, root, build.skene, kSkeneRootPath);
        roots.append(root);
    }
    return roots;
}

void publishSkeneTree(QQmlContext* context, QQuickItem* demo)
{
    if (!context)
        return;
    EditorState& tree = editorState();
    auto* owner = new QObject;
    const QList<QObject*> roots = buildSkeneTree(demo, owner);
    context->setContextProperty(kDemoItemProperty, demo);
    context->setContextProperty(kSkeneTreeProperty, QVariant::fromValue(roots));
    retireTree(tree);
    tree.treeRebuildPending = false;
    tree.treeOwner = owner;
    tree.treeContext = context;
    tree.treeDemo = demo;
}

void withdrawDemoItem(QQuickItem* demo)
{
    // The Demo item may outlive the demo's state (a view torn down after).
    EditorState* tree = Installed<EditorState>::find();
    if (!tree || !demo || tree->treeDemo != demo)
        return;
    if (tree->treeContext)
        tree->treeContext->setContextProperty(kDemoItemProperty, QVariant::fromValue<QObject*>(nullptr));
    tree->treeDemo = nullptr;
}

const DataObject* skeneTreeNode(const QString& skene, const QString& itemPath)
{
    EditorState* tree = Installed<EditorState>::find();
    if (!tree || !tree->treeOwner)
        return nullptr;
    for (const DataObject* node : tree->treeOwner->findChildren<DataObject*>(QString(), Qt::FindDirectChildrenOnly)) {
        // A node whose item has gone still names it: the edit then lands
        // nowhere rather than on whatever has its path now.
        if (node->skeneName() == skene && node->itemPath() == itemPath && !node->editableProperties().isEmpty())
            return node;
    }
    return nullptr;
}
