#include "app/QmlTypes.h"

#include "items/ItemPath.h"

#include "support/FreshState.h"
#include "support/QtTestApp.h"

#include <QQmlComponent>
#include <QQmlEngine>
#include <QQuickItem>
#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <utility>
#include <vector>

// The module's vocabulary as skene files use it: every name creates its
// class, and the edit view addresses that class by its segment.
TEST(QmlTypes, EveryNameOfTheModuleCreatesItsClassWithItsSegment)
{
    resetProcessState(); // the items read the demo's display and frame state
    ensureQtApp(); // registers the module
    const std::vector<std::pair<std::string, std::string>> vocabulary = {
        {"Demo", "Demo"},       {"DemoRoot", "DemoRoot"},       {"Scene", "SceneQML"},
        {"Rocket", "RocketQML"}, {"Camera", "Camera"},          {"DemoCamera", "Camera"},
        {"Shader", "Shader"},   {"DrawMesh", "DrawMesh"},       {"DrawVB", "DrawVB"},
        {"ShaderParam", "ShaderParam"}, {"ParamGroup", "ParamGroupQML"}, {"Pos", "Pos"},
        {"Rot", "Rot"},         {"Sca", "Sca"},                 {"Clear", "Clear"},
        {"Texture", "Texture"}, {"RenderTarget", "RenderTarget"}, {"RenderTargetLayer", "RenderTargetLayer"},
        {"Group", "Group"},     {"SavePoint", "SavePoint"},
        {"SMAA", "SMAAQML"},    {"FFT", "FFTQML"},              {"NoiseGenerator", "NoiseQML"},
        {"ShaderBuffer", "ShaderBuffer"}, {"ShaderAtomicCounter", "ShaderAtomicCounter"},
    };
    QQmlEngine engine;
    for (const auto& [name, segment] : vocabulary) {
        QQmlComponent component(&engine);
        component.setData(("import QuellinDemoSystem 1.0\n" + name + " {}\n").c_str(), QUrl());
        std::unique_ptr<QObject> object(component.create());
        ASSERT_TRUE(object) << name << ": " << component.errorString().toStdString();
        EXPECT_EQ(itemSegmentName(object->metaObject()->className()), segment) << name;
    }

    QQmlComponent time(&engine);
    time.setData("import SystemTime 1.0\nSystemTime {}\n", QUrl());
    EXPECT_TRUE(std::unique_ptr<QObject>(time.create())) << time.errorString().toStdString();
}
