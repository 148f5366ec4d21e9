#include "items/IEffect.h"

#include "host/DemoRootQML.h"
#include "host/SceneQML.h"
#include "host/DemoQML.h"
#include "items/ItemPath.h"
#include "state/PendingEdit.h"

#include "support/DemoWindow.h"
#include "support/FreshState.h"
#include "support/QtTestApp.h"
#include "support/TempDemo.h"

#include <QQmlComponent>
#include <QQmlEngine>
#include <QSignalSpy>
#include <QtQml>
#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

namespace {

std::vector<std::string>& renderLog()
{
    static std::vector<std::string> log;
    return log;
}

// A test-only effect: records each render by name, then renders its
// children like every effect does.
class Probe : public IEffect {
    Q_OBJECT
    Q_PROPERTY(double amount MEMBER amount)

public:
    explicit Probe(QQuickItem* parent = nullptr)
        : IEffect(parent)
    {
    }
    double amount = 0;

public Q_SLOTS:
    std::string getEffectName() override { return "Probe"; }
    void render(RenderNameListItem* pRNLI) override
    {
        renderLog().push_back(nameText());
        renderChildren(pRNLI);
    }
};

// The application must exist before the engine member is made.
struct AppFirst {
    AppFirst() { ensureQtApp(); }
};

struct Qml : AppFirst {
    Qml()
    {
        static bool registered = false;
        if (!registered) {
            qmlRegisterType<Probe>("TarvonicTest", 1, 0, "Probe");
            registered = true;
        }
    }

    // Creates the QML text (as if read from url) and keeps the root.
    QQuickItem* create(const char* qml, const QUrl& url = QUrl::fromLocalFile("/effect-test/Test.qml"))
    {
        QQmlComponent component(&engine);
        component.setData(qml, url);
        root.reset(qobject_cast<QQuickItem*>(component.create()));
        if (!root)
            ADD_FAILURE() << component.errorString().toStdString();
        return root.get();
    }

    QQuickItem* createFile(const std::string& path)
    {
        QQmlComponent component(&engine, QUrl::fromLocalFile(QString::fromStdString(path)));
        root.reset(qobject_cast<QQuickItem*>(component.create()));
        if (!root)
            ADD_FAILURE() << component.errorString().toStdString();
        return root.get();
    }

    QQmlEngine engine;
    std::unique_ptr<QQuickItem> root;
};

const char* const kHeader = "import QtQuick 2.15\nimport QuellinDemoSystem 1.0\nimport TarvonicTest 1.0\n";

std::string withHeader(const char* body)
{
    return std::string(kHeader) + body;
}

// Applies the pending edit from the skene root as the frame does.
bool applyEdit(QQuickItem* root, const std::string& path, const char* property, const char* value)
{
    PendingEdit& edit = pendingEdit();
    edit.targetPath = path;
    edit.propertyName = property;
    edit.value = value;
    return qobject_cast<IEffect*>(root)->modVal(root, "/0:=RocketScene");
}

struct EffectBase : FreshStateTest {
};

} // namespace

TEST_F(EffectBase, ChildrenRenderDepthFirstInDeclarationOrderSkippingDisabledSubtrees)
{
    Qml q;
    QQuickItem* root = q.create(withHeader(R"(
Probe {
    name: "root"
    Probe {
        name: "a"
        Probe { name: "a1" }
        Item { Probe { name: "under-plain-item" } }
        Probe { name: "a2"; Probe { name: "a2x" } }
    }
    Probe { name: "b"; enabled: false; Probe { name: "b1" } }
    Item { enabled: false; Probe { name: "c" } }
    Probe { name: "d" }
}
)").c_str());
    ASSERT_TRUE(root);
    renderLog().clear();
    qobject_cast<IEffect*>(root)->renderChildren(nullptr);
    EXPECT_EQ(renderLog(), (std::vector<std::string>{"a", "a1", "a2", "a2x", "d"}));
}

TEST_F(EffectBase, ItemPathsCountEveryChildAndNameEachKind)
{
    Qml q;
    QQuickItem* root = q.create(withHeader(R"(
Scene {
    Item { }
    Probe {
        Item { }
        Scene { }
        DemoRoot { }
        Probe { objectName: "target"; property real extra: 1 }
    }
}
)").c_str());
    ASSERT_TRUE(root);
    auto* target = root->findChild<Probe*>("target");
    ASSERT_TRUE(target);
    // Declaring a property in QML gives the item a class name of its own
    // ("Probe_QML_<n>"); the path uses what comes before "_QML".
    EXPECT_NE(std::string(target->metaObject()->className()).find("Probe_QML"), std::string::npos);

    EXPECT_FALSE(applyEdit(root, "/0:=RocketScene/1:=Probe/3:=Probe_QML", "amount", "2"));
    EXPECT_TRUE(pendingEdit().targetPath.size() > 0) << "a miss leaves clearing to the frame";
    EXPECT_TRUE(applyEdit(root, "/0:=RocketScene/1:=Probe/3:=Probe", "amount", "2.5"));
    EXPECT_DOUBLE_EQ(target->amount, 2.5);
    EXPECT_TRUE(pendingEdit().targetPath.empty());

    // Plain Qt Quick items, scenes and window items have their own segments.
    EXPECT_TRUE(applyEdit(root, "/0:=RocketScene/1:=Probe/0:=QQuickItem", "opacity", "0.25"));
    EXPECT_DOUBLE_EQ(root->childItems()[1]->childItems()[0]->opacity(), 0.25);
    EXPECT_TRUE(applyEdit(root, "/0:=RocketScene/1:=Probe/1:=SceneQML", "sceneEnabled", "true"));
    EXPECT_TRUE(qobject_cast<SceneQML*>(root->childItems()[1]->childItems()[1])->sceneEnabled());
    EXPECT_TRUE(applyEdit(root, "/0:=RocketScene/1:=Probe/2:=DemoRoot", "windowWidth", "99"));
    EXPECT_EQ(qobject_cast<DemoRootQML*>(root->childItems()[1]->childItems()[2])->windowWidth(), 99);
}

// A type declared in a QML file is addressed as the C++ type it is built
// on, however many files lie between: a Lens.qml on a Camera is a Camera.
TEST_F(EffectBase, TypesDeclaredInQmlFilesTakeTheSegmentOfTheirClass)
{
    TempDemo demo;
    demo.write("Fancy.qml", withHeader("Probe { property real glow: 0 }\n"));
    demo.write("Fancier.qml", withHeader("Fancy { glow: 1 }\n"));
    demo.write("Lens.qml", withHeader("Camera { property real lensFocus: 2 }\n"));
    demo.write("Skene.qml", withHeader("Scene { Fancy { objectName: \"fancy\" } Fancier { objectName: \"other\" }\n"
                                       "  Lens { objectName: \"lens\" } }\n"));
    Qml q;
    QQuickItem* root = q.createFile(demo.path("Skene.qml"));
    ASSERT_TRUE(root);
    auto* fancy = root->findChild<Probe*>("fancy");
    auto* other = root->findChild<Probe*>("other");
    auto* lens = root->findChild<QQuickItem*>("lens");
    ASSERT_TRUE(fancy && other && lens);
    EXPECT_EQ(childItemPath("/0:=RocketScene", 0, fancy), "/0:=RocketScene/0:=Probe");
    EXPECT_EQ(childItemPath("/0:=RocketScene", 1, other), "/0:=RocketScene/1:=Probe");
    EXPECT_EQ(childItemPath("/0:=RocketScene", 2, lens), "/0:=RocketScene/2:=Camera");

    EXPECT_TRUE(applyEdit(root, "/0:=RocketScene/1:=Probe", "glow", "0.75"));
    EXPECT_DOUBLE_EQ(other->property("glow").toDouble(), 0.75);
    EXPECT_DOUBLE_EQ(fancy->property("glow").toDouble(), 0.0);
    EXPECT_TRUE(applyEdit(root, "/0:=RocketScene/2:=Camera", "lensFocus", "5"));
    EXPECT_DOUBLE_EQ(lens->property("lensFocus").toDouble(), 5.0);
}

// Paths are unique within one skene, but every skene root has the same
// one: an edit that names no skene lands in the first skene that has the
// path, in the Demo's child order, and in no other.
TEST_F(EffectBase, FirstMatchInDepthFirstOrderWins)
{
    ensureQtApp();
    DemoWindow w(R"(
import QtQuick 2.15
import QuellinDemoSystem 1.0
Demo {
    Scene { sceneEnabled: true; Group { Pos { objectName: "first" } } }
    Scene { sceneEnabled: true; Group { Pos { objectName: "second" } } }
}
)");
    ASSERT_TRUE(w.demo);
    w.demo->modifySkeneValue("", "/0:=RocketScene/0:=Group/0:=Pos/0:=x:/", "x", "4");
    w.frames(1);
    EXPECT_FLOAT_EQ(w.find<QQuickItem>("first")->property("x").toFloat(), 4.0f);
    EXPECT_FLOAT_EQ(w.find<QQuickItem>("second")->property("x").toFloat(), 0.0f);
    EXPECT_TRUE(pendingEdit().targetPath.empty());

    // Nothing pending: nothing happens.
    QQuickItem* root = w.demo->childItems()[0];
    EXPECT_FALSE(qobject_cast<IEffect*>(root)->modVal(root, "/0:=RocketScene"));
}

TEST_F(EffectBase, PathsLongerThanAnyFixedBufferStillMatch)
{
    ensureQtApp();
    Probe root;
    Probe* parent = &root;
    std::string path = "/0:=RocketScene";
    // 300 levels of "/0:=Probe" make a path of well over 2,000 characters.
    for (int i = 0; i < 300; ++i) {
        auto* child = new Probe(parent);
        child->setParentItem(parent);
        path += "/0:=Probe";
        parent = child;
    }
    ASSERT_GT(path.size(), 2048u);
    EXPECT_TRUE(applyEdit(&root, path, "amount", "7"));
    EXPECT_DOUBLE_EQ(parent->amount, 7.0);
}

TEST_F(EffectBase, NameNotifiesOnlyOnChangeAndRocketNameReadsTheQmlProperty)
{
    Qml q;
    QQuickItem* root = q.create(withHeader(R"(
Probe {
    Probe { objectName: "shadowed"; property string name: "from-qml" }
}
)").c_str());
    ASSERT_TRUE(root);
    auto* effect = qobject_cast<IEffect*>(root);
    QSignalSpy changed(effect, &IEffect::nameChanged);
    effect->setName("wave");
    effect->setName("wave");
    EXPECT_EQ(changed.count(), 1);
    EXPECT_EQ(effect->nameText(), "wave");
    EXPECT_EQ(effect->getName(), "wave");

    // A name property declared in QML on top of the type is the one read.
    auto* shadowed = root->findChild<Probe*>("shadowed");
    ASSERT_TRUE(shadowed);
    QSignalSpy shadowedChanged(shadowed, &IEffect::nameChanged);
    shadowed->evaluateRocketName();
    EXPECT_EQ(shadowed->nameText(), "from-qml");
    EXPECT_EQ(shadowedChanged.count(), 0);

    // UTF-8 both ways: reading the name back and storing it again (as the
    // camera does every frame) keeps it as it is.
    const QString umlauts = QString::fromUtf8("k\xc3\xa4mer\xc3\xa4");
    effect->setName(umlauts);
    EXPECT_EQ(effect->nameText(), "k\xc3\xa4mer\xc3\xa4");
    EXPECT_EQ(effect->getName(), umlauts);
    for (int frame = 0; frame < 3; ++frame)
        effect->evaluateRocketName();
    EXPECT_EQ(effect->nameText(), "k\xc3\xa4mer\xc3\xa4");
    EXPECT_TRUE(effect->getOrigName().empty());
    EXPECT_TRUE(effect->effectText().empty());
}

#include "IEffectTest.moc"
