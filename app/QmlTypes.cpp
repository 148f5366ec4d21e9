#include "app/QmlTypes.h"

#include "app/RocketQML.h"
#include "app/TrackQML.h"
#include "host/DemoQML.h"
#include "host/DemoRootQML.h"
#include "host/SceneQML.h"
#include "items/CameraQML.h"
#include "items/ClearQML.h"
#include "items/DrawVBQML.h"
#include "items/FFTQML.h"
#include "items/GroupQML.h"
#include "items/ItemTypes.h"
#include "items/MeshQML.h"
#include "items/NoiseQML.h"
#include "items/ParamGroupQML.h"
#include "items/PosQML.h"
#include "items/RenderTargetLayerQML.h"
#include "items/RenderTargetQML.h"
#include "items/RotQML.h"
#include "items/SMAAQML.h"
#include "items/SavePointQML.h"
#include "items/ScaQML.h"
#include "items/ShadeQML.h"
#include "items/ShaderAtomicCounterQML.h"
#include "items/ShaderBufferQML.h"
#include "items/ShaderParamQML.h"
#include "items/TextureQML.h"
#include "time/SystemTime.h"

#include <QtQml>

namespace app {

void registerQmlTypes()
{
    qmlRegisterType<SystemTime>("SystemTime", 1, 0, "SystemTime");
#define REGISTER_ROW(cppClass, qmlName, segment) qmlRegisterType<cppClass>(DEMO_ITEM_MODULE, 1, 0, qmlName);
    DEMO_ITEM_TYPES(REGISTER_ROW)
#undef REGISTER_ROW
}

} // namespace app
