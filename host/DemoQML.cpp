#include <GL/glew.h>

#include "host/DemoQML.h"

#include "editor/DOActiveScenes.h"
#include "editor/SkeneTree.h"
#include "gpu/FileAutoLoader.h"
#include "gpu/FramebufferStatus.h"
#include "gpu/GpuResources.h"
#include "gpu/VertexBuffers.h"
#include "items/IEffect.h"
#include "items/ItemEdit.h"
#include "platform/Clock.h"
#include "platform/Files.h"
#include "platform/FreeMemory.h"
#include "platform/GlContext.h"
#include "platform/Notifier.h"
#include "state/ActiveSkeneList.h"
#include "state/BuildErrors.h"
#include "state/DemoDisplay.h"
#include "state/DemoFolders.h"
#include "state/FrameState.h"
#include "state/LastReload.h"
#include "state/PendingEdit.h"
#include "state/SkeneSetups.h"
#include "state/rocket_flags.h"
#include "sync/Rocket.h"
#include "time/SystemTime.h"
#include "time/TimeState.h"

#include <algorithm>

#include <QDebug>
#include <QQmlComponent>
#include <QQmlContext>
#include <QQmlEngine>
#include <QQmlError>
#include <QQuickWindow>
#include <QSGNode>
#include <QUrl>
#include <QVariant>

#include <algorithm>

namespace {

const char* const kLoadErrorCaption = "ERROR LOADING QML fx/*";
const char* const kOverlayName = "DebugInfoOverDemo.qml";

// Skenes are drawn only while an editor has changed something in the last
// 400 ms or the demo plays; a paused, untouched demo keeps its last image.
const uint32_t kIdleAfterMs = 400;
const int kIdleSleepMs = 10;

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

// A path as the author names it: below the demo folder when it is there.
std::string demoRelativePath(const std::string& path)
{
    const std::string root = demoFolders().rootDir + "/";
    return path.compare(0, root.size(), root) == 0 ? path.substr(root.size()) : path;
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
    connect(this, &QQuickItem::windowChanged, this, &DemoQML::followWindowContext);
}

DemoQML::~DemoQML()
{
    // Old skenes still waiting for a frame go before their engine may.
    delete retired_.data();
    withdrawDemoItem(this);
    QObject::disconnect(this, &QQuickItem::windowChanged, this, &DemoQML::followWindowContext);
    QObject::disconnect(contextMade_);
    QObject::disconnect(contextGone_);
    // The view is torn down with its items first: its context still exists,
    // and the GL objects are deleted with it current. (The skene items that
    // die after this refer to nothing of them any more.)
    QQuickWindow* win = boundWindow();
    if ((gpu_ || framebufferReady_) && win)
        platform::makeGlContextCurrent(win->openglContext(), win);
    releaseGpuResources();
}

int DemoQML::reloadCount()
{
    return frameState().reloadCount;
}

void DemoQML::followWindowContext(QQuickWindow* win)
{
    QObject::disconnect(contextMade_);
    QObject::disconnect(contextGone_);
    if (!win)
        return;
    // The items synchronise in the frame that makes the context, and their
    // GL work needs the resources: they are made the moment it exists, with
    // it current. The window takes its context away with it current too.
    contextMade_ = connect(win, &QQuickWindow::sceneGraphInitialized, this, &DemoQML::makeGpuResources,
                           Qt::DirectConnection);
    contextGone_ = connect(win, &QQuickWindow::sceneGraphInvalidated, this, &DemoQML::releaseGpuResources,
                           Qt::DirectConnection);
}

bool DemoQML::makeGpuResources()
{
    // One set serves everything drawn in the context; a frame host that made
    // one already (a test's context) keeps it.
    if (currentGpuResources())
        return true;
    if (!platform::currentGlContext())
        return false;
    gpu_ = std::make_unique<GpuResources>();
    return true;
}

void DemoQML::releaseGpuResources()
{
    // Without the context current the objects are only forgotten: they go
    // with their context.
    QQuickWindow* win = boundWindow();
    const bool current = win && win->openglContext() && platform::currentGlContext() == win->openglContext();
    if (framebufferReady_ && current && glewReady())
        deleteFramebuffer();
    gpu_.reset();
    framebufferReady_ = false;
    framebuffer_ = 0;
    depthTexture_ = 0;
    for (unsigned& t : colourTextures_)
        t = 0;
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

    writeSkeneQmldir(skeneName);

    QQmlEngine* eng = qmlEngine(this);
    if (!eng || !parent) {
        qDebug() << "DemoQML::loadSkene without a QML engine:" << filePath.c_str();
        return false;
    }

    QQmlComponent component(eng, QUrl::fromLocalFile(QString::fromStdString(filePath)));
    const bool beside = buildErrors().besideDemo();
    if (component.status() == QQmlComponent::Error) {
        // A fallback file that is not there is no error of the author's.
        // Beside the demo a broken skene holds nothing up: the others load
        // and the demo starts without it.
        if (!beside) {
            frameState().firstDemoRenderPending = false;
            showLoadError("Error with Skene QML file:\n" + filePath + "\n\n" + errorLines(component.errors()));
        } else if (platform::canOpenForReading(filePath)) {
            listSkeneErrors(skeneName, filePath, component.errors());
        }
        return false;
    }

    QObject* object = component.create(qmlContext(parent));
    if (!object) {
        // Beside the demo a list entry interrupts nothing: every failed
        // creation is listed, the first try's too.
        if (beside)
            listSkeneErrors(skeneName, filePath, component.errors());
        if (showErrors && !beside) {
            frameState().firstDemoRenderPending = false;
            showLoadError("Cannot add skene:\n" + filePath + "\n\n Fix the errors!!!\n\n" +
                          errorLines(component.errors()));
        }
        return false;
    }
    clearReportedErrors(skeneName, filePath);
    adoptSkene(object, parent, skeneName);
    return true;
}

void DemoQML::writeSkeneQmldir(const std::string& skeneName)
{
    // A qmldir that cannot be written leaves the old one (or none) in place;
    // the skene still loads, only its mesh components may be unknown.
    const std::string skeneDir = demoFolders().rootDir + "/fx/" + skeneName + "/";
    const std::string qmldir = qmldirText(skeneDir);
    if (!qmldir.empty())
        (void)writeTextFile(skeneDir + "qmldir", qmldir);
}

void DemoQML::adoptSkene(QObject* object, QQuickItem* parent, const std::string& skeneName)
{
    const QString name = QString::fromStdString(skeneName);
    loaded_.push_back(object);
    // Owned by the Demo item, so the skenes die with it.
    object->setParent(parent);
    object->setProperty("sceneName", name);
    object->setProperty("name", name);
    if (auto* item = qobject_cast<QQuickItem*>(object))
        item->setParentItem(parent);
}

void DemoQML::reloadDemo()
{
    const DemoFolders& folders = demoFolders();
    const std::string fxDir = folders.rootDir + "/fx/";
    qDebug() << "DemoQML::reloadDemo() called!";
    qDebug() << "DemoQML::reloadDemo() Really do it now!";
    ++frameState().reloadCount;
    const int64_t started = platform::steadyNanoseconds();

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
        if (loadSkene(this, path, name, false)) {
            watchLoadedSkene(fxDir, name);
            continue;
        }
        const std::string fallback = fxDir + name + "/" + name + ".qml";
        if (!loadSkene(this, fallback, name, true)) {
            // Watched all the same: the save that mends it loads it (and
            // replaces one that an earlier reloadDemo left).
            skeneObjects_.emplace(name, nullptr);
            skeneWatch_.watch(fxDir, name);
            // Beside the demo the list holds the error and the demo goes on
            // with the skenes that load; with boxes, loading stops here.
            if (buildErrors().besideDemo())
                continue;
            frameState().firstDemoRenderPending = false;
            break;
        }
        watchLoadedSkene(fxDir, name);
    }

    // The overlay is optional: a demo without one must not raise a box (and
    // lose its firstDemoRender) on every reload. A broken one still does.
    const std::string overlay = fxDir + kOverlayName;
    if (platform::canOpenForReading(overlay))
        loadSkene(this, overlay, kOverlayName, false);
    else
        qDebug() << "DebugInfoOverDemo.qml not found from path:" << overlay.c_str();

    publishSkeneTree(editContext(), this);
    noteReload("all skenes");
    frameState().loadTimes.skeneQmlMs += double(platform::steadyNanoseconds() - started) * 1e-6;
}

void DemoQML::unloadSkenes()
{
    for (const QPointer<QObject>& object : loaded_) {
        if (!object)
            continue;
        // Out of the frame's reach now; deleted when no QML handler that
        // may have called this is running any more.
        if (auto* item = qobject_cast<QQuickItem*>(object))
            item->setParentItem(nullptr);
        object->deleteLater();
    }
    loaded_.clear();
    skeneWatch_.clear();
    skeneObjects_.clear();
    savedSkenes_.clear();
    publishSkeneTree(editContext(), this);
}

void DemoQML::watchLoadedSkene(const std::string& fxDir, const std::string& name)
{
    skeneObjects_[name] = loaded_.empty() ? nullptr : loaded_.back().data();
    skeneWatch_.watch(fxDir, name);
}

void DemoQML::lookForSavedSkenes()
{
    if (skeneWatch_.empty())
        return;
    for (const std::string& name : skeneWatch_.changedSkenes()) {
        if (std::find(savedSkenes_.begin(), savedSkenes_.end(), name) == savedSkenes_.end())
            savedSkenes_.push_back(name);
    }
}

void DemoQML::queueSkeneReload()
{
    // Made after the frame, from the event loop: QML objects are not made
    // in the middle of a frame's GL work, and an error box opened from
    // there does not run inside the frame.
    if (savedSkenes_.empty() || reloadQueued_)
        return;
    reloadQueued_ = true;
    QMetaObject::invokeMethod(this, &DemoQML::reloadSavedSkenes, Qt::QueuedConnection);
}

void DemoQML::reloadSavedSkenes()
{
    reloadQueued_ = false;
    // Reached from the event loop of a box that a frame or a reload has
    // open: the next paused frame queues it again.
    if (savedSkenes_.empty() || inFrame_ || reloading_)
        return;
    QQmlEngine* eng = qmlEngine(this);
    if (!eng)
        return;
    reloading_ = true;
    const std::vector<std::string> names = std::move(savedSkenes_);
    savedSkenes_.clear();
    const int64_t started = platform::steadyNanoseconds();
    // The engine keeps every file it has compiled, keyed by its URL, and
    // would make the new skene from the old text of its files (and of the
    // shared ones it imports). Trimming evicts only files that no live
    // object uses, and the old skene lives until the new one exists, so
    // the whole cache goes: the other skenes' objects keep what they were
    // made from, and only the files made again afterwards compile anew.
    eng->clearComponentCache();

    // One slot defers destruction: the old skenes of this batch go to the
    // end of the next frame together.
    auto* retired = new QObject;
    bool reloaded = false;
    for (const std::string& name : names) {
        if (skeneWatch_.watches(name))
            reloaded = reloadSkene(name, retired) || reloaded;
    }
    if (retired->children().isEmpty()) {
        delete retired;
    } else {
        deferDestruction(retired);
        retired_ = retired;
    }
    reloading_ = false;
    if (!reloaded)
        return;
    frameState().loadTimes.skeneQmlMs += double(platform::steadyNanoseconds() - started) * 1e-6;
    publishSkeneTree(editContext(), this);
    // A paused, idle demo shows its last image: the new skene must draw.
    Rocket::instance().note_change();
}

bool DemoQML::reloadSkene(const std::string& name, QObject* retired)
{
    const std::string fxDir = demoFolders().rootDir + "/fx/";
    std::string path = fxDir + name + "/Skene.qml";
    const std::string fallback = fxDir + name + "/" + name + ".qml";
    if (!platform::canOpenForReading(path) && platform::canOpenForReading(fallback))
        path = fallback;
    writeSkeneQmldir(name);

    QQmlComponent component(qmlEngine(this), QUrl::fromLocalFile(QString::fromStdString(path)));
    if (component.status() == QQmlComponent::Error) {
        reportReloadError(name, path, "Error with Skene QML file:\n" + path + "\n\n", component.errors());
        return false;
    }
    QObject* object = component.create(qmlContext(this));
    if (!object) {
        reportReloadError(name, path, "Cannot add skene:\n" + path + "\n\n Fix the errors!!!\n\n",
                          component.errors());
        return false;
    }

    QPointer<QObject>& current = skeneObjects_[name];
    QObject* old = current.data();
    adoptSkene(object, this, name);
    if (auto* item = qobject_cast<QQuickItem*>(object))
        placeSkene(item, qobject_cast<QQuickItem*>(old), name);
    if (old) {
        // Out of the frame's reach at once; destroyed after the next frame.
        if (auto* oldItem = qobject_cast<QQuickItem*>(old))
            oldItem->setParentItem(nullptr);
        old->setParent(retired);
        loaded_.erase(std::remove_if(loaded_.begin(), loaded_.end(),
                                     [old](const QPointer<QObject>& p) { return p.data() == old; }),
                      loaded_.end());
    }
    current = object;
    clearReportedErrors(name, path);
    qDebug() << "Skene reloaded:" << path.c_str();
    noteReload("skene " + name);
    return true;
}

void DemoQML::placeSkene(QQuickItem* item, QQuickItem* old, const std::string& name)
{
    if (old && old->parentItem() == this) {
        item->stackAfter(old);
        return;
    }
    // Never loaded before: where reloadDemo puts it, before the first loaded
    // skene that follows it in the directory listing, else before the
    // overlay.
    const std::vector<std::string>& dirs = demoFolders().skeneDirectories;
    auto at = std::find(dirs.begin(), dirs.end(), name);
    QQuickItem* before = nullptr;
    for (auto it = at == dirs.end() ? at : at + 1; it != dirs.end() && !before; ++it) {
        const auto found = skeneObjects_.find(*it);
        if (found != skeneObjects_.end())
            before = qobject_cast<QQuickItem*>(found->second.data());
    }
    for (const QPointer<QObject>& object : loaded_) {
        if (!before && object && object->property("sceneName").toString() == kOverlayName)
            before = qobject_cast<QQuickItem*>(object.data());
    }
    if (before && before != item && before->parentItem() == this)
        item->stackBefore(before);
}

void DemoQML::reportReloadError(const std::string& name, const std::string& path, const std::string& boxText,
                                const QList<QQmlError>& errors)
{
    qDebug() << "Skene not reloaded, its last good version stays:" << path.c_str();
    if (!buildErrors().besideDemo()) {
        showLoadError(boxText + errorLines(errors));
        return;
    }
    listSkeneErrors(name, path, errors);
}

void DemoQML::listSkeneErrors(const std::string& name, const std::string& path, const QList<QQmlError>& errors)
{
    // Each under the file the engine blames (path when it names none),
    // last to first, so that the first error ends up on top. Kept per file
    // built: a fallback that loads must not clear what Skene.qml still has.
    std::vector<std::string>& files = reportedFiles_[{name, path}];
    auto report = [&](const std::string& file, int line, const std::string& text) {
        buildErrors().report({file, line, text});
        if (std::find(files.begin(), files.end(), file) == files.end())
            files.push_back(file);
    };
    if (errors.isEmpty())
        report(demoRelativePath(path), 0, "the skene could not be created");
    for (auto e = errors.crbegin(); e != errors.crend(); ++e) {
        const QUrl url = e->url();
        const std::string file = url.isEmpty() ? path
                                 : url.isLocalFile() ? url.toLocalFile().toStdString()
                                                     : url.toString().toStdString();
        report(demoRelativePath(file), std::max(e->line(), 0), e->description().toStdString());
    }
}

void DemoQML::clearReportedErrors(const std::string& name, const std::string& path)
{
    // Everything that building path blamed has loaded.
    buildErrors().clearFile(demoRelativePath(path));
    const auto found = reportedFiles_.find({name, path});
    if (found == reportedFiles_.end())
        return;
    for (const std::string& file : found->second)
        buildErrors().clearFile(file);
    reportedFiles_.erase(found);
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
    gpu().framebuffer.bind(GL_FRAMEBUFFER, framebuffer_);
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

// What the frame decides when it begins. Whether the demo is paused is not
// among it: file playback starts during the frame and the editors' commands
// arrive in it, so each step reads the paused state when it needs it.
struct DemoQML::FrameMode {
    bool liveEditing = false; // sync editors, not track files
    // Idle paused editing after a first frame has been shown: the frame
    // keeps its image (no clear, no skene, only the effects that render
    // while idle). Decided once, so that the clear and the drawing agree.
    bool keepsImage = false;
};

namespace {

// Paused live editing that nothing has changed for 400 ms.
bool idleNow(bool liveEditing)
{
    const Rocket& rocket = Rocket::instance();
    // The clock wraps: subtract, never compare.
    const uint32_t unchangedMs = platform::millisecondClock() - rocket.last_change_ms();
    return liveEditing && rocket.is_paused() && unchangedMs > kIdleAfterMs;
}

// Counts as a change from an editor, so a paused, idle demo draws its
// skenes again for a while.
void noteChange()
{
    Rocket::instance().note_change();
}

} // namespace

void DemoQML::doBeforeRender()
{
    if (!isEnabled()) {
        qDebug() << "DemoQML disabled";
        return;
    }
    // Without the entry points every GL call would jump through a null
    // pointer; wait for a context that GLEW accepts. A window whose context
    // existed before this item came to it gets the resources now.
    if (!makeGpuResources() || !gpuReady())
        return;
    // A box opened during the frame (a shader error) runs an event loop that
    // may render this window again; that frame would start inside this one.
    if (inFrame_)
        return;
    inFrame_ = true;

    FrameMode mode;
    mode.liveEditing = rocket_flags().rocket_enabled;
    mode.keepsImage = idleNow(mode.liveEditing) && firstFrameDone_;

    // A frame that lands an edit from the edit view draws no skene, so the
    // change shows on a clean next frame. Meanwhile it shows the last image
    // again, not a cleared one: a dragged slider would flash black.
    const bool editPending = !pendingEdit().targetPath.empty();
    const bool offscreen = beginFrame(mode, editPending);
    if (!applyPendingEdit()) {
        if (editPending)
            clearTargets(mode);
        renderSkenes(mode);
        checkOverriddenEdit();
    }
    endFrame(mode, offscreen);
    inFrame_ = false;
}

bool DemoQML::beginFrame(const FrameMode& mode, bool holdClear)
{
    FrameState& fs = frameState();
    fs.savePointQuery.clear();
    if (fs.firstDemoRenderPending) {
        Q_EMIT firstDemoRender();
        fs.firstDemoRenderPending = false;
    }
    fs.frameStarted = true;
    ++fs.frameCounter;
    // Every item of the frame reads the same clock (the controller publishes
    // it again once it has polled the editors).
    Rocket::instance().publish_time(fs.time);

    // The frame draws at one size throughout: the offscreen targets and the
    // targets that follow the window (and their seeds) take the size the
    // window has now.
    followWindowSize();
    const bool offscreen = bindOffscreenTargets();
    handOverMeshImports();
    startFilePlaybackWhenReady(mode);

    glViewport(0, 0, demoDisplay().width, demoDisplay().height);
    // New targets hold no image worth showing again.
    if (!holdClear || targetsMadeThisFrame_)
        clearTargets(mode);
    glEnable(GL_BLEND);
    glBlendFunc(GL_SRC_ALPHA, GL_ONE_MINUS_SRC_ALPHA);
    gpu().depth.pushTest(true);
    gpu().depth.pushWrite(true);
    glDepthFunc(GL_LEQUAL);
    return offscreen;
}

void DemoQML::clearTargets(const FrameMode& mode)
{
    if (!frameState().shadersSettled || mode.keepsImage)
        return;
    // Qt Quick may leave masks and the scissor test behind; the clear must
    // reach every pixel of both buffers.
    glClearColor(0, 0, 0, 1);
    glDisable(GL_SCISSOR_TEST);
    glColorMask(GL_TRUE, GL_TRUE, GL_TRUE, GL_TRUE);
    glDepthMask(GL_TRUE);
    glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
}

bool DemoQML::bindOffscreenTargets()
{
    // The border with Qt Quick: what the frame takes from it, once. Qt
    // Quick has just drawn into the window's framebuffer and left it bound:
    // 0 on most platforms, an object of the platform's own on some.
    GLint window = 0;
    glGetIntegerv(GL_DRAW_FRAMEBUFFER_BINDING, &window);
    qtFramebuffer_ = GLuint(window);

    // Until shaders settle, frames draw straight into the window's
    // framebuffer, uncleared and without the copy.
    const bool settled = frameState().shadersSettled;
    targetsMadeThisFrame_ = false;
    if (!framebufferReady_ || demoDisplay().width != framebufferWidth_) {
        createFramebuffer(samples_ > 1);
        targetsMadeThisFrame_ = true;
        return settled;
    }
    if (!settled) {
        // The items must know that they draw into the window's.
        gpu().framebuffer.bind(GL_FRAMEBUFFER, qtFramebuffer_);
        return false;
    }
    gpu().framebuffer.bind(GL_FRAMEBUFFER, framebuffer_);
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
    if (mode.liveEditing || !rocket.demo_loaded() || !frameState().shadersSettled || !rocket.is_paused())
        return;
    rocket.on_pause(false);
    rocket.set_demo_loaded(false);
    uploadPendingMeshes(gpu().meshes);
}

void DemoQML::handOverMeshImports()
{
    MeshImports& imports = gpu().meshImports;
    if (frameState().waitForMeshImports) {
        // A capture's frame waits for the imports: that wait is the meshes'
        // share of its start-up.
        const int64_t started = platform::steadyNanoseconds();
        imports.waitForAll();
        frameState().loadTimes.meshMs += double(platform::steadyNanoseconds() - started) * 1e-6;
    } else
        imports.handOver();
    if (imports.pending() != pendingMeshes_) {
        pendingMeshes_ = imports.pending();
        Q_EMIT pendingMeshesChanged();
    }
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
    // The window takes the 16:9 height later; this frame already draws at
    // it, as the offscreen targets, made for a width, have it.
    if (w != 0 && h != w * 9 / 16) {
        demoDisplay().height = w * 9 / 16;
        win->setHeight(w * 9 / 16);
    }
}

bool DemoQML::applyPendingEdit()
{
    PendingEdit& edit = pendingEdit();
    if (edit.targetPath.empty())
        return false;
    edit.landedOn = nullptr;
    const bool applied = applyPendingEditTo(edit);
    if (applied && edit.landedOn) {
        const QByteArray name = QByteArray::fromStdString(edit.propertyName);
        watchedEdit_ = {edit.landedOn, name, edit.landedOn->property(name.constData()),
                        QString::fromStdString(edit.skeneName)};
    }
    return applied;
}

void DemoQML::checkOverriddenEdit()
{
    WatchedEdit watched = watchedEdit_;
    watchedEdit_ = WatchedEdit();
    if (!watched.item)
        return;
    const QVariant now = watched.item->property(watched.property.constData());
    if (now == watched.value)
        return;
    qDebug().noquote() << QString("modifySkeneValue: %1 is bound; its binding set it back to %2")
                              .arg(QString::fromLatin1(watched.property), now.toString());
    Q_EMIT editOverridden(watched.skene, QString::fromLatin1(watched.property), now.toString());
}

bool DemoQML::applyPendingEditTo(PendingEdit& edit)
{
    // Made through a node of the edit view's tree: the node's item, or
    // nothing. Its path may have moved on to another item since the tree
    // was built (a Repeater that shrank).
    if (edit.throughNode) {
        edit.throughNode = false;
        const bool landed = applyEditToItem(edit.item.data());
        edit.item = nullptr;
        return landed;
    }
    bool applied = false;
    bool skeneFound = false;
    const std::string& skene = edit.skeneName;
    const QList<QQuickItem*> children = childItems();
    for (QQuickItem* child : children) {
        auto* effect = qobject_cast<IEffect*>(child);
        if (!effect)
            continue;
        // Every skene's paths begin alike; only the named skene's tree is
        // searched.
        if (!skene.empty() && child->property("sceneName").toString().toStdString() != skene)
            continue;
        skeneFound = true;
        if (effect->modVal(child, "/0:=RocketScene")) {
            applied = true;
            break;
        }
        if (pendingEdit().targetPath.empty())
            break; // found but refused
    }
    if (!skeneFound && !skene.empty())
        qDebug() << "modifySkeneValue: no skene" << skene.c_str() << "is loaded; the edit of"
                 << edit.targetPath.c_str() << "is dropped";
    // An edit that matched no item is dropped.
    edit.targetPath.clear();
    return applied;
}

void DemoQML::renderSkenes(const FrameMode& mode)
{
    // In file playback nothing runs while paused, the controller included:
    // playback has not started yet (it may have in this very frame).
    if (!mode.liveEditing && Rocket::instance().is_paused())
        return;
    const QList<QQuickItem*> children = childItems();
    for (QQuickItem* child : children) {
        auto* effect = qobject_cast<IEffect*>(child);
        if (!effect || !effect->isEnabled() || !effect->switchedOn())
            continue;
        if (!mode.keepsImage || effect->rendersWhileIdle()) {
            effect->render(nullptr);
            // The controller renders in every frame; a skene only once
            // playback runs.
            drewSkenes_ = drewSkenes_ || !effect->rendersWhileIdle();
        }
    }
}

void DemoQML::endFrame(const FrameMode& mode, bool offscreen)
{
    FrameState& fs = frameState();
    GpuResources& resources = gpu();
    // A skene that starts a particle capture without finishing it would
    // leave rasterisation off for everything drawn after it.
    resources.feedback.finishOpenCapture();
    resources.shaders.unbind();
    // Shader files are watched only while the demo is paused: a reload
    // stalls the frame, which must not happen during playback.
    if (Rocket::instance().is_paused()) {
        FileWatch& files = resources.shaders.files();
        files.pollAll();
        // The skenes' QML keeps to the shader files' clock: at most one
        // look a second, and none while the demo plays.
        if (files.polls() != seenPolls_) {
            seenPolls_ = files.polls();
            lookForSavedSkenes();
        }
        queueSkeneReload();
    }
    // The shader module notes the time of its latest compile. A program
    // built or rebuilt (a saved shader file) is a change like an editor's:
    // without it a paused demo would keep showing the old picture.
    const uint32_t compiled = fs.latestShaderCompileMs;
    if (compiled != 0 && (!fs.shaderCompiled || compiled != fs.lastShaderCompileMs)) {
        setLastShaderCompileTime(compiled);
        noteChange();
    }
    const bool idle = idleNow(mode.liveEditing);
    if (idle)
        platform::sleepMilliseconds(kIdleSleepMs);

    // Once a second the pages malloc holds free go back: a driver that
    // rasterizes in software allocates and frees tens of megabytes a draw,
    // and without this a long session's resident size steps up to the
    // highest such peak and stays there.
    if (lastFrameStamp_ - lastMemoryRelease_ >= 1000.0) {
        platform::releaseFreeMemory();
        lastMemoryRelease_ = lastFrameStamp_;
    }

    // The idle sleep is not the frame's own cost: leave it out of the
    // frame-time history, which drives the QML time step.
    const double now = frameClockMs();
    frameTime_ = now - lastFrameStamp_ - (idle ? kIdleSleepMs : 0);
    Rocket::instance().push_frame_time(float(frameTime_));
    fs.timings.add(now, float(frameTime_));
    lastFrameStamp_ = now;

    if (offscreen) {
        const int width = demoDisplay().width;
        const int height = demoDisplay().height;
        resources.framebuffer.bind(GL_READ_FRAMEBUFFER, framebuffer_);
        resources.framebuffer.bind(GL_DRAW_FRAMEBUFFER, qtFramebuffer_);
        glReadBuffer(GL_COLOR_ATTACHMENT0);
        glDrawBuffer(GL_BACK);
        glBlitFramebuffer(0, 0, width, height, 0, 0, width, height, GL_COLOR_BUFFER_BIT, GL_NEAREST);
        // Qt Quick reads the window back (grabs, screenshots) from whatever
        // is bound for reading; hand it its own framebuffer.
        resources.framebuffer.bind(GL_READ_FRAMEBUFFER, qtFramebuffer_);
    }

    // Start-up ends with the first frame that drew the skenes whole: the
    // frames of file playback before it starts draw none, and the frame
    // that asks for a skene's meshes draws it without them.
    if (drewSkenes_ && resources.meshImports.pending() == 0 && fs.firstFrameEndNs == 0) {
        fs.loadTimesAtFirstFrame = fs.loadTimes;
        for (const auto& entry : resources.meshes.entries())
            fs.loadTimesAtFirstFrame.meshMs += entry.second->loadMs;
        fs.firstFrameEndNs = platform::steadyNanoseconds();
    }
    if (!firstFrameDone_) {
        Q_EMIT firstFrameRendered();
        firstFrameDone_ = true;
    }
    // A demo that has compiled nothing by the end of its first frame has
    // nothing to wait for: it settles then, or it would never play from its
    // track files nor draw offscreen. Settling is a change too: the frames
    // after it must draw into the offscreen targets they now show.
    if (!fs.shaderCompiled || shaderCompilesQuiet(platform::millisecondClock())) {
        if (!fs.shadersSettled) {
            fs.shadersSettled = true;
            noteChange();
        }
        Q_EMIT frameRendered();
    }

    destroyDeferred();
    resources.depth.popWrite();
    resources.depth.popTest();

    // The border with Qt Quick, once at the frame's end: its next frame
    // starts from the GL defaults it relies on (depth writes on for its
    // opaque pass, no program, no buffers bound); without this the view's
    // own items vanish while the skenes draw into it.
    if (QQuickWindow* win = boundWindow())
        win->resetOpenGLState();
}
