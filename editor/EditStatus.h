#pragma once
// What the edit view's status strip shows of the running demo, taken a few
// times a second from what the frame already keeps: the render thread's
// frame rate and frame times over the last second (state/FrameTimings.h),
// the row and the time of the demo clock, playing or paused, each sync
// editor's port and whether it is connected, and the last reload
// (state/LastReload.h). (The Demo item counts the pending mesh imports
// itself.) Nothing here runs in the frame.
#include <QObject>
#include <QString>
#include <QStringList>
#include <QTimer>

#include <cstdint>

class EditStatus : public QObject {
    Q_OBJECT
    Q_PROPERTY(int framesPerSecond READ framesPerSecond NOTIFY changed)
    Q_PROPERTY(double meanMs READ meanMs NOTIFY changed)
    Q_PROPERTY(double worstMs READ worstMs NOTIFY changed)
    Q_PROPERTY(int row READ row NOTIFY changed)
    Q_PROPERTY(double seconds READ seconds NOTIFY changed)
    Q_PROPERTY(bool paused READ paused NOTIFY changed)
    // One text per sync editor the demo has a rocket for: "1338 connected",
    // "1339 waiting"; empty when the demo plays from its track files.
    Q_PROPERTY(QStringList editors READ editors NOTIFY changed)
    // "all skenes, 3 s ago"; empty before the first reload.
    Q_PROPERTY(QString lastReload READ lastReload NOTIFY changed)

public:
    // Takes the numbers every refreshMs (0: only when refresh is called).
    explicit EditStatus(QObject* parent = nullptr, int refreshMs = 250);

    int framesPerSecond() const { return framesPerSecond_; }
    double meanMs() const { return meanMs_; }
    double worstMs() const { return worstMs_; }
    int row() const { return row_; }
    double seconds() const { return seconds_; }
    bool paused() const { return paused_; }
    QStringList editors() const { return editors_; }
    QString lastReload() const { return lastReload_; }

public Q_SLOTS:
    // Takes the numbers now; changed fires when any of them moved.
    void refresh();

Q_SIGNALS:
    void changed();

private:
    int framesPerSecond_ = 0;
    double meanMs_ = 0.0;
    double worstMs_ = 0.0;
    int row_ = 0;
    double seconds_ = 0.0;
    bool paused_ = true;
    QStringList editors_;
    QString lastReload_;
    QTimer timer_;
};

// Makes the edit view's two view models, owned by owner, and publishes
// them into context: "buildErrorList" (editor/BuildErrorList.h) and
// "editStatus".
class QQmlContext;
void publishEditViewModels(QQmlContext* context, QObject* owner);
