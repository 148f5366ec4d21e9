#include "items/IEffect.h"

#include "items/ItemTypes.h"
#include "state/PendingEdit.h"

#include <QDebug>
#include <QMetaProperty>
#include <QVariant>

#include <cstring>

IEffect::IEffect(QQuickItem* parent)
    : QQuickItem(parent)
{
}

QString IEffect::getName() const
{
    // Stored as UTF-8 by both writers; reading it back any other way would
    // make every evaluateRocketName grow a non-ASCII name. Read every frame
    // (evaluateRocketName), so the Qt string is made again only when the
    // name has changed.
    if (name_ != nameConverted_) {
        nameConverted_ = name_;
        nameQt_ = QString::fromStdString(name_);
    }
    return nameQt_;
}

void IEffect::setName(const QString& name)
{
    const std::string value = name.toStdString();
    if (value == name_)
        return;
    name_ = value;
    qDebug() << "the effect name is now:";
    qDebug() << name_.c_str();
    Q_EMIT nameChanged();
}

std::string IEffect::getOrigName()
{
    return std::string();
}

void IEffect::evaluateRocketName()
{
    assignText(name_, property("name").toString());
}

void IEffect::assignText(std::string& out, const QString& text)
{
    const int n = text.size();
    const ushort* in = text.utf16();
    ushort all = 0;
    bool same = size_t(n) == out.size();
    for (int i = 0; i < n; ++i) {
        all |= in[i];
        same = same && char(in[i]) == out[size_t(i)];
    }
    if (all >= 0x80) {
        out = text.toStdString();
        return;
    }
    if (same)
        return;
    out.resize(size_t(n));
    for (int i = 0; i < n; ++i)
        out[size_t(i)] = char(in[i]);
}

std::string IEffect::segmentName(const char* className)
{
    std::string cut = className ? className : "";
    const size_t at = cut.find("_QML");
    if (at != std::string::npos)
        cut.resize(at);

#define SEGMENT_ROW(cppClass, qmlName, segment) {#cppClass, segment},
    static const struct {
        const char* className;
        const char* segment;
    } kSegments[] = {DEMO_ITEM_TYPES(SEGMENT_ROW)};
#undef SEGMENT_ROW
    for (const auto& s : kSegments) {
        if (cut == s.className)
            return s.segment;
    }
    return cut;
}

std::string IEffect::childPath(const std::string& parentPath, int index, const QObject* child)
{
    // Paths grow with the tree, so they are built in growing strings.
    return parentPath + "/" + std::to_string(index) + ":=" + segmentName(child->metaObject()->className());
}

namespace {

// Sets the edit's property on item, or says why it cannot: Qt would add an
// unknown name as a new dynamic property, and a text that does not convert
// to the property's type would leave a default value in it.
bool setEditedProperty(QQuickItem* item, const PendingEdit& edit, const std::string& path)
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
    if (!whyNot)
        return true;
    qDebug() << "modVal left the item unchanged:" << whyNot;
    qDebug() << "item path:" << path.c_str() << "property:" << edit.propertyName.c_str()
             << "value:" << edit.value.c_str();
    return false;
}

} // namespace

bool IEffect::modVal(QQuickItem* pTarget, std::string itemPath)
{
    PendingEdit& edit = pendingEdit();
    if (edit.targetPath.empty() || !pTarget)
        return false;
    qDebug() << "modPathToItem received at IEffect:";
    qDebug() << edit.targetPath.c_str();

    int index = 0;
    const QList<QQuickItem*> children = pTarget->childItems();
    for (QQuickItem* child : children) {
        const std::string path = childPath(itemPath, index, child);
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
        if (modVal(child, path))
            return true;
        // Found below but refused: the walk ends there too.
        if (edit.targetPath.empty())
            return false;
        ++index;
    }
    return false;
}

void IEffect::renderChildren(RenderNameListItem*)
{
    // A const list: a range-for over childItems()'s temporary would call
    // the non-const begin() on a shared list and copy it, every item of
    // every frame (the same in every per-frame walk over children).
    const QList<QQuickItem*> children = childItems();
    for (QQuickItem* child : children) {
        auto* effect = qobject_cast<IEffect*>(child);
        if (effect && effect->isEnabled())
            effect->render(nullptr);
    }
}
