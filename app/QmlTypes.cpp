#include "app/QmlTypes.h"

#include "host/DemoQML.h"
#include "host/DemoRootQML.h"
#include "host/SceneQML.h"
#include "items/CameraQML.h"
#include "items/ClearQML.h"
#include "items/DrawVBQML.h"
#include "items/MeshQML.h"
#include "items/ParamGroupQML.h"
#include "items/PosQML.h"
#include "items/RotQML.h"
#include "items/ScaQML.h"
#include "items/ShadeQML.h"
#include "items/ShaderParamQML.h"
#include "sync/RocketQML.h"
#include "time/SystemTime.h"

#include <QtQml>

namespace app {

namespace {

const char* const kModule = "QuellinDemoSystem";

template <typename T>
void registerItem(const char* qmlName)
{
    qmlRegisterType<T>(kModule, 1, 0, qmlName);
}

// One row per QML type, in the module's order; each type is added here as it
// lands.
const struct {
    const char* qmlName;
    void (*registerType)(const char*);
} kItemTypes[] = {
    {"Demo", &registerItem<DemoQML>},
    {"DemoRoot", &registerItem<DemoRootQML>},
    {"Scene", &registerItem<SceneQML>},
    {"Rocket", &registerItem<RocketQML>},
    {"Camera", &registerItem<CameraQML>},
    {"DemoCamera", &registerItem<CameraQML>},
    {"Shader", &registerItem<ShadeQML>},
    {"DrawMesh", &registerItem<MeshQML>},
    {"DrawVB", &registerItem<DrawVBQML>},
    {"ShaderParam", &registerItem<ShaderParamQML>},
    {"ParamGroup", &registerItem<ParamGroupQML>},
    {"Pos", &registerItem<PosQML>},
    {"Rot", &registerItem<RotQML>},
    {"Sca", &registerItem<ScaQML>},
    {"Clear", &registerItem<ClearQML>},
};

} // namespace

void registerQmlTypes()
{
    qmlRegisterType<SystemTime>("SystemTime", 1, 0, "SystemTime");
    for (const auto& type : kItemTypes)
        type.registerType(type.qmlName);
}

} // namespace app
