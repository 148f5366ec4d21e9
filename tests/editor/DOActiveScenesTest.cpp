#include "editor/DOActiveScenes.h"

#include "state/ActiveSkeneList.h"
#include "state/DemoFolders.h"
#include "state/SkeneSetups.h"

#include "support/FreshState.h"
#include "support/LogCapture.h"
#include "support/QtTestApp.h"
#include "support/TempDemo.h"

#include <QMetaProperty>
#include <QPointer>
#include <QQmlComponent>
#include <QQmlContext>
#include <QQmlEngine>
#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

namespace {

// The rows published under a context property, as QML sees them.
std::vector<DOActiveScenes*> rows(QQmlContext* context, const char* property)
{
    std::vector<DOActiveScenes*> out;
    for (QObject* o : context->contextProperty(property).value<QList<QObject*>>())
        out.push_back(qobject_cast<DOActiveScenes*>(o));
    return out;
}

std::string describe(const std::vector<DOActiveScenes*>& list)
{
    std::string out;
    for (const DOActiveScenes* row : list) {
        out += row->name().toStdString() + ":" + std::to_string(row->rocketPort()) + "@"
               + std::to_string(row->myIndex()) + " ";
    }
    return out;
}

// An edit view context over a temporary demo with skenes a, b, c and a
// setup holding b (index 1) and a (index 2).
struct EditListFixture : FreshStateTest {
    TempDemo demo;
    std::unique_ptr<QQmlEngine> engine;
    QQmlContext* context = nullptr;
    std::string setupPath;
    std::unique_ptr<LogCapture> log;

    void SetUp() override
    {
        ensureQtApp();
        for (const char* skene : {"a", "b", "c"})
            demo.write(std::string("fx/") + skene + "/Skene.qml", "");
        demo.write("fx/_SharedQML/Common.qml", "");
        setupPath = demo.path("fx/_ActiveSkeneSetups/test.as");
        demo.write("fx/_ActiveSkeneSetups/test.as", formatActiveSkenes({{"b", 1}, {"a", 2}}));
        demoFolders().skeneDirectories = listSkeneDirectories(demo.path("fx"));
        activeSkeneList().setupPath = setupPath;
        ASSERT_TRUE(readActiveSkenes());
        engine = std::make_unique<QQmlEngine>();
        context = engine->rootContext();
        setEditContext(context);
        log = std::make_unique<LogCapture>();
    }
};

} // namespace

TEST(DOActiveScenes, SettersEmitOnlyOnChangeAndIndexIsFixed)
{
    DOActiveScenes row("intro", 1, 0);
    int names = 0, ports = 0;
    QObject::connect(&row, &DOActiveScenes::nameChanged, [&] { ++names; });
    QObject::connect(&row, &DOActiveScenes::rocketPortChanged, [&] { ++ports; });
    row.setName("intro");
    row.setRocketPort(1);
    EXPECT_EQ(names + ports, 0);
    row.setName("outro");
    row.setRocketPort(5);
    row.setRocketPort(5);
    EXPECT_EQ(names, 1);
    EXPECT_EQ(ports, 1);
    EXPECT_EQ(row.name(), "outro");
    EXPECT_EQ(row.rocketPort(), 5);

    const QMetaObject& meta = DOActiveScenes::staticMetaObject;
    const QMetaProperty index = meta.property(meta.indexOfProperty("myIndex"));
    EXPECT_FALSE(index.isWritable());
    EXPECT_TRUE(index.isConstant());
    EXPECT_TRUE(meta.property(meta.indexOfProperty("rocketPort")).isWritable());

    DOActiveScenes placeholder("waiting for first render...");
    EXPECT_EQ(placeholder.parent(), nullptr);
    EXPECT_EQ(placeholder.myIndex(), -1);
}

TEST_F(EditListFixture, PlaceholderThenListsOfActiveSkenesAndDirectories)
{
    publishSkeneListPlaceholder(context);
    std::vector<DOActiveScenes*> active = rows(context, kSkeneActivationListProperty);
    ASSERT_EQ(active.size(), 1u);
    EXPECT_EQ(active[0]->name(), "waiting for first render...");
    EXPECT_EQ(active[0]->parent(), nullptr);
    EXPECT_EQ(describe(rows(context, kSkeneDirectoryListProperty)), "a:2@1 b:1@0 c:-1@-1 ");
    QPointer<DOActiveScenes> placeholder = active[0];

    publishActiveSkeneLists(context);
    EXPECT_EQ(describe(rows(context, kSkeneActivationListProperty)), "b:1@0 a:2@1 ");
    // The replaced rows live until control is back in the event loop.
    ASSERT_FALSE(placeholder.isNull());
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    EXPECT_TRUE(placeholder.isNull());

    publishActiveSkeneLists(nullptr); // no edit view: nothing to do
}

TEST_F(EditListFixture, SlotsLogEditTheSetupFileAndRepublish)
{
    publishActiveSkeneLists(context);
    DOActiveScenes* row = rows(context, kSkeneActivationListProperty).at(0);

    QMetaObject::invokeMethod(row, "activateSkene", Q_ARG(QString, "c"));
    EXPECT_EQ(readTextFile(setupPath), formatActiveSkenes({{"b", 1}, {"a", 2}, {"c", 3}}));
    EXPECT_EQ(describe(rows(context, kSkeneActivationListProperty)), "b:1@0 a:2@1 c:3@2 ");
    EXPECT_EQ(describe(rows(context, kSkeneDirectoryListProperty)), "a:2@1 b:1@0 c:3@2 ");

    QMetaObject::invokeMethod(row, "moveSkeneToIndex", Q_ARG(QString, "c"), Q_ARG(int, 0));
    EXPECT_EQ(readTextFile(setupPath), formatActiveSkenes({{"c", 3}, {"b", 1}, {"a", 2}}));

    QMetaObject::invokeMethod(row, "deActivateSkene", Q_ARG(QString, "b"));
    EXPECT_EQ(readTextFile(setupPath), formatActiveSkenes({{"c", 3}, {"a", 2}}));
    EXPECT_EQ(describe(rows(context, kSkeneActivationListProperty)), "c:3@0 a:2@1 ");

    EXPECT_EQ(log->lines(), (std::vector<std::string>{"received actviateSkene in C++",
                                                      "received moveSkeneToIndex in C++",
                                                      "skeneName:c, targetIndex:0",
                                                      "received deActviateSkene in C++"}));
}

TEST_F(EditListFixture, QmlReachesTheSlotsThroughPublishedRows)
{
    publishActiveSkeneLists(context);
    QQmlComponent component(engine.get());
    component.setData(R"(
import QtQml 2.15
QtObject {
    function toggle(name) {
        for (var i = 0; i < skeneDirectoryList.length; ++i) {
            var row = skeneDirectoryList[i]
            if (row.name !== name)
                continue
            if (row.myIndex < 0)
                row.activateSkene(name)
            else
                row.deActivateSkene(name)
            return
        }
    }
    function moveDown(name) {
        for (var i = 0; i < skeneActivationList.length; ++i) {
            var row = skeneActivationList[i]
            if (row.name === name) {
                row.moveSkeneToIndex(name, row.myIndex + 2)
                return
            }
        }
    }
}
)",
                      QUrl());
    std::unique_ptr<QObject> view(component.create(context));
    ASSERT_TRUE(view) << component.errorString().toStdString();

    QMetaObject::invokeMethod(view.get(), "toggle", Q_ARG(QVariant, "c"));
    EXPECT_EQ(readTextFile(setupPath), formatActiveSkenes({{"b", 1}, {"a", 2}, {"c", 3}}));
    QMetaObject::invokeMethod(view.get(), "moveDown", Q_ARG(QVariant, "b"));
    EXPECT_EQ(readTextFile(setupPath), formatActiveSkenes({{"a", 2}, {"b", 1}, {"c", 3}}));
    QMetaObject::invokeMethod(view.get(), "toggle", Q_ARG(QVariant, "a"));
    EXPECT_EQ(readTextFile(setupPath), formatActiveSkenes({{"b", 1}, {"c", 3}}));
    // Shared folders are not offered as skenes.
    for (const DOActiveScenes* row : rows(context, kSkeneDirectoryListProperty))
        EXPECT_NE(row->name(), "_SharedQML");
}
