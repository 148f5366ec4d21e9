#pragma once
// The vocabulary of the QML module "QuellinDemoSystem" 1.0, in one table: a
// row per QML name, in registration order, with the C++ class registered
// under it and the item-path segment by which the edit view addresses an
// item of that class (items/ItemPath.h). A class registered under two
// names has two rows and one segment. Start-up registers the rows
// (app/QmlTypes.cpp); itemSegmentName reads the segments. A type gets
// its row when it lands.
//
// Most segments are the QML name. The skene root, the controller, the
// parameter group, the anti-aliasing, spectrum and noise items are addressed
// by their own class name, as edit paths spell them that way; so is any
// class without a row (a plain QQuickItem).
//
// ITEM_TYPE(C++ class, QML name, item-path segment); the table names the
// classes only, so it includes none of their headers.
#define DEMO_ITEM_TYPES(ITEM_TYPE)                                            \
    ITEM_TYPE(DemoQML, "Demo", "Demo")                                        \
    ITEM_TYPE(DemoRootQML, "DemoRoot", "DemoRoot")                            \
    ITEM_TYPE(SceneQML, "Scene", "SceneQML")                                  \
    ITEM_TYPE(RocketQML, "Rocket", "RocketQML")                               \
    ITEM_TYPE(CameraQML, "Camera", "Camera")                                  \
    ITEM_TYPE(CameraQML, "DemoCamera", "Camera")                              \
    ITEM_TYPE(ShadeQML, "Shader", "Shader")                                   \
    ITEM_TYPE(MeshQML, "DrawMesh", "DrawMesh")                                \
    ITEM_TYPE(DrawVBQML, "DrawVB", "DrawVB")                                  \
    ITEM_TYPE(ShaderParamQML, "ShaderParam", "ShaderParam")                   \
    ITEM_TYPE(ParamGroupQML, "ParamGroup", "ParamGroupQML")                   \
    ITEM_TYPE(PosQML, "Pos", "Pos")                                           \
    ITEM_TYPE(RotQML, "Rot", "Rot")                                           \
    ITEM_TYPE(ScaQML, "Sca", "Sca")                                           \
    ITEM_TYPE(ClearQML, "Clear", "Clear")                                     \
    ITEM_TYPE(TextureQML, "Texture", "Texture")                               \
    ITEM_TYPE(ShaderBufferQML, "ShaderBuffer", "ShaderBuffer")                \
    ITEM_TYPE(ShaderAtomicCounterQML, "ShaderAtomicCounter", "ShaderAtomicCounter") \
    ITEM_TYPE(RenderTargetQML, "RenderTarget", "RenderTarget")                \
    ITEM_TYPE(RenderTargetLayerQML, "RenderTargetLayer", "RenderTargetLayer") \
    ITEM_TYPE(GroupQML, "Group", "Group")                                     \
    ITEM_TYPE(SavePointQML, "SavePoint", "SavePoint")                         \
    ITEM_TYPE(SMAAQML, "SMAA", "SMAAQML")                                     \
    ITEM_TYPE(FFTQML, "FFT", "FFTQML")                                        \
    ITEM_TYPE(NoiseQML, "NoiseGenerator", "NoiseQML")                         \
    ITEM_TYPE(TrackQML, "Track", "Track")

// The module the table is registered under.
#define DEMO_ITEM_MODULE "QuellinDemoSystem"
