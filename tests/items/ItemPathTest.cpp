#include "items/ItemPath.h"

#include "items/CameraQML.h"
#include "items/MeshQML.h"
#include "items/PosQML.h"

#include "support/QtTestApp.h"

#include <QObject>
#include <QQuickItem>
#include <gtest/gtest.h>

#include <string>

TEST(ItemPath, SegmentNamesMapClassNamesToTheirQmlTypes)
{
    EXPECT_EQ(itemSegmentName("MeshQML"), "DrawMesh");
    EXPECT_EQ(itemSegmentName("MeshQML_QML_12"), "DrawMesh");
    EXPECT_EQ(itemSegmentName("ShadeQML_QML_3"), "Shader");
    EXPECT_EQ(itemSegmentName("DemoQML"), "Demo");
    EXPECT_EQ(itemSegmentName("CameraQML"), "Camera"); // registered as Camera and DemoCamera
    // Skene roots, the controller and parameter groups keep their class name.
    EXPECT_EQ(itemSegmentName("SceneQML"), "SceneQML");
    EXPECT_EQ(itemSegmentName("RocketQML"), "RocketQML");
    EXPECT_EQ(itemSegmentName("ParamGroupQML_QML_1"), "ParamGroupQML");
    // So does a class without a row, such as a type yet to come.
    EXPECT_EQ(itemSegmentName("SMAAQML"), "SMAAQML");
    EXPECT_EQ(itemSegmentName("QQuickItem"), "QQuickItem");
    EXPECT_EQ(itemSegmentName(nullptr), "");
}

TEST(ItemPath, AChildsPathIsItsParentsIndexAndSegment)
{
    ensureQtApp();
    MeshQML mesh;
    PosQML pos;
    CameraQML camera;
    QQuickItem plain;
    QObject object;
    EXPECT_EQ(childItemPath("/0:=RocketScene", 0, &mesh), "/0:=RocketScene/0:=DrawMesh");
    EXPECT_EQ(childItemPath("/0:=RocketScene/0:=DrawMesh", 1, &pos), "/0:=RocketScene/0:=DrawMesh/1:=Pos");
    EXPECT_EQ(childItemPath("/0:=RocketScene", 12, &camera), "/0:=RocketScene/12:=Camera");
    EXPECT_EQ(childItemPath("/0:=RocketScene", 3, &plain), "/0:=RocketScene/3:=QQuickItem");
    EXPECT_EQ(childItemPath("", 0, &object), "/0:=QObject");

    // Well past any fixed buffer, and the parse hands the item path back.
    std::string deep = "/0:=RocketScene";
    for (int i = 0; i < 500; ++i)
        deep = childItemPath(deep, i, &pos);
    ASSERT_GT(deep.size(), 4096u);
    EXPECT_EQ(deep.substr(deep.size() - 9), "/499:=Pos");
    EXPECT_EQ(parseSkeneValuePath(deep + "/0:=x:/").itemPath, deep);
}

TEST(SkeneValuePath, SplitsItemPathPropertyAndOldValue)
{
    struct Case {
        const char* text;
        bool hasItemPath;
        const char* itemPath;
        const char* property;
        const char* oldValue; // null: none
    };
    const Case cases[] = {
        {"/0:=RocketScene/2:=Camera/0:=viewAngle:/:=40", true, "/0:=RocketScene/2:=Camera", "viewAngle", "40"},
        {"/0:=RocketScene/2:=Camera/0:=viewAngle:/", true, "/0:=RocketScene/2:=Camera", "viewAngle", nullptr},
        {"/0:=RocketScene/1:=Group/3:=Pos/5:=x:/old:=1.5", true, "/0:=RocketScene/1:=Group/3:=Pos", "x", "1.5"},
        // The last segment names no property ("=" before ":/" is missing,
        // or comes after it): the item path alone.
        {"/0:=RocketScene/1:=Group/x:/", true, "/0:=RocketScene/1:=Group", "", nullptr},
        {"/0:=RocketScene/1:=Group/x:/:=5", true, "/0:=RocketScene/1:=Group", "", nullptr},
        // No ":/", or no "/" after the first character before it.
        {"/0:=RocketScene/2:=Camera", false, "", "", nullptr},
        {"/0:=viewAngle:/", false, "", "", nullptr},
        {":/0:=x", false, "", "", nullptr},
        {"", false, "", "", nullptr},
    };
    for (const Case& c : cases) {
        const SkeneValuePath parsed = parseSkeneValuePath(c.text);
        EXPECT_EQ(parsed.hasItemPath, c.hasItemPath) << c.text;
        EXPECT_EQ(parsed.itemPath, c.itemPath) << c.text;
        EXPECT_EQ(parsed.propertyName, c.property) << c.text;
        EXPECT_EQ(parsed.hasOldValue, c.oldValue != nullptr) << c.text;
        EXPECT_EQ(parsed.oldValue, c.oldValue ? c.oldValue : "") << c.text;
    }

    // Far past any fixed buffer.
    std::string deep = "/0:=RocketScene";
    for (int i = 0; i < 2000; ++i)
        deep += "/0:=Group";
    const SkeneValuePath parsed = parseSkeneValuePath(deep + "/0:=x:/:=1");
    EXPECT_EQ(parsed.itemPath, deep);
    EXPECT_EQ(parsed.propertyName, "x");
}
