#pragma once
// One node of the edit view's skene tree, or one row of a plain list that
// QML binds to directly (resolutions, setup files).
#include <QList>
#include <QObject>
#include <QPointer>
#include <QString>
#include <QVariantList>

class DataObject : public QObject {
    Q_OBJECT
    Q_PROPERTY(QString name READ name WRITE setName NOTIFY nameChanged)
    Q_PROPERTY(QString rocketName READ rocketName WRITE setRocketName NOTIFY rocketNameChanged)
    Q_PROPERTY(QString rocketNameStack READ rocketNameStack WRITE setRocketNameStack NOTIFY rocketNameStackChanged)
    Q_PROPERTY(QString details READ details WRITE setDetails NOTIFY detailsChanged)
    Q_PROPERTY(QString color READ color WRITE setColor NOTIFY colorChanged)
    Q_PROPERTY(QString skeneName READ skeneName WRITE setSkeneName NOTIFY skeneNameChanged)
    Q_PROPERTY(QString origName READ origName WRITE setOrigName NOTIFY origNameChanged)
    Q_PROPERTY(int rocketPortIndex READ rocketPortIndex NOTIFY rocketPortIndexChanged)
    Q_PROPERTY(bool skeneEnabled READ skeneEnabled NOTIFY skeneEnabledChanged)
    Q_PROPERTY(QList<QObject*> childs READ childs WRITE setChilds NOTIFY childrenChanged)
    // What the value editor needs of a tree node, set once by the tree
    // builder: the item path that modifySkeneValue addresses the item by,
    // the properties it can set ({name, kind} with kind "real", "int" or
    // "bool"), and the running item itself for reading their values (null
    // once the item is gone).
    Q_PROPERTY(QString itemPath READ itemPath CONSTANT)
    Q_PROPERTY(QVariantList editableProperties READ editableProperties CONSTANT)
    Q_PROPERTY(QObject* item READ item CONSTANT)

public:
    explicit DataObject(QObject* parent = nullptr);
    DataObject(const QString& name, const QString& color, QObject* parent = nullptr);

    QString name() const { return name_; }
    QString rocketName() const { return rocketName_; }
    QString rocketNameStack() const { return rocketNameStack_; }
    QString details() const { return details_; }
    QString color() const { return color_; }
    QString skeneName() const { return skeneName_; }
    QString origName() const { return origName_; }
    int rocketPortIndex() const { return rocketPortIndex_; }
    bool skeneEnabled() const { return skeneEnabled_; }
    QList<QObject*> childs() const { return childs_; }
    QString itemPath() const { return itemPath_; }
    QVariantList editableProperties() const { return editableProperties_; }
    QObject* item() const { return item_; }

    // String setters emit only when the text changes.
    void setName(const QString& v);
    void setRocketName(const QString& v);
    void setRocketNameStack(const QString& v);
    void setDetails(const QString& v);
    void setColor(const QString& v);
    void setSkeneName(const QString& v);
    void setOrigName(const QString& v);
    // Replaces the list when it differs; always emits childrenChanged.
    void setChilds(const QList<QObject*>& v);

    // Set by the tree builder, without a signal.
    void setRocketPortIndexSilently(int v) { rocketPortIndex_ = v; }
    void setSkeneEnabledSilently(bool v) { skeneEnabled_ = v; }
    // Adds a child at the end without a signal; the list does not own it.
    void appendChild(QObject* child) { childs_.append(child); }
    void setEditTarget(const QString& itemPath, const QVariantList& editableProperties, QObject* item)
    {
        itemPath_ = itemPath;
        editableProperties_ = editableProperties;
        item_ = item;
    }

Q_SIGNALS:
    void nameChanged();
    void rocketNameChanged();
    void rocketNameStackChanged();
    void detailsChanged();
    void childrenChanged();
    void colorChanged();
    void skeneNameChanged();
    void origNameChanged();
    void rocketPortIndexChanged();
    void skeneEnabledChanged();

private:
    QString name_;
    QString rocketName_;
    QString rocketNameStack_;
    QString details_;
    QString color_;
    QString skeneName_;
    QString origName_;
    int rocketPortIndex_ = -1;
    bool skeneEnabled_ = false;
    QList<QObject*> childs_;
    QString itemPath_;
    QVariantList editableProperties_;
    QPointer<QObject> item_;
};
