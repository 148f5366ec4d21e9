#include <GL/glew.h>

#include "TestEffects.h"

#include "gpu/GpuResources.h"
#include "gpu/VertexBuffers.h"
#include "platform/GlContext.h"
#include "app/RocketQML.h"
#include "gpu/DepthState.h"
#include "gpu/FileAutoLoader.h"
#include "gpu/GlewSetup.h"
#include "gpu/Mesh.h"
#include "gpu/MeshImports.h"
#include "gpu/RenderTarget.h"
#include "gpu/RenderTargetRegistry.h"
#include "gpu/MeshRegistry.h"
#include "gpu/Shader.h"
#include "editor/DataObject.h"
#include "editor/SkeneTree.h"
#include "host/DemoQML.h"
#include "items/MeshQML.h"
#include "items/ShadeQML.h"
#include "platform/Clock.h"
#include "state/ActiveSkeneList.h"
#include "state/DemoDisplay.h"
#include "state/FrameState.h"
#include "state/PendingEdit.h"
#include "state/rocket_flags.h"
#include "sync/Rocket.h"

#include "support/DemoWindow.h"
#include "support/FreshState.h"
#include "support/GlTestContext.h"
#include "support/LogCapture.h"
#include "support/QtTestApp.h"
#include "support/RecordingNotifier.h"
#include "support/TempDemo.h"

#include <QElapsedTimer>
#include <QPointer>
#include <QQmlComponent>
#include <QQmlContext>
#include <QQmlEngine>
#include <QQuickWindow>
#include <QSignalSpy>
#include <gtest/gtest.h>

#include <array>
#include <atomic>
#include <chrono>
#include <filesystem>
#include <functional>
#include <memory>
#include <string>
#include <thread>
#include <vector>

namespace {

// Shader compiles long enough ago that the next frame settles.
void compileLongAgo()
{
    setLastShaderCompileTime(platform::millisecondClock() - 1000);
}

// A shader compile in every frame: shaders never settle, however slowly the
// frames come.
void compilingEveryFrame(DemoWindow& w)
{
    w.beforeFrame = [] { setLastShaderCompileTime(platform::millisecondClock()); };
}

const char* const kGreenSkene = R"(
import QtQuick 2.15
import QuellinDemoSystem 1.0
import TarvonicTest 1.0
Demo {
    Scene {
        objectName: "skene"
        sceneEnabled: true
        ColourEffect { objectName: "colour"; name: "colour"; g: 1 }
    }
}
)";

bool isPlain2DTexture(unsigned texture)
{
    while (glGetError() != GL_NO_ERROR) {
    }
    glBindTexture(GL_TEXTURE_2D, texture);
    const bool ok = glGetError() == GL_NO_ERROR;
    glBindTexture(GL_TEXTURE_2D, 0);
    return ok;
}

GLint attachedObject(unsigned framebuffer, GLenum attachment)
{
    GLint name = 0;
    glBindFramebuffer(GL_FRAMEBUFFER, framebuffer);
    glGetFramebufferAttachmentParameteriv(GL_FRAMEBUFFER, attachment, GL_FRAMEBUFFER_ATTACHMENT_OBJECT_NAME,
                                          &name);
    glBindFramebuffer(GL_FRAMEBUFFER, 0);
    return name;
}

struct DemoFrame : FreshStateTest {
    DemoFrame()
    {
        static bool registered = false;
        if (!registered) {
            registerTestEffects();
            registered = true;
        }
    }
};

} // namespace

TEST_F(DemoFrame, SettledFrameShowsSkeneColourThroughOffscreenTargets)
{
    LogCapture log;
    compileLongAgo();
    DemoWindow w(kGreenSkene);
    ASSERT_TRUE(w.demo);
    QSignalSpy rendered(w.demo, &DemoQML::frameRendered);
    w.frames(3);
    EXPECT_TRUE(frameState().shadersSettled);
    EXPECT_GE(rendered.count(), 1);

    const auto pixel = w.windowPixel();
    EXPECT_EQ(pixel[0], 0);
    EXPECT_EQ(pixel[1], 255);
    EXPECT_EQ(pixel[2], 0);
    // The effect drew into the offscreen framebuffer, not the window's.
    auto* colour = w.find<ColourEffect>("colour");
    ASSERT_TRUE(colour);
    EXPECT_EQ(unsigned(colour->boundFramebuffer), w.demo->framebuffer());
    EXPECT_EQ(colour->trackedFramebuffer, colour->boundFramebuffer);
    EXPECT_NE(w.demo->framebuffer(), 0u);

    // With one sample every target is a plain 2D texture: three RGBA16F
    // colour attachments and the depth texture, all published.
    EXPECT_EQ(frameState().windowFramebuffer, w.demo->framebuffer());
    EXPECT_EQ(frameState().sceneColourTexture, w.demo->colourTexture(0));
    EXPECT_EQ(frameState().sceneDepthTexture, w.demo->depthTexture());
    struct Check {
        bool plain[4];
        GLint attached[4];
        GLint format;
    } check{};
    QObject::connect(w.window.get(), &QQuickWindow::afterRendering, w.window.get(), [&] {
        for (int i = 0; i < 3; ++i) {
            check.plain[i] = isPlain2DTexture(w.demo->colourTexture(i));
            check.attached[i] = attachedObject(w.demo->framebuffer(), GL_COLOR_ATTACHMENT0 + i);
        }
        check.plain[3] = isPlain2DTexture(w.demo->depthTexture());
        check.attached[3] = attachedObject(w.demo->framebuffer(), GL_DEPTH_ATTACHMENT);
        glBindTexture(GL_TEXTURE_2D, w.demo->colourTexture(0));
        glGetTexLevelParameteriv(GL_TEXTURE_2D, 0, GL_TEXTURE_INTERNAL_FORMAT, &check.format);
        glBindTexture(GL_TEXTURE_2D, 0);
    }, Qt::DirectConnection);
    w.frames(1);
    for (int i = 0; i < 3; ++i) {
        EXPECT_TRUE(check.plain[i]) << "colour " << i;
        EXPECT_EQ(unsigned(check.attached[i]), w.demo->colourTexture(i));
    }
    EXPECT_TRUE(check.plain[3]);
    EXPECT_EQ(unsigned(check.attached[3]), w.demo->depthTexture());
    EXPECT_EQ(check.format, GL_RGBA16F);

    EXPECT_TRUE(log.contains("glFramebufferTexture2D Framebuffer: no error"));
    EXPECT_TRUE(log.contains("glTexImage2D Framebuffer: no error"));
    EXPECT_TRUE(log.contains("glFramebufferTexture2D_Depth Framebuffer: no error"));
}

TEST_F(DemoFrame, SampleCountAboveOneMakesMultisampledTargets)
{
    LogCapture log;
    demoDisplay().sampleCount = 4;
    compileLongAgo();
    DemoWindow w(kGreenSkene);
    ASSERT_TRUE(w.demo);
    EXPECT_EQ(w.demo->samples(), 4);
    w.frames(2);
    GLint samples = 0;
    bool colourPlain = true;
    QObject::connect(w.window.get(), &QQuickWindow::afterRendering, w.window.get(), [&] {
        colourPlain = isPlain2DTexture(w.demo->colourTexture(0));
        glBindTexture(GL_TEXTURE_2D_MULTISAMPLE, w.demo->depthTexture());
        glGetTexLevelParameteriv(GL_TEXTURE_2D_MULTISAMPLE, 0, GL_TEXTURE_SAMPLES, &samples);
        glBindTexture(GL_TEXTURE_2D_MULTISAMPLE, 0);
    }, Qt::DirectConnection);
    w.frames(1);
    EXPECT_FALSE(colourPlain);
    EXPECT_EQ(samples, 4);
    EXPECT_TRUE(log.contains("glTexImage2DMultisample Framebuffer: no error"));
    EXPECT_TRUE(log.contains("glFramebufferTexture2D_Depth Framebuffer: no error"));
    // The resolve in the copy to the window still shows the colour.
    const auto pixel = w.windowPixel();
    EXPECT_EQ(pixel[1], 255);
    EXPECT_EQ(pixel[0], 0);
}

TEST_F(DemoFrame, BeforeShadersSettleFramesDrawStraightIntoTheWindow)
{
    DemoWindow w(kGreenSkene, 64, 36, compilingEveryFrame);
    ASSERT_TRUE(w.demo);
    QSignalSpy rendered(w.demo, &DemoQML::frameRendered);
    w.frames(3);
    auto* colour = w.find<ColourEffect>("colour");
    ASSERT_TRUE(colour);
    EXPECT_EQ(colour->boundFramebuffer, 0);
    EXPECT_EQ(colour->trackedFramebuffer, 0);
    EXPECT_EQ(w.windowPixel()[1], 255);
    EXPECT_EQ(rendered.count(), 0);
    EXPECT_FALSE(frameState().shadersSettled);

    // A compile settles shaders once 300 ms have passed since it.
    w.beforeFrame = nullptr;
    compileLongAgo();
    w.frames(1);
    EXPECT_TRUE(frameState().shadersSettled);
    EXPECT_EQ(rendered.count(), 1);
}

TEST_F(DemoFrame, DemoWithoutAnyShaderSettlesAtItsFirstFrame)
{
    // Nothing compiles, so nothing is worth waiting for: the first frame
    // settles, and the frames after it draw offscreen.
    DemoWindow w(R"(
import QtQuick 2.15
import QuellinDemoSystem 1.0
import TarvonicTest 1.0
Demo {
    Rocket { objectName: "rocket" }
    Scene { sceneEnabled: true; ColourEffect { objectName: "colour"; g: 1 } }
}
)");
    EXPECT_TRUE(frameState().shadersSettled);
    auto* colour = w.find<ColourEffect>("colour");
    ASSERT_TRUE(colour);
    w.frames(1);
    EXPECT_EQ(unsigned(colour->boundFramebuffer), w.demo->framebuffer());
    EXPECT_EQ(w.windowPixel()[1], 255);

    // From track files, the loaded demo starts playing.
    Rocket& rocket = Rocket::instance();
    rocket_flags().rocket_enabled = false;
    rocket.on_pause(true);
    rocket.set_demo_loaded(true);
    w.frames(1);
    EXPECT_FALSE(rocket.is_paused());
}

TEST_F(DemoFrame, PausedDemoDrawsAgainOnceShadersSettle)
{
    // Live editing, paused, untouched since long before the first frame.
    DemoWindow w(kGreenSkene, 64, 36, [](DemoWindow& window) {
        compilingEveryFrame(window);
        rocket_flags().rocket_enabled = true;
        Rocket::instance().on_pause(true);
        Rocket::instance().note_change_at(platform::millisecondClock() - 10000);
    });
    auto* colour = w.find<ColourEffect>("colour");
    ASSERT_TRUE(colour);
    w.frames(2);
    ASSERT_FALSE(frameState().shadersSettled);

    // The compiles settle while the demo idles: the frames after it must draw
    // what the skene shows now, not the offscreen image of the first frame.
    colour->g = 0;
    colour->r = 1;
    w.beforeFrame = nullptr;
    compileLongAgo();
    w.frames(1);
    ASSERT_TRUE(frameState().shadersSettled);
    const auto pixel = w.windowPixel();
    EXPECT_EQ(pixel[0], 255);
    EXPECT_EQ(pixel[1], 0);
}

TEST_F(DemoFrame, ShaderRebuiltByThePollWhilePausedReachesThePicture)
{
    TempDemo folder;
    folder.write("tint.vert", "#version 430 compatibility\nlayout(location = 0) in vec3 p;\n"
                              "void main() { gl_Position = vec4(p.xy * 2.0 - 1.0, 0.0, 1.0); }\n");
    const auto tint = [&](const char* colour, int seconds) {
        folder.write("tint.frag", std::string("#version 430 compatibility\nout vec4 c;\nvoid main() { c = ") +
                                      colour + "; }\n");
        const std::string path = folder.path("tint.frag");
        std::filesystem::last_write_time(path, std::filesystem::last_write_time(path) + std::chrono::seconds(seconds));
    };
    tint("vec4(1.0, 0.0, 0.0, 1.0)", 0);
    folder.enter();
    DemoWindow w(R"(
import QtQuick 2.15
import QuellinDemoSystem 1.0
Demo {
    Scene { sceneEnabled: true; Shader { file: "tint"; DrawVB { type: "quad" } } }
}
)");
    Rocket& rocket = Rocket::instance();
    rocket_flags().rocket_enabled = true;
    rocket.on_pause(true);
    // Settled without waiting for the compile to age.
    frameState().shadersSettled = true;
    w.frames(1);
    ASSERT_EQ(w.windowPixel()[0], 255);

    // Idle when the author saves: the poll rebuilds the program, and the
    // next frame shows it.
    rocket.note_change_at(platform::millisecondClock() - 10000);
    tint("vec4(0.0, 1.0, 0.0, 1.0)", 3);
    gpu().shaders.files().resetPollClock();
    w.frames(1);
    const auto pixel = w.windowPixel();
    EXPECT_EQ(pixel[0], 0);
    EXPECT_EQ(pixel[1], 255);
}

TEST_F(DemoFrame, TopLevelRenderOrderAndEnabledRules)
{
    DemoWindow w(R"(
import QtQuick 2.15
import QuellinDemoSystem 1.0
import TarvonicTest 1.0
Demo {
    Scene { sceneEnabled: true; ColourEffect { name: "first" } }
    ColourEffect { name: "top" }
    Scene { sceneEnabled: false; ColourEffect { name: "off-skene" } }
    Scene { sceneEnabled: true; enabled: false; ColourEffect { name: "disabled-skene" } }
    Item { ColourEffect { name: "under-plain-item" } }
    ColourEffect { name: "disabled"; enabled: false }
    Scene { sceneEnabled: true; ColourEffect { name: "last" } }
}
)");
    renderLog().clear();
    w.frames(1);
    EXPECT_EQ(renderLog(), (std::vector<std::string>{"first", "top", "last"}));
}

TEST_F(DemoFrame, FrameThatAppliesAnEditDrawsNoSkeneAndShowsTheLastImage)
{
    compileLongAgo();
    DemoWindow w(kGreenSkene);
    auto* colour = w.find<ColourEffect>("colour");
    ASSERT_TRUE(colour);
    w.frames(2);
    const int before = colour->renders;

    PendingEdit& edit = pendingEdit();
    edit.targetPath = "/0:=RocketScene/0:=ColourEffect";
    edit.propertyName = "r";
    edit.value = "0.5";
    // Not cleared to black: a dragged slider would flash.
    const auto shown = w.windowPixel();
    EXPECT_EQ(colour->renders, before);
    EXPECT_DOUBLE_EQ(colour->r, 0.5);
    EXPECT_TRUE(edit.targetPath.empty());
    EXPECT_EQ(shown[1], 255);
    EXPECT_EQ(shown[0], 0);

    w.frames(1);
    EXPECT_EQ(colour->renders, before + 1);

    // An edit for an item that does not exist is dropped; the frame after
    // it draws again.
    edit.targetPath = "/0:=RocketScene/7:=ColourEffect";
    w.frames(1);
    EXPECT_TRUE(edit.targetPath.empty());
    EXPECT_EQ(colour->renders, before + 2);
}

TEST_F(DemoFrame, EditReachesTheNamedSkenesItemOrChangesNothing)
{
    // Both skenes have the same item paths; items of mixed kinds (plain,
    // parameter, effect) count alike in them.
    DemoWindow w(R"(
import QtQuick 2.15
import QuellinDemoSystem 1.0
import TarvonicTest 1.0
Demo {
    Scene {
        property string sceneName: "alpha"
        sceneEnabled: true
        Item { }
        ColourEffect { objectName: "alpha0" }
        Pos { }
        ColourEffect { objectName: "alpha1" }
    }
    Scene {
        property string sceneName: "beta"
        sceneEnabled: true
        Item { }
        ColourEffect { objectName: "beta0" }
        Pos { }
        ColourEffect { objectName: "beta1" }
    }
}
)");
    LogCapture log;
    ASSERT_TRUE(w.demo);
    w.demo->modifySkeneValue("beta", "/0:=RocketScene/3:=ColourEffect/0:=g:/:=0", "g", "0.75");
    w.frames(1);
    EXPECT_DOUBLE_EQ(w.find<ColourEffect>("beta1")->g, 0.75);
    for (const char* other : {"alpha0", "alpha1", "beta0"})
        EXPECT_DOUBLE_EQ(w.find<ColourEffect>(other)->g, 0.0) << other;

    // No such property, or a value the property cannot take: nothing
    // changes (no dynamic property appears) and the log names the path.
    auto* target = w.find<ColourEffect>("beta1");
    const int renders = target->renders;
    w.demo->modifySkeneValue("beta", "/0:=RocketScene/3:=ColourEffect/0:=glow:/", "", "1");
    w.frames(1);
    EXPECT_FALSE(target->property("glow").isValid());
    EXPECT_TRUE(pendingEdit().targetPath.empty());
    EXPECT_EQ(target->renders, renders + 1) << "nothing applied, so the frame draws";
    w.demo->modifySkeneValue("beta", "/0:=RocketScene/3:=ColourEffect/0:=g:/", "", "bright");
    w.frames(1);
    EXPECT_DOUBLE_EQ(target->g, 0.75);
    EXPECT_DOUBLE_EQ(w.find<ColourEffect>("alpha1")->g, 0.0);
    int refusals = 0;
    for (const std::string& line : log.lines()) {
        if (line.find("modVal left the item unchanged") != std::string::npos)
            ++refusals;
    }
    EXPECT_EQ(refusals, 2);
    EXPECT_TRUE(log.contains("item path: /0:=RocketScene/3:=ColourEffect property: g value: bright"));
}

TEST_F(DemoFrame, PausedEditingGoesIdleAfter400MsWithoutChange)
{
    compileLongAgo();
    DemoWindow w(R"(
import QtQuick 2.15
import QuellinDemoSystem 1.0
import TarvonicTest 1.0
Demo {
    Rocket { objectName: "rocket" }
    Scene { sceneEnabled: true; ColourEffect { objectName: "colour"; g: 1 } }
}
)");
    Rocket& rocket = Rocket::instance();
    // A frame clock that advances 100 ms per reading.
    static double clock = 0;
    frameState().clockMs = [] { return clock += 100; };
    rocket_flags().rocket_enabled = true;
    rocket.on_pause(true);
    rocket.note_change();

    auto* colour = w.find<ColourEffect>("colour");
    auto* controller = w.find<RocketQML>("rocket");
    ASSERT_TRUE(colour && controller);
    QSignalSpy controllerRuns(controller, &RocketQML::rocketUpdated);

    // Recently changed: drawn as usual.
    w.frames(2);
    EXPECT_GE(colour->renders, 2);
    EXPECT_EQ(w.windowPixel()[1], 255);
    EXPECT_FLOAT_EQ(rocket.last_frame_time(), 100.0f);

    // Untouched for more than 400 ms: the skene is neither drawn nor
    // cleared, the controller still runs, each frame sleeps 10 ms and
    // reports its time without the sleep.
    rocket.note_change_at(platform::millisecondClock() - 1000);
    colour->g = 0;
    colour->r = 1;
    const int renders = colour->renders;
    const int runs = controllerRuns.count();
    QElapsedTimer timer;
    timer.start();
    w.frames(3);
    EXPECT_GE(timer.elapsed(), 30);
    EXPECT_EQ(colour->renders, renders);
    EXPECT_EQ(controllerRuns.count(), runs + 3);
    EXPECT_FLOAT_EQ(rocket.last_frame_time(), 90.0f);
    const auto pixel = w.windowPixel();
    EXPECT_EQ(pixel[1], 255) << "the last image stays";
    EXPECT_EQ(pixel[0], 0);

    // A change from an editor wakes it up.
    rocket.note_change();
    w.frames(1);
    EXPECT_EQ(colour->renders, renders + 1);
    EXPECT_FLOAT_EQ(rocket.last_frame_time(), 100.0f);
    EXPECT_EQ(w.windowPixel()[0], 255);
}

TEST_F(DemoFrame, FilePlaybackRendersNothingWhilePausedAndStartsOnceLoadedAndSettled)
{
    // A mesh a skene has imported but not drawn yet: its buffers go to the
    // GPU when playback starts.
    TempDemo folder;
    folder.write("square.obj", "v -1 -1 0\nv 1 -1 0\nv 1 1 0\nf 1 2 3\n");
    folder.enter();

    DemoWindow w(R"(
import QtQuick 2.15
import QuellinDemoSystem 1.0
import TarvonicTest 1.0
Demo {
    Rocket { objectName: "rocket" }
    Scene { sceneEnabled: true; ColourEffect { objectName: "colour" } }
}
)", 64, 36, compilingEveryFrame);
    Rocket& rocket = Rocket::instance();
    rocket.on_pause(true);
    rocket_flags().rocket_enabled = false;
    // Among the resources the Demo item made for its window.
    Mesh* waiting = gpu().meshes.add("square");
    ASSERT_FALSE(waiting->importMesh("square.obj", false, 0.0f, false));
    ASSERT_TRUE(waiting->records.empty());

    auto* colour = w.find<ColourEffect>("colour");
    auto* controller = w.find<RocketQML>("rocket");
    ASSERT_TRUE(colour && controller);
    QSignalSpy controllerRuns(controller, &RocketQML::rocketUpdated);
    const int renders = colour->renders;
    w.frames(2);
    EXPECT_EQ(colour->renders, renders);
    EXPECT_EQ(controllerRuns.count(), 0);

    // Loaded but shaders not settled yet: still waiting.
    rocket.set_demo_loaded(true);
    w.frames(1);
    EXPECT_TRUE(rocket.is_paused());
    EXPECT_TRUE(waiting->records.empty());

    w.beforeFrame = nullptr;
    compileLongAgo();
    w.frames(1); // settles at its end
    EXPECT_TRUE(rocket.is_paused());

    // The frame that starts playback renders the skenes and the controller.
    w.frames(1);
    EXPECT_FALSE(rocket.is_paused());
    EXPECT_FALSE(rocket.demo_loaded());
    EXPECT_FALSE(waiting->records.empty());
    EXPECT_EQ(colour->renders, renders + 1);
    EXPECT_EQ(controllerRuns.count(), 1);
}

TEST_F(DemoFrame, WindowSizeDrivesDemoSizeAndKeeps16To9)
{
    DemoWindow w(kGreenSkene, 320, 240);
    ASSERT_TRUE(w.demo);
    w.frames(1);
    EXPECT_TRUE(waitUntil([&] { return w.window->height() == 180; }, 2000));
    w.frames(1);
    EXPECT_EQ(demoDisplay().width, 320);
    EXPECT_EQ(demoDisplay().height, 180);
    EXPECT_EQ(w.demo->windowWidth(), 320);
    EXPECT_EQ(w.demo->windowHeight(), 180);
}

// In the frame of a resize the demo's targets, the layers that follow the
// window and the size the frame draws at are one size.
TEST_F(DemoFrame, AResizeFrameDrawsAtOneSize)
{
    DemoWindow w(R"(
import QtQuick 2.15
import QuellinDemoSystem 1.0
Demo {
    Scene { sceneEnabled: true; RenderTarget { RenderTargetLayer { textureRT: "follows"; blitRT: 0 } } }
}
)");
    ASSERT_TRUE(w.demo);
    struct Sizes {
        int demoWidth, demoHeight, framebufferWidth, framebufferHeight, layerWidth, layerHeight;
    } sizes{};
    w.afterFrame = [&] {
        GLint fw = 0, fh = 0;
        glBindTexture(GL_TEXTURE_2D, w.demo->colourTexture(0));
        glGetTexLevelParameteriv(GL_TEXTURE_2D, 0, GL_TEXTURE_WIDTH, &fw);
        glGetTexLevelParameteriv(GL_TEXTURE_2D, 0, GL_TEXTURE_HEIGHT, &fh);
        glBindTexture(GL_TEXTURE_2D, 0);
        const RenderTarget* layer = gpu().targets.find("follows");
        sizes = {demoDisplay().width, demoDisplay().height, fw, fh, layer ? layer->width() : 0,
                 layer ? layer->height() : 0};
    };
    frameState().shadersSettled = true;
    w.frames(1);
    EXPECT_EQ(sizes.framebufferWidth, 64);

    w.window->resize(128, 96); // not 16:9: the frame draws at 128 x 72
    ASSERT_TRUE(waitUntil([&] { return w.window->width() == 128; }, 2000));
    w.frames(1);
    EXPECT_EQ(sizes.demoWidth, 128);
    EXPECT_EQ(sizes.demoHeight, 72);
    EXPECT_EQ(sizes.framebufferWidth, 128);
    EXPECT_EQ(sizes.framebufferHeight, 72);
    EXPECT_EQ(sizes.layerWidth, 128);
    EXPECT_EQ(sizes.layerHeight, 72);
}

namespace {

// The node of item in the tree published into context, or null.
DataObject* nodeOf(QQmlContext& context, QObject* item)
{
    std::function<DataObject*(const QList<QObject*>&)> search = [&](const QList<QObject*>& nodes) -> DataObject* {
        for (QObject* object : nodes) {
            auto* node = qobject_cast<DataObject*>(object);
            if (!node)
                continue;
            if (node->item() == item)
                return node;
            if (DataObject* below = search(node->childs()))
                return below;
        }
        return nullptr;
    };
    return search(context.contextProperty(kSkeneTreeProperty).value<QList<QObject*>>());
}

} // namespace

// The edit view's tree names items by index paths; when a Repeater shrinks,
// the paths below its parent move on. An edit through a node lands on the
// node's item, or on nothing once the item is gone, and the tree follows
// the change, Loader items included.
TEST_F(DemoFrame, AnEditThroughATreeNodeLandsOnItsItemWhenThePathsMove)
{
    LogCapture log;
    activeSkeneList().entries = {{"alpha", 1}};
    DemoWindow w(R"(
import QtQuick 2.15
import QuellinDemoSystem 1.0
Demo {
    Scene {
        id: skene; objectName: "skene"; property string sceneName: "alpha"; sceneEnabled: true
        property int copies: 2
        Repeater { model: skene.copies; Pos { x: 1 } }
        Pos { objectName: "posA"; x: 100 }
        Pos { objectName: "posB"; x: 200 }
        Loader { objectName: "loader"; active: false; sourceComponent: Component { Pos { objectName: "late" } } }
    }
}
)");
    ASSERT_TRUE(w.demo);
    QQmlContext context(w.engine.get());
    publishSkeneTree(&context, w.demo);
    QQuickItem* skene = w.find<QQuickItem>("skene");
    QQuickItem* posA = w.find<QQuickItem>("posA");
    QQuickItem* posB = w.find<QQuickItem>("posB");
    DataObject* nodeA = nodeOf(context, posA);
    ASSERT_TRUE(nodeA);
    EXPECT_EQ(nodeA->itemPath(), "/0:=RocketScene/3:=Pos");

    skene->setProperty("copies", 1);
    w.demo->modifySkeneValue("alpha", nodeA->itemPath() + "/0:=x:/:=100", "x", "555");
    w.frames(1);
    EXPECT_FLOAT_EQ(posA->property("x").toFloat(), 555.0f);
    EXPECT_FLOAT_EQ(posB->property("x").toFloat(), 200.0f);

    // The tree was built again with the paths as they are now.
    ASSERT_TRUE(waitUntil([&] { return nodeOf(context, posA) && nodeOf(context, posA)->itemPath() ==
                                                                   "/0:=RocketScene/2:=Pos"; }));

    // A node whose item the Repeater let go: the edit lands on that item
    // while it lives, else nowhere (and says so), never on what has its
    // path now (posA).
    QPointer<QQuickItem> copy = skene->childItems()[1];
    DataObject* stale = nodeOf(context, copy);
    ASSERT_TRUE(stale);
    const QString stalePath = stale->itemPath();
    skene->setProperty("copies", 0);
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    w.demo->modifySkeneValue("alpha", stalePath + "/0:=x:/", "x", "777");
    w.frames(1);
    EXPECT_FLOAT_EQ(posA->property("x").toFloat(), 555.0f);
    EXPECT_FLOAT_EQ(posB->property("x").toFloat(), 200.0f);
    if (copy)
        EXPECT_FLOAT_EQ(copy->property("x").toFloat(), 777.0f);
    else
        EXPECT_TRUE(log.contains("modVal left nothing changed: the item of " + stalePath.toStdString() + " is gone"));

    // What a Loader makes later gets its node.
    w.find<QQuickItem>("loader")->setProperty("active", true);
    ASSERT_TRUE(waitUntil([&] {
        QQuickItem* late = w.find<QQuickItem>("late");
        return late && nodeOf(context, late);
    }));
}

// A property bound to something that changes takes its binding's value back
// in the next frame; the Demo says so instead of letting the edit vanish.
// An edit for a skene that is not loaded is dropped with a line too.
TEST_F(DemoFrame, EditsThatABindingUndoesOrNoSkeneTakesAreReported)
{
    LogCapture log;
    DemoWindow w(R"(
import QtQuick 2.15
import QuellinDemoSystem 1.0
Demo {
    Scene {
        id: skene; objectName: "skene"; sceneEnabled: true
        property int tick: 0
        Camera { objectName: "camera"; lookAtX: skene.tick + 1000 }
    }
}
)");
    ASSERT_TRUE(w.demo);
    QQuickItem* skene = w.find<QQuickItem>("skene");
    QQuickItem* camera = w.find<QQuickItem>("camera");
    w.beforeFrame = [&] { skene->setProperty("tick", skene->property("tick").toInt() + 1); };
    QSignalSpy overridden(w.demo, &DemoQML::editOverridden);

    w.demo->modifySkeneValue("", "/0:=RocketScene/0:=Camera/0:=lookAtY:/", "lookAtY", "3");
    w.frames(2);
    EXPECT_FLOAT_EQ(camera->property("lookAtY").toFloat(), 3.0f);
    EXPECT_EQ(overridden.count(), 0); // nothing binds lookAtY

    w.demo->modifySkeneValue("", "/0:=RocketScene/0:=Camera/0:=lookAtX:/", "lookAtX", "123");
    w.frames(2);
    const QString bound = QString::number(skene->property("tick").toInt() + 1000);
    EXPECT_EQ(camera->property("lookAtX").toString(), bound);
    ASSERT_EQ(overridden.count(), 1);
    EXPECT_EQ(overridden[0][1].toString(), "lookAtX");
    EXPECT_EQ(overridden[0][2].toString(), bound);
    EXPECT_TRUE(log.contains("modifySkeneValue: lookAtX is bound; its binding set it back to " + bound.toStdString()));

    w.demo->modifySkeneValue("nosuch", "/0:=RocketScene/0:=Camera/0:=lookAtY:/", "lookAtY", "9");
    w.frames(1);
    EXPECT_FLOAT_EQ(camera->property("lookAtY").toFloat(), 3.0f);
    EXPECT_TRUE(log.contains("modifySkeneValue: no skene nosuch is loaded; the edit of /0:=RocketScene/0:=Camera is dropped"));
}

TEST_F(DemoFrame, ProgressSignalsFlagsAndStatePerFrame)
{
    compileLongAgo();
    std::unique_ptr<QSignalSpy> firstFrame, firstDemo;
    DemoWindow w(kGreenSkene, 64, 36, [&](DemoWindow& window) {
        firstFrame = std::make_unique<QSignalSpy>(window.demo, &DemoQML::firstFrameRendered);
        firstDemo = std::make_unique<QSignalSpy>(window.demo, &DemoQML::firstDemoRender);
    });
    ASSERT_TRUE(w.demo);
    w.frames(3);
    EXPECT_EQ(firstFrame->count(), 1);
    EXPECT_EQ(firstDemo->count(), 1);
    EXPECT_TRUE(w.demo->firstFrameDone());
    EXPECT_FALSE(frameState().firstDemoRenderPending);

    // Each frame starts with the frame-started flag set and the save-point
    // query empty, and renders with blending, depth test and writes on.
    auto* colour = w.find<ColourEffect>("colour");
    ASSERT_TRUE(colour);
    frameState().frameStarted = false;
    frameState().savePointQuery.answers.push_back({"stale", {}});
    const int counter = frameState().frameCounter;
    frameState().particleResetRequest = true;
    w.demo->clearResetParticles();
    EXPECT_FALSE(frameState().particleResetRequest);

    auto* doomed = new QObject;
    QPointer<QObject> watch(doomed);
    deferDestruction(doomed);
    w.frames(1);
    EXPECT_TRUE(frameState().frameStarted);
    EXPECT_TRUE(frameState().savePointQuery.answers.empty());
    EXPECT_EQ(frameState().frameCounter, counter + 1);
    EXPECT_TRUE(colour->depthTestOn);
    EXPECT_TRUE(colour->depthWriteOn);
    EXPECT_TRUE(colour->blendOn);
    EXPECT_TRUE(gpu().depth.test.empty());
    EXPECT_TRUE(gpu().depth.write.empty());
    EXPECT_TRUE(watch.isNull());
}

TEST_F(DemoFrame, FirstDemoRenderWaitsForGlAndCanBeAcknowledged)
{
    ensureQtApp();
    // No context is current here; one left current by an earlier case
    // would let GLEW load.
    GlTestContext::releaseCurrent();
    {
        // No window, so no context: GLEW cannot load and the frame waits
        // without touching GL or using up the first demo render.
        forgetGlew();
        DemoQML demo;
        QSignalSpy firstDemo(&demo, &DemoQML::firstDemoRender);
        demo.doBeforeRender();
        EXPECT_EQ(firstDemo.count(), 0);
        EXPECT_FALSE(glewReady());
        EXPECT_TRUE(frameState().firstDemoRenderPending);
        EXPECT_EQ(frameState().frameCounter, 0);
    }

    DemoWindow w(kGreenSkene);
    QSignalSpy firstDemo(w.demo, &DemoQML::firstDemoRender);
    frameState().firstDemoRenderPending = true;
    w.frames(2);
    EXPECT_EQ(firstDemo.count(), 1);

    frameState().firstDemoRenderPending = true;
    w.demo->ackFirstDemoRender();
    w.frames(2);
    EXPECT_EQ(firstDemo.count(), 1);
}

TEST_F(DemoFrame, DisabledDemoRendersNothing)
{
    DemoWindow w(kGreenSkene);
    auto* colour = w.find<ColourEffect>("colour");
    ASSERT_TRUE(colour);
    const int renders = colour->renders;
    const int counter = frameState().frameCounter;
    w.demo->setEnabled(false);
    w.frames(1);
    EXPECT_EQ(colour->renders, renders);
    EXPECT_EQ(frameState().frameCounter, counter);
}

TEST_F(DemoFrame, QtQuickContentOfTheViewSurvivesTheFrame)
{
    // Before shaders settle the skenes draw over what Qt Quick drew; the
    // frame must leave the GL state as Qt Quick expects it, or its next frame
    // loses its opaque items.
    DemoWindow w(R"(
import QtQuick 2.15
import QuellinDemoSystem 1.0
import TarvonicTest 1.0
Demo {
    width: 64; height: 36
    Rectangle { anchors.fill: parent; color: "#0000ff" }
    Scene { sceneEnabled: true }
}
)", 64, 36, compilingEveryFrame);
    w.frames(3);
    const auto pixel = w.windowPixel();
    EXPECT_EQ(pixel[0], 0);
    EXPECT_EQ(pixel[1], 0);
    EXPECT_EQ(pixel[2], 255);
}

TEST_F(DemoFrame, ShadersSettleOnceTheirCompilesHaveBeenQuietFor300Ms)
{
    TempDemo folder;
    folder.write("flat.vert", "#version 330 compatibility\nvoid main() { gl_Position = ftransform(); }\n");
    folder.write("flat.frag", "#version 330 compatibility\nvoid main() { gl_FragColor = vec4(1.0); }\n");
    folder.enter();
    RecordingNotifier& notifier = installRecordingNotifier();
    std::unique_ptr<Shader> shader;
    DemoWindow w(kGreenSkene, 64, 36, [&](DemoWindow& window) {
        window.beforeFrame = [&] {
            if (!shader) {
                shader = std::make_unique<Shader>();
                shader->load("flat", "");
            }
        };
    });
    w.frames(1);
    ASSERT_NE(frameState().latestShaderCompileMs, 0u);
    EXPECT_TRUE(notifier.boxes.empty());
    EXPECT_FALSE(frameState().shadersSettled);

    waitUntil([] { return false; }, 350);
    w.frames(1);
    EXPECT_TRUE(frameState().shadersSettled);
    // The frame always leaves no program current for the next one.
    EXPECT_EQ(gpu().shaders.current(), nullptr);
}

TEST_F(DemoFrame, ErrorBoxOfAReloadRunsNoFramePollOrLoadInsideTheFrame)
{
    const char* const good = "#version 330 compatibility\nvoid main() { gl_FragColor = vec4(1.0); }\n";
    TempDemo folder;
    folder.write("flat.vert", "#version 330 compatibility\nvoid main() { gl_Position = ftransform(); }\n");
    folder.write("flat.frag", good);
    folder.enter();
    const auto saved = [&](const char* text, int seconds) {
        folder.write("flat.frag", text);
        const std::string path = folder.path("flat.frag");
        std::filesystem::last_write_time(path, std::filesystem::last_write_time(path) + std::chrono::seconds(seconds));
    };
    RecordingNotifier& notifier = installRecordingNotifier();
    DemoWindow w(R"(
import QtQuick 2.15
import QuellinDemoSystem 1.0
Demo {
    Scene { sceneEnabled: true; Shader { objectName: "shade"; file: "flat" } }
}
)");
    // Paused: the frame polls the shader files.
    Rocket::instance().on_pause(true);
    auto* shade = w.find<ShadeQML>("shade");
    ASSERT_TRUE(shade);
    w.frames(2);
    ASSERT_TRUE(shade->shader() && shade->shader()->linked());
    const GLuint working = shade->shader()->program();

    // The author breaks the shader; the poll's reload opens a box, and while
    // it is open a frame is due and the author saves the fix.
    saved("#version 330\nvoid main() { this is wrong; }\n", 3);
    gpu().shaders.files().resetPollClock();
    int opened = 0;
    int nestedFrames = -1;
    bool nestedPoll = true, nestedLoad = true;
    notifier.whileOpen = [&] {
        if (opened++)
            return;
        const int before = frameState().frameCounter;
        w.demo->doBeforeRender();
        nestedFrames = frameState().frameCounter - before;
        saved(good, 6);
        gpu().shaders.files().resetPollClock();
        nestedPoll = gpu().shaders.files().pollAll();
        nestedLoad = shade->shader()->reload();
    };
    w.frames(1);
    ASSERT_GE(opened, 1);
    EXPECT_EQ(nestedFrames, 0);
    EXPECT_FALSE(nestedPoll);
    EXPECT_FALSE(nestedLoad);
    // Live editing: the broken save left the working program in place.
    EXPECT_TRUE(shade->shader()->linked());
    EXPECT_EQ(shade->shader()->program(), working);

    // The fix saved meanwhile is picked up by the next poll.
    notifier.whileOpen = nullptr;
    gpu().shaders.files().resetPollClock();
    w.frames(1);
    EXPECT_TRUE(shade->shader()->linked());
    EXPECT_NE(shade->shader()->program(), working);
}

TEST_F(DemoFrame, WhileEditingABrokenSaveLeavesTheLastGoodPictureUntilTheNextGoodOne)
{
    TempDemo folder;
    folder.write("tint.vert", "#version 430 compatibility\nlayout(location = 0) in vec3 p;\n"
                              "void main() { gl_Position = vec4(p.xy * 2.0 - 1.0, 0.0, 1.0); }\n");
    int stamp = 0;
    const auto save = [&](const std::string& body) {
        folder.write("tint.frag", "#version 430 compatibility\nout vec4 c;\nvoid main() { " + body + " }\n");
        const std::string path = folder.path("tint.frag");
        stamp += 3;
        std::filesystem::last_write_time(path, std::filesystem::last_write_time(path) + std::chrono::seconds(stamp));
    };
    save("c = vec4(1.0, 0.0, 0.0, 1.0);");
    folder.enter();
    RecordingNotifier& boxes = installRecordingNotifier();
    DemoWindow w(R"(
import QtQuick 2.15
import QuellinDemoSystem 1.0
Demo {
    Scene { sceneEnabled: true; Shader { file: "tint"; DrawVB { type: "quad" } } }
}
)");
    Rocket& rocket = Rocket::instance();
    rocket_flags().rocket_enabled = true;
    rocket.on_pause(true);
    frameState().shadersSettled = true;
    w.frames(1);
    ASSERT_EQ(w.windowPixel()[0], 255);

    const auto pollAndDraw = [&] {
        rocket.note_change_at(platform::millisecondClock() - 10000);
        gpu().shaders.files().resetPollClock();
        w.frames(2);
        return w.windowPixel();
    };
    save("c = vec4(0.0, 1.0, 0.0, 1.0)"); // the semicolon forgotten
    auto pixel = pollAndDraw();
    EXPECT_EQ(boxes.boxes.size(), 1u);
    EXPECT_EQ(pixel[0], 255);
    EXPECT_EQ(pixel[1], 0);

    save("c = vec4(0.0, 1.0, 0.0, 1.0);");
    pixel = pollAndDraw();
    EXPECT_EQ(pixel[0], 0);
    EXPECT_EQ(pixel[1], 255);
}

TEST_F(DemoFrame, TheDemoItemMakesItsWindowsGpuResourcesAndDeletesThemWithIt)
{
    GlTestContext::releaseCurrent();
    ASSERT_EQ(currentGpuResources(), nullptr);
    GLuint vertexArray = 0;
    GpuResources* made = nullptr;
    DemoWindow w(kGreenSkene, 64, 36, [&](DemoWindow& window) {
        // The frame host's resources exist before any item synchronises.
        window.beforeFrame = [&] {
            made = currentGpuResources();
            if (made && !vertexArray) {
                Mesh* quad = gpu().vertexBuffers.add("quad");
                createCustomQuadVBO(*quad);
                vertexArray = quad->records[0].vertexArray;
            }
        };
    });
    ASSERT_NE(made, nullptr);
    EXPECT_TRUE(made->glewLoaded);
    ASSERT_NE(vertexArray, 0u);

    w.root.reset(); // the Demo item goes, its window stays
    EXPECT_EQ(currentGpuResources(), nullptr);
    ASSERT_TRUE(platform::makeGlContextCurrent(w.window->openglContext(), w.window.get()));
    EXPECT_FALSE(glIsVertexArray(vertexArray));
}

TEST_F(DemoFrame, AMeshThatNeverFinishesImportingLeavesTheFramesRunningAndTheEndPrompt)
{
    compileLongAgo();
    TempDemo folder;
    folder.write("good.obj", "v -1 -1 0\nv 1 -1 0\nv 1 1 0\nf 1 2 3\n");
    folder.write("hang.obj", "v -1 -1 0\nv 1 -1 0\nv 1 1 0\nf 1 2 3\n");
    folder.enter();
    auto w = std::make_unique<DemoWindow>(R"(
import QtQuick 2.15
import QuellinDemoSystem 1.0
import TarvonicTest 1.0
Demo {
    Scene {
        sceneEnabled: true
        ColourEffect { objectName: "colour"; g: 1 }
        DrawMesh { objectName: "hung" }
        DrawMesh { objectName: "good" }
    }
}
)");
    ASSERT_TRUE(w->demo);
    // Stands in for an importer spinning on a hostile file; it lets go at
    // the case's end, or after 20 s at the latest.
    auto release = std::make_shared<std::atomic<bool>>(false);
    auto left = std::make_shared<std::atomic<bool>>(false);
    gpu().meshImports.setImportFunction(
        [release, left](const MeshImportRequest& request, MeshData& data, std::string& error) {
            if (request.file == "hang.obj") {
                for (int i = 0; i < 2000 && !*release; ++i)
                    std::this_thread::sleep_for(std::chrono::milliseconds(10));
                *left = true;
            }
            return importMeshData(request, data, error);
        });
    auto* colour = w->find<ColourEffect>("colour");
    auto* hung = w->find<MeshQML>("hung");
    auto* good = w->find<MeshQML>("good");
    ASSERT_TRUE(colour && hung && good);
    QSignalSpy pendingChanged(w->demo, &DemoQML::pendingMeshesChanged);
    hung->setFile("hang.obj");
    good->setFile("good.obj");

    // Every frame draws the skene; the good mesh arrives beside the hung one.
    const int renders = colour->renders;
    QElapsedTimer timer;
    timer.start();
    int frames = 0;
    while (good->mesh() == nullptr || good->mesh()->importPending) {
        w->frames(1);
        ++frames;
        ASSERT_LT(timer.elapsed(), 10000) << "the good mesh never came";
    }
    w->frames(5);
    EXPECT_EQ(colour->renders, renders + frames + 5);
    ASSERT_NE(hung->mesh(), nullptr);
    EXPECT_TRUE(hung->mesh()->importPending);
    EXPECT_EQ(w->demo->pendingMeshes(), 1);
    EXPECT_GE(pendingChanged.count(), 1);
    EXPECT_FALSE(good->mesh()->importGivenUp);

    // The end does not wait for the import that still runs.
    timer.restart();
    w.reset();
    EXPECT_LT(timer.elapsed(), 2000);
    EXPECT_FALSE(*left);
    *release = true;
    for (int i = 0; i < 500 && !*left; ++i)
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    EXPECT_TRUE(*left);
}

TEST_F(DemoFrame, ACaptureFrameWaitsForTheMeshesItAskedFor)
{
    compileLongAgo();
    TempDemo folder;
    folder.write("slow.obj", "v -1 -1 0\nv 1 -1 0\nv 1 1 0\nf 1 2 3\n");
    folder.enter();
    DemoWindow w(R"(
import QtQuick 2.15
import QuellinDemoSystem 1.0
Demo {
    Scene { sceneEnabled: true; DrawMesh { objectName: "mesh" } }
}
)");
    ASSERT_TRUE(w.demo);
    gpu().meshImports.setImportFunction([](const MeshImportRequest& request, MeshData& data, std::string& error) {
        std::this_thread::sleep_for(std::chrono::milliseconds(300));
        return importMeshData(request, data, error);
    });
    auto* mesh = w.find<MeshQML>("mesh");
    ASSERT_TRUE(mesh);
    frameState().waitForMeshImports = true;
    mesh->setFile("slow.obj");
    QElapsedTimer timer;
    timer.start();
    w.frames(1);
    EXPECT_GE(timer.elapsed(), 250);
    ASSERT_NE(mesh->mesh(), nullptr);
    EXPECT_FALSE(mesh->mesh()->importPending);
    EXPECT_NE(mesh->mesh()->data, nullptr);
    EXPECT_EQ(w.demo->pendingMeshes(), 0);
}
