#include "editor/DataObject.h"

#include <QMetaMethod>
#include <QMetaProperty>
#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

std::vector<std::string> declaredSignals(const QMetaObject& meta)
{
    std::vector<std::string> out;
    for (int i = meta.methodOffset(); i < meta.methodCount(); ++i) {
        if (meta.method(i).methodType() == QMetaMethod::Signal)
            out.push_back(meta.method(i).name().toStdString());
    }
    return out;
}

// Connects to every notify signal of a DataObject and logs its name.
void logSignals(DataObject& o, std::vector<std::string>& log)
{
    QObject::connect(&o, &DataObject::nameChanged, [&] { log.push_back("name"); });
    QObject::connect(&o, &DataObject::rocketNameChanged, [&] { log.push_back("rocketName"); });
    QObject::connect(&o, &DataObject::rocketNameStackChanged, [&] { log.push_back("rocketNameStack"); });
    QObject::connect(&o, &DataObject::detailsChanged, [&] { log.push_back("details"); });
    QObject::connect(&o, &DataObject::childrenChanged, [&] { log.push_back("childs"); });
    QObject::connect(&o, &DataObject::colorChanged, [&] { log.push_back("color"); });
    QObject::connect(&o, &DataObject::skeneNameChanged, [&] { log.push_back("skeneName"); });
    QObject::connect(&o, &DataObject::origNameChanged, [&] { log.push_back("origName"); });
    QObject::connect(&o, &DataObject::rocketPortIndexChanged, [&] { log.push_back("rocketPortIndex"); });
    QObject::connect(&o, &DataObject::skeneEnabledChanged, [&] { log.push_back("skeneEnabled"); });
}

} // namespace

TEST(DataObject, ConstructorsAndDefaults)
{
    DataObject plain;
    EXPECT_TRUE(plain.name().isEmpty());
    EXPECT_TRUE(plain.color().isEmpty());
    EXPECT_EQ(plain.rocketPortIndex(), -1);
    EXPECT_FALSE(plain.skeneEnabled());
    EXPECT_TRUE(plain.childs().isEmpty());
    EXPECT_EQ(plain.parent(), nullptr);

    QObject owner;
    DataObject named("intro", "white", &owner);
    EXPECT_EQ(named.name(), "intro");
    EXPECT_EQ(named.color(), "white");
    EXPECT_TRUE(named.rocketName().isEmpty());
    EXPECT_TRUE(named.rocketNameStack().isEmpty());
    EXPECT_TRUE(named.details().isEmpty());
    EXPECT_TRUE(named.skeneName().isEmpty());
    EXPECT_TRUE(named.origName().isEmpty());
    EXPECT_EQ(named.parent(), &owner);
}

TEST(DataObject, SignalsAreDeclaredInModelOrder)
{
    EXPECT_EQ(declaredSignals(DataObject::staticMetaObject),
              (std::vector<std::string>{"nameChanged", "rocketNameChanged", "rocketNameStackChanged",
                                        "detailsChanged", "childrenChanged", "colorChanged", "skeneNameChanged",
                                        "origNameChanged", "rocketPortIndexChanged", "skeneEnabledChanged"}));
    const QMetaObject& meta = DataObject::staticMetaObject;
    EXPECT_FALSE(meta.property(meta.indexOfProperty("rocketPortIndex")).isWritable());
    EXPECT_FALSE(meta.property(meta.indexOfProperty("skeneEnabled")).isWritable());
    EXPECT_TRUE(meta.property(meta.indexOfProperty("childs")).isWritable());
    EXPECT_STREQ(meta.property(meta.indexOfProperty("childs")).notifySignal().name().constData(),
                 "childrenChanged");
}

TEST(DataObject, StringSettersEmitOnlyOnChangeInCallOrder)
{
    DataObject o("intro", "white");
    std::vector<std::string> log;
    logSignals(o, log);

    o.setName("intro");
    o.setColor("white");
    o.setRocketName("");
    EXPECT_TRUE(log.empty());

    o.setOrigName("cam");
    o.setName("camera");
    o.setName("camera");
    o.setRocketName("camera");
    o.setRocketNameStack("intro.camera");
    o.setDetails("Camera");
    o.setSkeneName("intro");
    o.setColor("red");
    o.setDetails("Camera");
    EXPECT_EQ(log, (std::vector<std::string>{"origName", "name", "rocketName", "rocketNameStack", "details",
                                             "skeneName", "color"}));
    EXPECT_EQ(o.rocketNameStack(), "intro.camera");
}

TEST(DataObject, ChildListAndSilentFields)
{
    DataObject parent("root", "white");
    DataObject a("a", "white"), b("b", "white");
    std::vector<std::string> log;
    logSignals(parent, log);

    parent.appendChild(&a);
    parent.setRocketPortIndexSilently(3);
    parent.setSkeneEnabledSilently(true);
    EXPECT_TRUE(log.empty());
    EXPECT_EQ(parent.rocketPortIndex(), 3);
    EXPECT_TRUE(parent.skeneEnabled());

    // The list setter signals even when the list stays the same.
    parent.setChilds({&a});
    parent.setChilds({&a, &b});
    EXPECT_EQ(log, (std::vector<std::string>{"childs", "childs"}));
    EXPECT_EQ(parent.childs(), (QList<QObject*>{&a, &b}));
    // The list does not own its children.
    EXPECT_EQ(a.parent(), nullptr);
}
