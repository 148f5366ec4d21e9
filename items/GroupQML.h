#pragma once
// "Group": gathers effects so that a skene can switch them on and off
// together (enabled) and give the edit view a labelled node. A disabled
// group renders nothing below it, enabled children included, whether the
// traversal reaches it or a draw item renders it in place.
#include "items/IEffect.h"

#include <QString>

class GroupQML : public IEffect {
    Q_OBJECT
    // The label, kept as the item's effect text. Both setters store without
    // notifying.
    Q_PROPERTY(QString effectName READ effectName WRITE setEffectName NOTIFY effectNameChanged)
    // What getEffectName answers: "Group" unless the skene says otherwise.
    Q_PROPERTY(QString effectDetails READ effectDetails WRITE setEffectDetails NOTIFY effectDetailsChanged)

public:
    explicit GroupQML(QQuickItem* parent = nullptr);

    QString effectName() const { return QString::fromStdString(effectText_); }
    void setEffectName(const QString& name) { effectText_ = name.toStdString(); }
    QString effectDetails() const { return QString::fromStdString(effectDetails_); }
    void setEffectDetails(const QString& details) { effectDetails_ = details.toStdString(); }

Q_SIGNALS:
    void effectNameChanged();
    void effectDetailsChanged();

public Q_SLOTS:
    std::string getEffectName() override { return effectDetails_; }
    std::string getOrigName() override { return "Group"; }
    void render(RenderNameListItem* pRNLI) override;

private:
    std::string effectDetails_ = "Group";
};
