#include "items/IEffect.h"

#include "items/ItemEdit.h"
#include "items/QmlText.h"

#include <QDebug>

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

bool IEffect::modVal(QQuickItem* pTarget, std::string itemPath)
{
    return applyEditBelow(pTarget, itemPath);
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
