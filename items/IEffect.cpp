#include "items/IEffect.h"

#include "items/ItemTypes.h"
#include "state/PendingEdit.h"

#include <QDebug>
#include <QVariant>

#include <cstring>

IEffect::IEffect(QQuickItem* parent)
    : QQuickItem(parent)
{
}

QString IEffect::getName() const
{
    // Stored as UTF-8 by both writers; reading it back any other way would
    // make every evaluateRocketName grow a non-ASCII name.
    return QString::fromStdString(name_);
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
    name_ = property("name").toString().toStdString();
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

bool IEffect::modVal(QQuickItem* pTarget, std::string itemPath)
{
    PendingEdit& edit = pendingEdit();
    if (edit.targetPath.empty() || !pTarget)
        return false;
    qDebug() << "modPathToItem received at IEffect:";
    qDebug() << edit.targetPath.c_str();

    int index = 0;
    for (QQuickItem* child : pTarget->childItems()) {
        // Paths grow with the tree, so they are built in growing strings.
        const std::string path = itemPath + "/" + std::to_string(index) + ":=" +
                                 segmentName(child->metaObject()->className());
        qDebug() << path.c_str();
        if (path == edit.targetPath) {
            qDebug() << "found the modPathToItem!";
            qDebug() << "modifying:";
            qDebug() << edit.propertyName.c_str();
            qDebug() << "into:";
            qDebug() << edit.value.c_str();
            child->setProperty(edit.propertyName.c_str(), QVariant(QString::fromStdString(edit.value)));
            edit.targetPath.clear();
            return true;
        }
        if (modVal(child, path))
            return true;
        ++index;
    }
    return false;
}

void IEffect::renderChildren(RenderNameListItem*)
{
    for (QQuickItem* child : childItems()) {
        auto* effect = qobject_cast<IEffect*>(child);
        if (effect && effect->isEnabled())
            effect->render(nullptr);
    }
}
