#include "editor/DOActiveScenes.h"

#include "editor/EditorState.h"
#include "state/ActiveSkeneList.h"
#include "state/DemoFolders.h"

#include <QDebug>
#include <QPointer>
#include <QQmlContext>
#include <QQuickWindow>
#include <QVariant>

const char* const kSkeneActivationListProperty = "skeneActivationList";
const char* const kSkeneDirectoryListProperty = "skeneDirectoryList";

namespace {

void republish()
{
    publishActiveSkeneLists(editContext());
}

} // namespace

void setEditContext(QQmlContext* context)
{
    editorState().editContext = context;
}

QQmlContext* editContext()
{
    return editorState().editContext;
}

DOActiveScenes::DOActiveScenes(const QString& name, QObject* parent)
    : QObject(parent)
    , name_(name)
{
}

DOActiveScenes::DOActiveScenes(const QString& name, int rocketPort, int myIndex, QObject* parent)
    : QObject(parent)
    , name_(name)
    , rocketPort_(rocketPort)
    , myIndex_(myIndex)
{
}

void DOActiveScenes::setName(const QString& v)
{
    if (name_ == v)
        return;
    name_ = v;
    Q_EMIT nameChanged();
}

void DOActiveScenes::setRocketPort(int v)
{
    if (rocketPort_ == v)
        return;
    rocketPort_ = v;
    Q_EMIT rocketPortChanged();
}

void DOActiveScenes::activateSkene(QString name)
{
    qDebug() << "received actviateSkene in C++";
    addActiveSkene(name.toStdString());
    republish();
}

void DOActiveScenes::deActivateSkene(QString name)
{
    qDebug() << "received deActviateSkene in C++";
    removeActiveSkene(name.toStdString());
    republish();
}

void DOActiveScenes::moveSkeneToIndex(QString skeneName, int targetIndex)
{
    qDebug() << "received moveSkeneToIndex in C++";
    const std::string name = skeneName.toStdString();
    qDebug("skeneName:%s, targetIndex:%d", name.c_str(), targetIndex);
    moveActiveSkene(name, targetIndex);
    republish();
}

QList<QObject*> makeActiveSceneRows()
{
    QList<QObject*> rows;
    const std::vector<ActiveSkene>& entries = activeSkeneList().entries;
    for (size_t i = 0; i < entries.size(); ++i) {
        rows.append(new DOActiveScenes(QString::fromStdString(entries[i].name),
                                       effectiveRocketIndex(entries[i]), int(i)));
    }
    return rows;
}

QList<QObject*> makeSkeneDirectoryRows(const std::vector<std::string>& skeneDirectories)
{
    QList<QObject*> rows;
    for (const std::string& dir : skeneDirectories) {
        if (!dir.empty() && dir[0] == '_')
            continue;
        const int position = activeSkenePosition(dir);
        const int rocket = position < 0 ? -1 : effectiveRocketIndex(activeSkeneList().entries[size_t(position)]);
        rows.append(new DOActiveScenes(QString::fromStdString(dir), rocket, position));
    }
    return rows;
}

namespace {

void publish(QQmlContext* context, const QList<QObject*>& active)
{
    EditorState& rows = editorState();
    QList<QObject*> directories = makeSkeneDirectoryRows(demoFolders().skeneDirectories);
    context->setContextProperty(kSkeneActivationListProperty, QVariant::fromValue(active));
    context->setContextProperty(kSkeneDirectoryListProperty, QVariant::fromValue(directories));
    retireRows(rows.activeRows);
    retireRows(rows.directoryRows);
    rows.activeRows = active;
    rows.directoryRows = directories;
}

} // namespace

void publishSkeneListPlaceholder(QQmlContext* context)
{
    if (!context)
        return;
    // Built without a parent: the published-rows record owns it.
    QList<QObject*> placeholder;
    placeholder.append(new DOActiveScenes("waiting for first render..."));
    publish(context, placeholder);
}

void publishActiveSkeneLists(QQmlContext* context)
{
    if (!context)
        return;
    publish(context, makeActiveSceneRows());
}

void publishActiveSkeneListsAfterFirstFrame(QQuickWindow* window, QQmlContext* context)
{
    if (!window || !context)
        return;
    auto* connection = new QMetaObject::Connection;
    *connection = QObject::connect(window, &QQuickWindow::frameSwapped, context, [connection, context] {
        QObject::disconnect(*connection);
        delete connection;
        publishActiveSkeneLists(context);
    });
}
