#include <GL/glew.h>

#include "host/DemoQML.h"

#include "gpu/DepthState.h"
#include "gpu/FileAutoLoader.h"
#include "gpu/FramebufferStatus.h"
#include "gpu/GlewSetup.h"
#include "gpu/MeshRegistry.h"
#include "gpu/Shader.h"
#include "items/IEffect.h"
#include "platform/Clock.h"
#include "platform/Files.h"
#include "platform/Notifier.h"
#include "state/ActiveSkeneList.h"
#include "state/DemoDisplay.h"
#include "state/DemoFolders.h"
#include "state/FrameState.h"
#include "state/PendingEdit.h"
#include "state/SkeneSetups.h"
#include "state/rocket_flags.h"
#include "sync/Rocket.h"
#include "time/SystemTime.h"
#include "time/TimeState.h"

#include <QDebug>
#include <QQmlComponent>
#include <QQmlContext>
#include <QQmlEngine>
#include <QQmlError>
#include <QQuickWindow>
#include <QSGNode>
#include <QUrl>
#include <QVariant>

namespace {

const char* const kLoadErrorCaption = "ERROR LOADING QML fx/*";

// Skenes are drawn only while an editor has changed something in the last
// 400 ms or the demo plays; a paused, untouched demo keeps its last image.
const uint32_t kIdleAfterMs = 400;
const int kIdleSleepMs = 10;

int& reloadCounter()
{
    static int count = 0;
    return count;
}

void logFramebufferStatus(const char* label)
{
    const GLenum status = glCheckFramebufferStatusEXT(GL_FRAMEBUFFER);
    qDebug("%s%s", label, framebufferStatusText(status));
}

// Milliseconds of the frame clock: the one a test installed, else start-up's
// SystemTime, else (before start-up has made it) a steady clock.
double frameClockMs()
{
    if (const auto clock = frameState().clockMs)
        return clock();
    if (const SystemTime* systemTime = timeState().systemTime.get())
        return systemTime->timeMs();
    // Measured from the first reading so that the milliseconds stay small
    // enough to keep sub-millisecond precision for the life of the process.
    static const int64_t start = platform::steadyNanoseconds();
    return double(platform::steadyNanoseconds() - start) / 1e6;
}

// The engine's own messages ("file:line:column: text"), one a line, so the
// author sees what is wrong and not only which file.
std::string errorLines(const QList<QQmlError>& errors)
{
    std::string text;
    for (const QQmlError& e : errors) {
        text += e.toString().toStdString();
        text += "\n";
    }
    return text;
}

void showLoadError(const std::string& text)
{
    platform::notifier().notify(text, kLoadErrorCaption, platform::NotifyButtons::Ok,
                                platform::NotifyIcon::Error);
}

// Mesh sub-components of a skene live in subdirectories whose names begin
// with "Mesh"; the qmldir makes each usable in the skene's QML under that
// name. Returns the empty text when there are none.
std::string qmldirText(const std::string& skeneDir)
{
    std::string text;
    for (const std::string& name : listSkeneDirectories(skeneDir)) {
        if (name.compare(0, 4, "Mesh") == 0)
            text += name + " ./" + name + "/Mesh.qml\n";
    }
    return text;
}

} // namespace

DemoQML::DemoQML(QQuickItem* parent)
    : IRenderItem(parent)
    , samples_(demoDisplay().sampleCount)
{
    setFlag(QQuickItem::ItemHasContents);
}

DemoQML::~DemoQML()
{
    // The GL objects are left to the context: the item may die after it
    // (view teardown), and a context going away releases what it owns.
}

int DemoQML::reloadCount()
{
    return reloadCounter();
}

bool DemoQML::fileExists(QString fileName)
{
    if (fileName.isEmpty())
        return true;
    // The loader asks with full paths; those count as they stand.
    return demoFileReadable(fileName.toStdString());
}

void DemoQML::addImportPath(QString importPath)
{
    if (QQmlEngine* e = qmlEngine(this))
        e->addImportPath(importPath);
}

bool DemoQML::loadSkene(QQuickItem* parent, const std::string& filePath, const std::string& skeneName,
                        bool showErrors)
{
    if (filePath.find("qmldir") != std::string::npos)
        return true;

    // A qmldir that cannot be written leaves the old one (or none) in place;
    // the skene still loads, only its mesh components may be unknown.
    const std::string skeneDir = demoFolders().rootDir + "/fx/" + skeneName + "/";
    const std::string qmldir = qmldirText(skeneDir);
    if (!qmldir.empty())
        (void)writeTextFile(skeneDir + "qmldir", qmldir);

    QQmlEngine* eng = qmlEngine(this);
    if (!eng || !parent) {
        qDebug() << "DemoQML::loadSkene without a QML engine:" << filePath.c_str();
        return false;
    }

    QQmlComponent component(eng, QUrl::fromLocalFile(QString::fromStdString(filePath)));
    if (component.status() == QQmlComponent::Error) {
        frameState().firstDemoRenderPending = false;
        showLoadError("Error with Skene QML file:\n" + filePath + "\n\n" + errorLines(component.errors()));
        return false;
    }

    QObject* object = component.create(qmlContext(parent));
    if (!object) {
        if (showErrors) {
            frameState().firstDemoRenderPending = false;
            showLoadError("Cannot add skene:\n" + filePath + "\n\n Fix the errors!!!\n\n" +
                          errorLines(component.errors()));
        }
        return false;
    }

    const QString name = QString::fromStdString(skeneName);
    // Owned by the Demo item, so the skenes die with it.
    object->setParent(parent);
    object->setProperty("sceneName", name);
    object->setProperty("name", name);
    if (auto* item = qobject_cast<QQuickItem*>(object))
        item->setParentItem(parent);
    return true;
}

void DemoQML::reloadDemo()
{
    const DemoFolders& folders = demoFolders();
    const std::string fxDir = folders.rootDir + "/fx/";
    qDebug() << "DemoQML::reloadDemo() called!";
    qDebug() << "DemoQML::reloadDemo() Really do it now!";
    ++reloadCounter();

    for (const std::string& name : folders.skeneDirectories) {
        // Shared folders such as _SharedQML and _ActiveSkeneSetups.
        if (!name.empty() && name[0] == '_')
            continue;
        if (!isActiveSkene(name))
            continue;
        std::string path = fxDir + name + "/Skene.qml";
        if (!fileExists(QString::fromStdString(path))) {
            qDebug() << "Skene.qml not found from path:" << path.c_str();
            continue;
        }
        if (loadSkene(this, path, name, false))
            continue;
        path = fxDir + name + "/" + name + ".qml";
        if (!loadSkene(this, path, name, true)) {
            frameState().firstDemoRenderPending = false;
            break;
        }
    }

    // The overlay is optional: a demo without one must not raise a box (and
    // lose its firstDemoRender) on every reload. A broken one still does.
    const std::string overlay = fxDir + "DebugInfoOverDemo.qml";
    if (platform::canOpenForReading(overlay))
        loadSkene(this, overlay, "DebugInfoOverDemo.qml", false);
    else
        qDebug() << "DebugInfoOverDemo.qml not found from path:" << overlay.c_str();
}

void DemoQML::clearResetParticles()
{
    frameState().particleResetRequest = false;
}

void DemoQML::ackFirstDemoRender()
{
    frameState().firstDemoRenderPending = false;
}

QSGNode* DemoQML::updatePaintNode(QSGNode* oldNode, UpdatePaintNodeData*)
{
    qDebug() << "DemoQML::updatePaintNode";
    QSGNode* node = oldNode ? oldNode : new QSGNode;
    node->markDirty(QSGNode::DirtyMatrix | QSGNode::DirtyNodeAdded | QSGNode::DirtyOpacity |
                    QSGNode::DirtyForceUpdate);
    if (QQuickWindow* win = boundWindow())
        win->resetOpenGLState();
    return node;
}

void DemoQML::deleteFramebuffer()
{
    if (framebuffer_)
        glDeleteFramebuffers(1, &framebuffer_);
    glDeleteTextures(3, colourTextures_);
    if (depthTexture_)
        glDeleteTextures(1, &depthTexture_);
    framebuffer_ = 0;
    depthTexture_ = 0;
    for (unsigned& t : colourTextures_)
        t = 0;
}

void DemoQML::createFramebuffer(bool multisample)
{
    FrameState& fs = frameState();
    const int width = demoDisplay().width;
    const int height = demoDisplay().height;

    // A wider window makes new targets; the old ones would only hold memory.
    deleteFramebuffer();
    framebufferReady_ = true;
    framebufferWidth_ = width;

    glActiveTexture(GL_TEXTURE0);
    glGenTextures(3, colourTextures_);
    for (unsigned texture : colourTextures_) {
        if (multisample) {
            glBindTexture(GL_TEXTURE_2D_MULTISAMPLE, texture);
            glTexImage2DMultisample(GL_TEXTURE_2D_MULTISAMPLE, samples_, GL_RGBA16F, width, height, GL_TRUE);
        } else {
            glBindTexture(GL_TEXTURE_2D, texture);
            glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, GL_LINEAR);
            glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MAG_FILTER, GL_LINEAR);
            glTexImage2D(GL_TEXTURE_2D, 0, GL_RGBA16F, width, height, 0, GL_RGBA, GL_UNSIGNED_BYTE, nullptr);
        }
    }
    fs.sceneColourTexture = colourTextures_[0];

    const GLenum target = multisample ? GL_TEXTURE_2D_MULTISAMPLE : GL_TEXTURE_2D;
    glGenFramebuffers(1, &framebuffer_);
    fs.windowFramebuffer = framebuffer_;
    glBindFramebuffer(GL_FRAMEBUFFER, framebuffer_);
    for (int i = 0; i < 3; ++i)
        glFramebufferTexture2D(GL_FRAMEBUFFER, GL_COLOR_ATTACHMENT0 + i, target, colourTextures_[i], 0);
    logFramebufferStatus("glFramebufferTexture2D");

    glGenTextures(1, &depthTexture_);
    if (multisample) {
        // A multisample texture has no sampler state to set.
        glBindTexture(GL_TEXTURE_2D_MULTISAMPLE, depthTexture_);
        glTexImage2DMultisample(GL_TEXTURE_2D_MULTISAMPLE, samples_, GL_DEPTH_COMPONENT24, width, height,
                                GL_TRUE);
        logFramebufferStatus("glTexImage2DMultisample");
    } else {
        glBindTexture(GL_TEXTURE_2D, depthTexture_);
        glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_WRAP_S, GL_CLAMP_TO_EDGE);
        glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_WRAP_T, GL_CLAMP_TO_EDGE);
        glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, GL_NEAREST);
        glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MAG_FILTER, GL_NEAREST);
        glTexParameteri(GL_TEXTURE_2D, GL_DEPTH_TEXTURE_MODE, GL_INTENSITY);
        glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_COMPARE_MODE, GL_COMPARE_R_TO_TEXTURE);
        glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_COMPARE_FUNC, GL_LEQUAL);
        glTexImage2D(GL_TEXTURE_2D, 0, GL_DEPTH_COMPONENT24, width, height, 0, GL_DEPTH_COMPONENT, GL_FLOAT,
                     nullptr);
        logFramebufferStatus("glTexImage2D");
    }
    fs.sceneDepthTexture = depthTexture_;
    glFramebufferTexture2D(GL_FRAMEBUFFER, GL_DEPTH_ATTACHMENT, target, depthTexture_, 0);
    logFramebufferStatus("glFramebufferTexture2D_Depth");
    glBindTexture(target, 0);
}

// What the frame finds when it begins; it holds for the whole frame, also
// when file playback starts during it.
struct DemoQML::FrameMode {
    bool liveEditing = false; // sync editors, not track files
    bool paused = false;
    // Paused editing untouched for 400 ms: the frame sleeps 10 ms ...
    bool idle = false;
    // ... and, once a first frame has been shown, keeps its image: no clear,
    // no skene, only the effects that render while idle.
    bool keepsImage = false;
};

void DemoQML::doBeforeRender()
{
    if (!isEnabled()) {
        qDebug() << "DemoQML disabled";
        return;
    }
    // Without the entry points every GL call would jump through a null
    // pointer; wait for a context that GLEW accepts.
    if (!glewReady() && !initGlew())
        return;

    const Rocket& rocket = Rocket::instance();
    FrameMode mode;
    mode.liveEditing = rocket_flags().rocket_enabled;
    mode.paused = rocket.is_paused();
    // Since an editor last changed something; the clock wraps.
    const uint32_t unchangedMs = platform::millisecondClock() - rocket.last_change_time;
    mode.idle = mode.paused && mode.liveEditing && unchangedMs > kIdleAfterMs;
    mode.keepsImage = mode.idle && firstFrameDone_;

    const bool offscreen = beginFrame(mode);
    // A frame that lands an edit from the edit view draws nothing, so the
    // change shows on a clean next frame.
    if (!applyPendingEdit())
        renderSkenes(mode);
    endFrame(mode, offscreen);
}

bool DemoQML::beginFrame(const FrameMode& mode)
{
    FrameState& fs = frameState();
    fs.savePointQuery.clear();
    if (fs.firstDemoRenderPending) {
        Q_EMIT firstDemoRender();
        fs.firstDemoRenderPending = false;
    }
    fs.frameStarted = true;
    ++fs.frameCounter;

    const bool offscreen = bindOffscreenTargets();
    startFilePlaybackWhenReady(mode);
    followWindowSize();

    glViewport(0, 0, demoDisplay().width, demoDisplay().height);
    glClearColor(0, 0, 0, 1);
    if (fs.shadersSettled && !mode.keepsImage) {
        // Qt Quick may leave masks and the scissor test behind; the clear
        // must reach every pixel of both buffers.
        glDisable(GL_SCISSOR_TEST);
        glColorMask(GL_TRUE, GL_TRUE, GL_TRUE, GL_TRUE);
        glDepthMask(GL_TRUE);
        glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
    }
    glEnable(GL_BLEND);
    glBlendFunc(GL_SRC_ALPHA, GL_ONE_MINUS_SRC_ALPHA);
    pushDepthTest(true);
    pushDepthWrite(true);
    glDepthFunc(GL_LEQUAL);
    return offscreen;
}

bool DemoQML::bindOffscreenTargets()
{
    // Until shaders settle, frames draw straight into the window's
    // framebuffer, uncleared and without the copy.
    const bool settled = frameState().shadersSettled;
    if (!framebufferReady_ || demoDisplay().width != framebufferWidth_) {
        createFramebuffer(samples_ > 1);
        return settled;
    }
    if (!settled)
        return false;
    glBindFramebuffer(GL_FRAMEBUFFER, framebuffer_);
    const GLenum buffers[3] = {GL_COLOR_ATTACHMENT0, GL_COLOR_ATTACHMENT1, GL_COLOR_ATTACHMENT2};
    glDrawBuffers(3, buffers);
    return true;
}

void DemoQML::startFilePlaybackWhenReady(const FrameMode& mode)
{
    // File playback starts once the demo has loaded and its shaders settled,
    // so the first seconds of music are not lost to compile stalls; the
    // meshes go to the GPU before the music starts, not at their first draw.
    Rocket& rocket = Rocket::instance();
    if (mode.liveEditing || !rocket.demo_loaded || !frameState().shadersSettled || !rocket.is_paused())
        return;
    rocket.on_pause(false);
    rocket.set_demo_loaded(false);
    uploadPendingMeshes();
}

void DemoQML::followWindowSize()
{
    // The demo keeps to 16:9 of the window's width.
    QQuickWindow* win = boundWindow();
    if (!win)
        return;
    const int w = win->width();
    const int h = win->height();
    setWindowWidth(w);
    setWindowHeight(h);
    setWindowPosX(win->x());
    setWindowPosY(win->y());
    if (demoDisplay().fixedSize)
        return;
    if (w != 0)
        demoDisplay().width = w;
    if (h != 0)
        demoDisplay().height = h;
    if (h != w * 9 / 16)
        win->setHeight(w * 9 / 16);
}

bool DemoQML::applyPendingEdit()
{
    bool applied = false;
    for (QQuickItem* child : childItems()) {
        auto* effect = qobject_cast<IEffect*>(child);
        if (effect && effect->modVal(child, "/0:=RocketScene")) {
            applied = true;
            break;
        }
    }
    // An edit that matched no item is dropped.
    pendingEdit().targetPath.clear();
    return applied;
}

void DemoQML::renderSkenes(const FrameMode& mode)
{
    // In file playback nothing runs while paused, the controller included:
    // playback has not started yet.
    if (!mode.liveEditing && mode.paused)
        return;
    for (QQuickItem* child : childItems()) {
        auto* effect = qobject_cast<IEffect*>(child);
        if (!effect || !effect->isEnabled() || !effect->switchedOn())
            continue;
        if (!mode.keepsImage || effect->rendersWhileIdle())
            effect->render(nullptr);
    }
}

void DemoQML::endFrame(const FrameMode& mode, bool offscreen)
{
    FrameState& fs = frameState();
    Shader::unbindShader();
    // Shader files are watched only while the demo is paused: a reload
    // stalls the frame, which must not happen during playback.
    if (mode.paused)
        IFileAutoLoader::pollAll();
    if (mode.idle)
        platform::sleepMilliseconds(kIdleSleepMs);

    // The idle sleep is not the frame's own cost: leave it out of the
    // frame-time history, which drives the QML time step.
    const double now = frameClockMs();
    frameTime_ = now - lastFrameStamp_ - (mode.idle ? kIdleSleepMs : 0);
    Rocket::instance().push_frame_time(float(frameTime_));
    lastFrameStamp_ = now;

    if (offscreen) {
        const int width = demoDisplay().width;
        const int height = demoDisplay().height;
        glBindFramebuffer(GL_READ_FRAMEBUFFER, framebuffer_);
        glBindFramebuffer(GL_DRAW_FRAMEBUFFER, 0);
        glReadBuffer(GL_COLOR_ATTACHMENT0);
        glDrawBuffer(GL_BACK);
        glBlitFramebuffer(0, 0, width, height, 0, 0, width, height, GL_COLOR_BUFFER_BIT, GL_NEAREST);
        // Qt Quick reads the window back (grabs, screenshots) from whatever
        // is bound for reading; hand it its own framebuffer.
        glBindFramebuffer(GL_READ_FRAMEBUFFER, 0);
    }

    if (!firstFrameDone_) {
        Q_EMIT firstFrameRendered();
        firstFrameDone_ = true;
    }
    // The shader module keeps the time of its latest compile.
    const uint32_t compiled = lastShaderCompileTime();
    if (compiled != 0 && (!fs.shaderCompiled || compiled != fs.lastShaderCompileMs))
        setLastShaderCompileTime(compiled);
    if (shaderCompilesQuiet(platform::millisecondClock())) {
        fs.shadersSettled = true;
        Q_EMIT frameRendered();
    }

    destroyDeferred();
    popDepthWrite();
    popDepthTest();

    // Qt Quick's next frame starts from the GL defaults it relies on (depth
    // writes on for its opaque pass, no program, no buffers bound); without
    // this the view's own items vanish while the skenes draw into it.
    if (QQuickWindow* win = boundWindow())
        win->resetOpenGLState();
}
