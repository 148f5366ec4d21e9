#include "editor/EditStatus.h"

#include "editor/BuildErrorList.h"
#include "platform/Clock.h"
#include "state/FrameState.h"
#include "state/LastReload.h"
#include "sync/Rocket.h"

#include <QQmlContext>

#include <cmath>

EditStatus::EditStatus(QObject* parent, int refreshMs)
    : QObject(parent)
{
    refresh();
    if (refreshMs > 0) {
        connect(&timer_, &QTimer::timeout, this, &EditStatus::refresh);
        timer_.start(refreshMs);
    }
}

void EditStatus::refresh()
{
    const FrameTimingSummary frames = frameState().timings.lastSecond();
    const Rocket& rocket = Rocket::instance();
    QStringList editors;
    if (rocket.is_live()) {
        for (int slot = 0; slot < Rocket::kSlots; ++slot) {
            const SyncDevice* d = rocket.device(slot);
            if (d)
                editors << QStringLiteral("%1 %2").arg(rocket.base_port() + slot)
                                                  .arg(d->socket >= 0 ? "connected" : "waiting");
        }
    }
    QString reload;
    const LastReload& last = ::lastReload();
    if (last.count > 0) {
        const int64_t ago = (platform::steadyNanoseconds() - last.atNs) / 1000000000;
        reload = QStringLiteral("%1, %2 s ago").arg(QString::fromStdString(last.what)).arg(ago);
    }

    const int row = int(std::floor(rocket.current_row()));
    const double seconds = rocket.demo_seconds();
    const bool same = frames.framesPerSecond == framesPerSecond_ && double(frames.meanMs) == meanMs_ &&
                      double(frames.worstMs) == worstMs_ && row == row_ && seconds == seconds_ &&
                      rocket.is_paused() == paused_ && editors == editors_ &&
                      reload == lastReload_;
    if (same)
        return;
    framesPerSecond_ = frames.framesPerSecond;
    meanMs_ = frames.meanMs;
    worstMs_ = frames.worstMs;
    row_ = row;
    seconds_ = seconds;
    paused_ = rocket.is_paused();
    editors_ = editors;
    lastReload_ = reload;
    Q_EMIT changed();
}

void publishEditViewModels(QQmlContext* context, QObject* owner)
{
    if (!context)
        return;
    context->setContextProperty(QStringLiteral("buildErrorList"), new BuildErrorList(owner));
    context->setContextProperty(QStringLiteral("editStatus"), new EditStatus(owner));
}
