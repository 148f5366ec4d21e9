#include "sync/Rocket.h"

#include "platform/Clock.h"
#include "platform/Process.h"
#include "state/ActiveSkeneList.h"
#include "state/rocket_flags.h"
#include "time/Music.h"
#include "time/TimeState.h"

#include <QCoreApplication>
#include <QDebug>
#include <QLoggingCategory>
#include <QQmlContext>

#include <algorithm>
#include <memory>
#include <string_view>

namespace {

Music* music()
{
    return timeState().music.get();
}

// The callback table of live devices; the parameter is unused.
void onEditorSetRow(void*, int32_t row)
{
    Rocket& r = Rocket::instance();
    r.on_set_row(row);
    r.last_change_time = platform::millisecondClock();
    if (Music* m = music())
        m->set_position(row / r.row_rate);
}

void onEditorPause(void* param, int flag, int32_t row)
{
    Music* m = music();
    if (!m)
        return;
    Rocket& r = Rocket::instance();
    const double seconds = r.current_seconds();
    r.on_pause(flag != 0);
    m->set_paused(flag != 0);
    if (flag) {
        qDebug("setting position on pause from the music to %f", seconds);
        onEditorSetRow(param, row);
        r.pause_time_step = 0.0;
    }
}

int onEditorIsPlaying(void*)
{
    Music* m = music();
    return m && m->is_playing() ? 1 : 0;
}

const SyncCallbacks kCallbacks = {onEditorPause, onEditorSetRow, onEditorIsPlaying};

} // namespace

namespace {

std::unique_ptr<Rocket>& rocketSlot()
{
    static std::unique_ptr<Rocket> rocket;
    return rocket;
}

} // namespace

Rocket& Rocket::instance()
{
    std::unique_ptr<Rocket>& slot = rocketSlot();
    if (!slot)
        slot.reset(new Rocket());
    return *slot;
}

void Rocket::reset_instance()
{
    rocketSlot().reset();
}

Rocket::Rocket()
    : row_rate(sync_row_rate(sync_default_bpm, sync_default_rows_per_beat))
    , launcher(platform::launchDetached)
    , clock_ms(platform::millisecondClock)
{
}

Rocket::~Rocket()
{
    for (SyncDevice*& d : devices_) {
        sync_destroy_device(d);
        d = nullptr;
    }
}

SyncDevice* Rocket::device(int slot) const
{
    return slot >= 0 && slot < kSlots ? devices_[size_t(slot)] : nullptr;
}

bool Rocket::create_rocket(bool isLive, int port)
{
    live = isLive;
    if (port < base_port || port >= base_port + kSlots)
        return false;
    const int slot = port - base_port;
    if (devices_[size_t(slot)]) {
        // Cached tracks point into the old device: forget them so the next
        // lookup asks the new one instead of reading freed memory.
        for (auto it = track_cache_.begin(); it != track_cache_.end();) {
            if (it->second.slot == slot)
                it = track_cache_.erase(it);
            else
                ++it;
        }
        sync_destroy_device(devices_[size_t(slot)]);
        devices_[size_t(slot)] = nullptr;
    }
    SyncDevice* d = sync_create_device("sync", isLive ? 1 : 0);
    if (!d)
        return false;
    devices_[size_t(slot)] = d;
    if (isLive) {
        sync_set_callbacks(d, &kCallbacks, nullptr);
        sync_tcp_connect(d, "localhost", uint16_t(port));
    }
    return true;
}

void Rocket::connect_rockets()
{
    const RocketFlags& flags = rocket_flags();
    if (!flags.multi_rocket) {
        create_rocket(flags.rocket_enabled, base_port);
        return;
    }
    for (const ActiveSkene& skene : activeSkeneList().entries)
        create_rocket(flags.rocket_enabled, base_port + skene.rocketIndex);
}

void Rocket::launch_editors()
{
    const int height = editor_window_height;
    // Our editor is built beside the demo's executable, so a fresh checkout
    // edits live without installing anything; otherwise PATH decides.
    const std::string beside = QCoreApplication::applicationDirPath().toStdString() + "/sync_editor";
    const std::string program = platform::isExecutableFile(beside) ? beside : "sync_editor";
    auto launch = [&](int port, const std::string& file) {
        const std::vector<std::string> args = {"-port:" + std::to_string(port), "-file:" + file,
                                               "-windowHeight:" + std::to_string(height)};
        qDebug("sync_editor %s %s %s", args[0].c_str(), args[1].c_str(), args[2].c_str());
        if (launcher)
            launcher(program, args);
    };
    if (!rocket_flags().multi_rocket) {
        launch(base_port, "lumenfall.rocket");
        return;
    }
    for (const ActiveSkene& skene : activeSkeneList().entries)
        launch(base_port + skene.rocketIndex, "fx/" + skene.name + "/Skene.rocket");
}

int Rocket::resolve_rocket(const std::string& track_name)
{
    // Called for every sync() of every bound property: compare in place.
    const std::string_view skene = std::string_view(track_name).substr(0, track_name.find('.'));
    current_rocket_index = 0;
    for (const ActiveSkene& entry : activeSkeneList().entries) {
        if (entry.name == skene) {
            current_rocket_index = effectiveRocketIndex(entry);
            break;
        }
    }
    return current_rocket_index;
}

SyncTrack* Rocket::GetSyncTrack(const std::string& track_name)
{
    SyncTrack* track = nullptr;
    const auto cached = track_cache_.find(track_name);
    if (cached != track_cache_.end()) {
        track = cached->second.track;
    } else {
        const int slot = resolve_rocket(track_name);
        SyncDevice* d = device(slot);
        if (!d)
            return nullptr;
        track = sync_get_track(d, track_name.c_str(), live ? 1 : 0);
        if (!track)
            return nullptr;
        track_cache_.emplace(track_name, CachedTrack{track, slot});
    }
    // One line per binding per frame while an editor is away: not even
    // formatted when nobody reads the debug log.
    if (!track->data_received && QLoggingCategory::defaultCategory()->isDebugEnabled())
        qDebug("Rocket::GetSyncTrack gives no data_received for track:%s\n", track_name.c_str());
    return track;
}

double Rocket::current_seconds() const
{
    Music* m = music();
    if (!m)
        return 0.0;
    if (paused)
        return m->position();
    if (fixed_step_ms > 0.0)
        return fixed_seconds;
    return anchor_seconds + double(uint32_t(clock_ms() - anchor_ms)) * 0.001;
}

double Rocket::current_row() const
{
    Music* m = music();
    if (!m)
        return 0.0;
    if (paused)
        return scrubbing ? double(prev_row) : m->position() * row_rate;
    return current_seconds() * row_rate;
}

double Rocket::demo_seconds() const
{
    return sync_row_to_seconds(current_row(), bpm, rows_per_beat);
}

void Rocket::on_pause(bool flag)
{
    qDebug() << "rocket paused called";
    if (flag) {
        pause_time_step = 0.0;
    } else if (paused) {
        scrubbing = false;
        Music* m = music();
        anchor_ms = clock_ms();
        anchor_seconds = m ? m->position() : 0.0;
        if (m)
            m->set_paused(false);
    }
    paused = flag;
}

void Rocket::on_set_row(int row)
{
    if (paused && prev_row != -1) {
        row_delta = row - prev_row;
        step_age = 0;
        pause_time_step = sync_row_to_seconds(double(row - prev_row), bpm, rows_per_beat);
        scrubbing = true;
    } else if (!paused) {
        // The editor seeks the music to this row; the clock follows it.
        anchor_ms = clock_ms();
        anchor_seconds = sync_row_to_seconds(double(row), bpm, rows_per_beat);
    }
    prev_row = row;
}

void Rocket::update()
{
    if (qml_context)
        qml_context->setContextProperty(QStringLiteral("demoTimeNow"), demo_seconds());

    if (live) {
        // In single-rocket mode the one rocket sits in slot 0 and is polled
        // there; with one rocket per skene, each active skene's slot is, all
        // the way up to the last index a skene can get.
        std::array<bool, kSlots> used{};
        used[0] = !rocket_flags().multi_rocket;
        for (const ActiveSkene& entry : activeSkeneList().entries) {
            const int slot = effectiveRocketIndex(entry);
            if (slot >= 0 && slot < kSlots)
                used[size_t(slot)] = true;
        }
        for (int i = 0; i < kSlots; ++i) {
            SyncDevice* d = devices_[size_t(i)];
            if (!d || !used[size_t(i)])
                continue;
            eval_row = current_row();
            const int32_t row = int32_t(eval_row);
            int changed = 0;
            int activity = 0;
            // A missing or hung editor is retried without waiting, about once
            // a second, so it never holds a frame up.
            if (sync_update(d, row, base_port + master_rocket_index, &changed, &activity) == 1)
                sync_tcp_connect_poll(d, "localhost", uint16_t(base_port + i));
            if (changed)
                last_change_time = platform::millisecondClock();
            if (activity)
                master_rocket_index = i;
        }
    } else {
        eval_row = current_row();
    }

    if (qml_context && master_rocket_index != published_master_index)
        qml_context->setContextProperty(QStringLiteral("masterRocketIndex"), master_rocket_index);
    published_master_index = master_rocket_index;

    if (step_age > 0)
        pause_time_step = 0.0;
    else
        step_age += 1;
}

void Rocket::push_frame_time(float ms)
{
    last_frame_time_ = ms;
    frame_times_[size_t(frame_index_)] = ms;
    frame_index_ = (frame_index_ + 1) % kFrameRing;
}

float Rocket::last_frame_time() const
{
    return fixed_step_ms > 0.0 ? float(fixed_step_ms) : last_frame_time_;
}

float Rocket::average_frame_time() const
{
    if (fixed_step_ms > 0.0)
        return float(fixed_step_ms);
    float sum = 0.0f;
    for (float t : frame_times_)
        sum += t;
    return sum / float(kFrameRing);
}

float Rocket::time_step() const
{
    if (!paused)
        return average_frame_time();
    return float(std::clamp(pause_time_step * 1000.0, -500.0, 500.0));
}

void Rocket::export_all()
{
    if (!live)
        return;
    for (SyncDevice* d : devices_) {
        if (d)
            sync_save_tracks(d);
    }
}

void Rocket::save_all_remote()
{
    if (!live)
        return;
    for (SyncDevice* d : devices_) {
        if (d)
            send_save_all(d);
    }
}
