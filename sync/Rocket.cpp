#include "sync/Rocket.h"

#include "platform/Clock.h"
#include "platform/Installed.h"
#include "state/ActiveSkeneList.h"
#include "state/FrameState.h"
#include "state/rocket_flags.h"
#include "sync/SyncLog.h"
#include "time/Music.h"
#include "time/TimeState.h"

#include <QDebug>

#include <algorithm>
#include <cmath>
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
    r.note_change();
    if (Music* m = music())
        m->set_position(row / r.row_rate());
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
        r.set_pause_step(0.0);
    }
}

int onEditorIsPlaying(void*)
{
    Music* m = music();
    return m && m->is_playing() ? 1 : 0;
}

const SyncCallbacks kCallbacks = {onEditorPause, onEditorSetRow, onEditorIsPlaying};

} // namespace

Rocket& Rocket::instance()
{
    return Installed<Rocket>::get();
}

Rocket::Rocket()
    : row_rate_(sync_row_rate(sync_default_bpm, sync_default_rows_per_beat))
    , clock_ms_(platform::millisecondClock)
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
    live_ = isLive;
    if (port < base_port_ || port >= base_port_ + kSlots)
        return false;
    const int slot = port - base_port_;
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
        create_rocket(flags.rocket_enabled, base_port_);
        return;
    }
    for (const ActiveSkene& skene : activeSkeneList().entries)
        create_rocket(flags.rocket_enabled, base_port_ + skene.rocketIndex);
}

int Rocket::resolve_rocket(const std::string& track_name)
{
    // Called for every sync() of every bound property: compare in place.
    const std::string_view skene = std::string_view(track_name).substr(0, track_name.find('.'));
    current_rocket_index_ = 0;
    for (const ActiveSkene& entry : activeSkeneList().entries) {
        if (entry.name == skene) {
            current_rocket_index_ = effectiveRocketIndex(entry);
            break;
        }
    }
    return current_rocket_index_;
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
        track = sync_get_track(d, track_name.c_str(), live_ ? 1 : 0);
        if (!track)
            return nullptr;
        track_cache_.emplace(track_name, CachedTrack{track, slot});
    }
    // One line per binding per frame while an editor is away: not even
    // formatted unless the traffic's log was asked for.
    if (!track->data_received)
        qCDebug(syncTraffic, "Rocket::GetSyncTrack gives no data_received for track:%s\n", track_name.c_str());
    return track;
}

float Rocket::track_value(const std::string& track_name)
{
    if (!temp_values_.empty()) {
        const auto temp = temp_values_.find(track_name);
        if (temp != temp_values_.end())
            return temp->second;
    }
    if (!device(resolve_rocket(track_name)))
        return 0.0f;
    const SyncTrack* t = GetSyncTrack(track_name);
    return t ? get_value(t, eval_row_) : 0.0f;
}

float Rocket::trigger(const std::string& track_name)
{
    if (!device(resolve_rocket(track_name)))
        return 0.0f;
    const SyncTrack* t = GetSyncTrack(track_name);
    float& next = trigger_rows_[track_name]; // 0 when none is stored
    const int d = int(std::floor(eval_row_));
    const int from = int(next);

    // A row passes when a key lies exactly on it, so a run of rows passes
    // when a key lies anywhere in it: one search, however long the run (the
    // first call covers every row from 0).
    auto keyWithin = [t](int lo, int hi) {
        if (!t || t->num_keys <= 0)
            return false;
        int i = find_key(t, lo);
        if (i >= 0)
            return true;
        i = -i - 1;
        return i < t->num_keys && t->keys[i].row <= hi;
    };
    bool passed = false;
    if (row_delta_ < 0 && paused_) {
        if (next - 1.0f > float(d))
            passed = keyWithin(d, from);
    } else if (d >= from) {
        passed = keyWithin(from, d);
    }
    next = float(d + 1);
    return passed ? 1.0f : 0.0f;
}

double Rocket::current_seconds() const
{
    Music* m = music();
    if (!m)
        return 0.0;
    if (paused_)
        return m->position();
    if (fixed_step_ms_ > 0.0)
        return fixed_seconds_;
    return anchor_seconds_ + double(uint32_t(clock_ms_() - anchor_ms_)) * 0.001;
}

double Rocket::current_row() const
{
    Music* m = music();
    if (!m)
        return 0.0;
    if (paused_)
        return scrubbing_ ? double(prev_row_) : m->position() * row_rate_;
    return current_seconds() * row_rate_;
}

double Rocket::demo_seconds() const
{
    return sync_row_to_seconds(current_row(), bpm_, rows_per_beat_);
}

void Rocket::on_pause(bool flag)
{
    qDebug() << "rocket paused called";
    if (flag) {
        pause_time_step_ = 0.0;
    } else if (paused_) {
        scrubbing_ = false;
        Music* m = music();
        anchor_ms_ = clock_ms_();
        anchor_seconds_ = m ? m->position() : 0.0;
        if (m)
            m->set_paused(false);
    }
    paused_ = flag;
}

void Rocket::on_set_row(int row)
{
    if (paused_ && prev_row_ != -1) {
        row_delta_ = row - prev_row_;
        step_age_ = 0;
        pause_time_step_ = sync_row_to_seconds(double(row - prev_row_), bpm_, rows_per_beat_);
        scrubbing_ = true;
    } else if (!paused_) {
        // The editor seeks the music to this row; the clock follows it.
        anchor_ms_ = clock_ms_();
        anchor_seconds_ = sync_row_to_seconds(double(row), bpm_, rows_per_beat_);
    }
    prev_row_ = row;
}

void Rocket::note_change()
{
    last_change_ms_ = platform::millisecondClock();
}

void Rocket::follow_music()
{
    Music* m = music();
    if (paused_ || fixed_step_ms_ > 0.0 || !m || !m->is_playing()) {
        apart_ = false;
        last_ahead_ = 0.0;
        followed_ms_ = clock_ms_();
        return;
    }
    const uint32_t now = clock_ms_();
    const double dt = std::min(double(uint32_t(now - followed_ms_)), 1000.0);
    followed_ms_ = now;
    // Positive: the pictures are ahead of what sounds.
    const double sounding = m->sounding_position();
    const double ahead = current_seconds() - sounding;
    // Steered by the smaller of this look and the last when both lean the
    // same way: one late buffer shows in one look and must not move the
    // clock the way a lasting difference does.
    const double lasting = (ahead > 0.0) != (last_ahead_ > 0.0) ? 0.0
                           : std::abs(ahead) < std::abs(last_ahead_) ? ahead
                                                                      : last_ahead_;
    last_ahead_ = ahead;
    const double size = std::abs(ahead);
    if (size <= kFollowDeadBand) {
        apart_ = false;
        return;
    }
    if (size > kFollowJump) {
        // A stall: the output fell behind (a busy machine, a stopped
        // process) or the clock was set where the music is not. One late
        // buffer is over before the next frame; anything that lasts is met
        // with a jump to the music.
        if (!apart_) {
            apart_ = true;
            apart_since_ms_ = now;
        } else if (uint32_t(now - apart_since_ms_) >= kFollowJumpAfterMs) {
            anchor_ms_ = now;
            anchor_seconds_ = sounding;
            apart_ = false;
            last_ahead_ = 0.0;
        }
        return;
    }
    // Small and slow (a sound card's own crystal, jitter): steer, never so
    // hard that the clock runs backwards.
    apart_ = false;
    if (std::abs(lasting) > kFollowDeadBand)
        anchor_seconds_ -= lasting * std::min(1.0, dt / kFollowTimeConstantMs);
}

void Rocket::update()
{
    follow_music();
    if (live_) {
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
            eval_row_ = current_row();
            const int32_t row = int32_t(eval_row_);
            int changed = 0;
            int activity = 0;
            // A missing or hung editor is retried without waiting, about once
            // a second, so it never holds a frame up.
            if (sync_update(d, row, base_port_ + master_rocket_index_, &changed, &activity) == 1)
                sync_tcp_connect_poll(d, "localhost", uint16_t(base_port_ + i));
            if (changed)
                note_change();
            if (activity)
                master_rocket_index_ = i;
        }
    } else {
        eval_row_ = current_row();
    }

    if (step_age_ > 0)
        pause_time_step_ = 0.0;
    else
        step_age_ += 1;
}

void Rocket::publish_time(FrameTime& time) const
{
    time.demoSeconds = demo_seconds();
    time.timeStepMs = time_step();
    time.averageFrameMs = average_frame_time();
    time.paused = paused_;
    time.pauseStepSeconds = pause_time_step_;
}

void Rocket::push_frame_time(float ms)
{
    last_frame_time_ = ms;
    frame_times_[size_t(frame_index_)] = ms;
    frame_index_ = (frame_index_ + 1) % kFrameRing;
}

float Rocket::last_frame_time() const
{
    return fixed_step_ms_ > 0.0 ? float(fixed_step_ms_) : last_frame_time_;
}

float Rocket::average_frame_time() const
{
    if (fixed_step_ms_ > 0.0)
        return float(fixed_step_ms_);
    float sum = 0.0f;
    for (float t : frame_times_)
        sum += t;
    return sum / float(kFrameRing);
}

float Rocket::time_step() const
{
    if (!paused_)
        return average_frame_time();
    return float(std::clamp(pause_time_step_ * 1000.0, -500.0, 500.0));
}

void Rocket::export_all()
{
    if (!live_)
        return;
    for (SyncDevice* d : devices_) {
        if (d)
            sync_save_tracks(d);
    }
}

void Rocket::save_all_remote()
{
    if (!live_)
        return;
    for (SyncDevice* d : devices_) {
        if (d)
            send_save_all(d);
    }
}
