#pragma once
// The demo renderer ("Demo"). The skenes of the active setup are loaded at
// run time as its children (reloadDemo), and once per frame, after Qt Quick
// has drawn the window, it renders them: into an offscreen framebuffer with
// three colour targets and a depth texture, which is then copied to the
// window. It also measures the frame time and emits the progress signals that
// the QML views wait for.
//
// It is the frame host of its window's GL context: it makes the GPU
// resources (gpu/GpuResources.h) when the context exists, unless a set is
// there already, and destroys them with the context current when the
// context goes or the item does.
#include "host/IRenderItem.h"
#include "host/SkeneWatch.h"

#include <QByteArray>
#include <QPointer>
#include <QString>
#include <QVariant>

#include <map>
#include <memory>
#include <string>
#include <vector>

class GpuResources;
class QQmlError;

struct PendingEdit;

class DemoQML : public IRenderItem {
    Q_OBJECT
    // Mesh imports asked for and not handed over yet, as the last frame
    // counted them (the edit view's status line shows it).
    Q_PROPERTY(int pendingMeshes READ pendingMeshes NOTIFY pendingMeshesChanged)

public:
    explicit DemoQML(QQuickItem* parent = nullptr);
    ~DemoQML() override;

    // Creates the component at filePath in this item's QML engine as a child
    // of parent named skeneName, first writing the skene's qmldir. A file
    // with QML errors always raises a box with the engine's messages; a
    // failed creation raises one only with showErrors.
    bool loadSkene(QQuickItem* parent, const std::string& filePath, const std::string& skeneName,
                   bool showErrors);

    // Duration of the last frame as passed to the rocket manager.
    double frameTime() const { return frameTime_; }
    bool firstFrameDone() const { return firstFrameDone_; }
    // The offscreen targets (0 until the first frame has made them).
    unsigned framebuffer() const { return framebuffer_; }
    unsigned colourTexture(int i) const { return colourTextures_[i]; } // 0..2
    unsigned depthTexture() const { return depthTexture_; }
    int samples() const { return samples_; }
    int pendingMeshes() const { return pendingMeshes_; }

    // How many times reloadDemo has run in this demo.
    static int reloadCount();

Q_SIGNALS:
    void firstFrameRendered();
    void frameRendered();
    void firstDemoRender();
    void fileNotFound(QString fileName, QString skeneName);
    void pendingMeshesChanged();
    // An edit landed, but by the end of the next frame that drew the skenes
    // the property held another value: a binding (a track, say) set it back.
    void editOverridden(QString skeneName, QString propertyName, QString value);

public Q_SLOTS:
    void doBeforeRender() override;
    void clearResetParticles();
    void ackFirstDemoRender();

    // Loads every active skene (in skene directory order) and then the
    // overlay "DebugInfoOverDemo.qml" as children of this item, then
    // publishes the edit view's skene tree ("myModel") and this item
    // ("demo") into the edit view's context. Skenes loaded earlier stay.
    //
    // From then on each loaded skene (and one whose load failed) is
    // watched: while the demo is paused, the frame looks once a second
    // whether its QML was saved (host/SkeneWatch.h), and after that frame
    // the skene alone is made again from its files, in its place in the
    // child order; the old one leaves the frame then and is destroyed
    // after the next. New QML with errors leaves the old skene drawing and
    // is reported like a load's, or in the build error list when that is
    // beside the demo (state/BuildErrors.h).
    void reloadDemo();
    // Takes away every skene (and the overlay) that reloadDemo loaded: they
    // leave the frame at once and are deleted once control is back in the
    // event loop. The edit view's reload calls it before reloadDemo.
    void unloadSkenes();
    // True for an empty name, or when the name opens for reading below the
    // root directory or as it stands.
    bool fileExists(QString fileName);
    void addImportPath(QString importPath);

    // Where the save point recorded under target was at its mesh's last
    // draw: world position, screen position (normalised device coordinates)
    // and eye position; 0 for a name nothing was recorded under. Each frame
    // looks the table up afresh at the first question about a name.
    float savePointX(QString target);
    float savePointY(QString target);
    float savePointZ(QString target);
    float savePointX2D(QString target);
    float savePointY2D(QString target);
    float savePointZ2D(QString target);
    float savePointCX(QString target);
    float savePointCY(QString target);
    float savePointCZ(QString target);

    // Asks the next frame to set a property of a running skene item (the
    // text form is in items/ItemPath.h): pathToItem names the item and
    // usually the property, propertyName is used when the path names none,
    // and skeneName picks the skene whose tree the path is meant for. A path
    // without an item path or a property changes nothing and logs why; so
    // does, at the frame, a property the item lacks or a value that does
    // not fit it.
    void modifySkeneValue(QString skeneName, QString pathToItem, QString propertyName, QString propertyValue);
    // The "file://" URL of a skene's file (below the root directory, else as
    // it stands), or empty when it is missing; a missing file of a named
    // skene emits fileNotFound.
    QString path(QString fileName, QString skeneName);

protected:
    QSGNode* updatePaintNode(QSGNode* oldNode, UpdatePaintNodeData* data) override;

private Q_SLOTS:
    void followWindowContext(QQuickWindow* win);
    // True when GPU resources exist (made now when a context is current).
    bool makeGpuResources();
    void releaseGpuResources();

private:
    // Writes the skene's qmldir of its Mesh* sub-components.
    void writeSkeneQmldir(const std::string& skeneName);
    // Takes a created skene in as a child of parent.
    void adoptSkene(QObject* object, QQuickItem* parent, const std::string& skeneName);

    // The live reload of saved skenes. The frame looks (on the shader
    // poll's clock) and queues what it found; the reload runs after it.
    void watchLoadedSkene(const std::string& fxDir, const std::string& name);
    void lookForSavedSkenes();
    void queueSkeneReload();
    void reloadSavedSkenes();
    // Makes the skene anew from its files; true when it replaced the one
    // before, which then is out of the frame and a child of retired.
    bool reloadSkene(const std::string& name, QObject* retired);
    void placeSkene(QQuickItem* item, QQuickItem* old, const std::string& name);
    void reportReloadError(const std::string& name, const std::string& path, const std::string& boxText,
                           const QList<QQmlError>& errors);
    // Beside the demo: the engine's errors of building the skene name from
    // path go to the build error list, and go again once path builds.
    void listSkeneErrors(const std::string& name, const std::string& path, const QList<QQmlError>& errors);
    void clearReportedErrors(const std::string& name, const std::string& path);

    SkeneWatch skeneWatch_;
    // Per watched skene, the object that the frame draws (null while none
    // ever loaded).
    std::map<std::string, QPointer<QObject>> skeneObjects_;
    std::vector<std::string> savedSkenes_; // found, not yet reloaded
    // Per skene and file built, the files whose errors went to the build
    // error list.
    std::map<std::pair<std::string, std::string>, std::vector<std::string>> reportedFiles_;
    unsigned seenPolls_ = 0;
    double lastMemoryRelease_ = 0.0; // frame clock, ms
    bool reloadQueued_ = false;
    bool reloading_ = false;
    // The old skenes of the last reload, until the frame destroys them.
    QPointer<QObject> retired_;

    struct FrameMode;
    // The frame, step by step: bind the targets, start file playback when
    // ready, follow the window and clear (true when drawing offscreen; with
    // holdClear, targets that hold an image are left for clearTargets);
    // land a pending edit; render the top-level effects; copy to the window
    // and measure.
    bool beginFrame(const FrameMode& mode, bool holdClear);
    bool bindOffscreenTargets();
    void startFilePlaybackWhenReady(const FrameMode& mode);
    // Takes the finished mesh imports into their meshes (in a capture,
    // waiting for all of them) and counts the ones still pending.
    void handOverMeshImports();
    void followWindowSize();
    bool applyPendingEdit(); // true when an item took the edit
    bool applyPendingEditTo(PendingEdit& edit);
    // Reports an applied edit that a binding undid (editOverridden).
    void checkOverriddenEdit();
    struct WatchedEdit {
        QPointer<QObject> item;
        QByteArray property;
        QVariant value;
        QString skene;
    } watchedEdit_;
    // Clears colour and depth of what is bound, unless shaders have not
    // settled or the frame keeps its image.
    void clearTargets(const FrameMode& mode);
    void renderSkenes(const FrameMode& mode);
    void endFrame(const FrameMode& mode, bool offscreen);

    // Makes (or, after a change of the demo width, remakes) the offscreen
    // framebuffer and its textures, and leaves it bound.
    void createFramebuffer(bool multisample);
    void deleteFramebuffer();

    bool inFrame_ = false;
    int pendingMeshes_ = 0;
    bool drewSkenes_ = false; // some frame drew a skene
    bool firstFrameDone_ = false;
    double lastFrameStamp_ = 0;
    double frameTime_ = 0;
    bool framebufferReady_ = false;
    int framebufferWidth_ = 0;
    unsigned colourTextures_[3] = {0, 0, 0};
    unsigned framebuffer_ = 0;
    unsigned depthTexture_ = 0;
    unsigned qtFramebuffer_ = 0; // Qt Quick's, as it left it bound this frame
    int samples_;
    bool targetsMadeThisFrame_ = false;
    // What reloadDemo created, for unloadSkenes.
    std::vector<QPointer<QObject>> loaded_;
    // The GPU resources this item made (null when it uses a set made by
    // another frame host).
    std::unique_ptr<GpuResources> gpu_;
    QMetaObject::Connection contextMade_;
    QMetaObject::Connection contextGone_;
};
