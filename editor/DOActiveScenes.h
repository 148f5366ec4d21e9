#pragma once
// One row of the edit view's active skene list. Its slots switch skenes on
// and off and reorder them; they act on the process-wide active skene list,
// which rewrites the setup file, and then publish the lists anew.
#include <QList>
#include <QObject>
#include <QString>

#include <string>
#include <vector>

class QQmlContext;
class QQuickWindow;

class DOActiveScenes : public QObject {
    Q_OBJECT
    Q_PROPERTY(QString name READ name WRITE setName NOTIFY nameChanged)
    Q_PROPERTY(int rocketPort READ rocketPort WRITE setRocketPort NOTIFY rocketPortChanged)
    // Rows are built anew whenever the list changes, so a row's position
    // never changes while QML holds it.
    Q_PROPERTY(int myIndex READ myIndex CONSTANT)

public:
    // A row that stands for no position in the list (myIndex -1), such as
    // the placeholder shown before the first render.
    explicit DOActiveScenes(const QString& name, QObject* parent = nullptr);
    DOActiveScenes(const QString& name, int rocketPort, int myIndex, QObject* parent = nullptr);

    QString name() const { return name_; }
    int rocketPort() const { return rocketPort_; }
    int myIndex() const { return myIndex_; }

    // Store and emit only on change.
    void setName(const QString& v);
    void setRocketPort(int v);

Q_SIGNALS:
    void nameChanged();
    void rocketPortChanged();

public Q_SLOTS:
    void activateSkene(QString name);
    void deActivateSkene(QString name);
    // targetIndex is a drop position in the list as it is now: the skene
    // lands before the skene at targetIndex (past the end: last).
    void moveSkeneToIndex(QString skeneName, int targetIndex);

private:
    QString name_;
    int rocketPort_ = 0;
    int myIndex_ = -1;
};

// The edit view's root context, where the lists are published; null without
// an edit view. Start-up sets it when it creates the edit view.
void setEditContext(QQmlContext* context);
QQmlContext* editContext();

// Context property names under which the edit view finds the lists.
extern const char* const kSkeneActivationListProperty; // "skeneActivationList"
extern const char* const kSkeneDirectoryListProperty;  // "skeneDirectoryList"

// Publishes into context (the edit view's) the one placeholder row named
// "waiting for first render..." as the active list, and the directory rows.
// Nothing when context is null.
void publishSkeneListPlaceholder(QQmlContext* context);

// One row per active skene, in list order: name, rocket index as the
// rockets use it (the port is 1338 + this), position.
QList<QObject*> makeActiveSceneRows();

// One row per skene directory (names that begin with "_" are shared
// folders, not skenes), in listing order: myIndex is the skene's position in
// the active list or -1 when inactive, rocketPort its rocket index or -1.
QList<QObject*> makeSkeneDirectoryRows(const std::vector<std::string>& skeneDirectories);

// Publishes both lists into context (the edit view's), replacing the rows
// published before, which are deleted once QML has let go of them. Nothing
// when context is null.
void publishActiveSkeneLists(QQmlContext* context);

// Publishes the lists into context once window has shown its first frame.
void publishActiveSkeneListsAfterFirstFrame(QQuickWindow* window, QQmlContext* context);
