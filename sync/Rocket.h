#pragma once
// The process-wide manager of every sync device ("rocket"): one device per
// TCP port from 1338 up, the map from a track name to its skene's rocket, the
// sync editors' launch, the per-frame poll, the demo clock kept in step with
// the music and the editors' cursor, and the frame-time history.
//
// One thread: the GUI thread, which under the basic render loop also renders.
#include "sync/sync_device.h"

#include <array>
#include <cstdint>
#include <functional>
#include <string>
#include <unordered_map>
#include <vector>

#include <QPointer>
#include <QQmlContext>

class Rocket {
public:
    static constexpr int kSlots = 100;
    static constexpr int kFrameRing = 20;

    // The one manager, created on first use.
    static Rocket& instance();
    // Destroys the manager and its devices; the next instance() starts a
    // fresh one (for tests: nobody may keep a reference across it).
    static void reset_instance();

    ~Rocket();
    Rocket(const Rocket&) = delete;
    Rocket& operator=(const Rocket&) = delete;

    // Replaces the device of port's slot. Ports outside the rocket range are
    // refused (false). A live device gets the callbacks and connects at once;
    // when the editor is not there yet, the per-frame update retries.
    bool create_rocket(bool live, int port);
    // One rocket per active skene with multi_rocket, else one on the first port.
    void connect_rockets();
    // Starts the sync editors (no shell), logging each command line.
    void launch_editors();

    // The per-frame step: publishes the time, polls the editors of every
    // slot that an active skene uses, follows the master and ages the pause
    // time step.
    void update();

    // The slot of a track name's skene (the text before the first "."); 0
    // when no active skene matches.
    int resolve_rocket(const std::string& track_name);
    // The track of that name from its skene's rocket, cached; null when the
    // slot has no device. A track whose data has not arrived gets a debug
    // line each call, built only while debug output is enabled.
    SyncTrack* GetSyncTrack(const std::string& track_name);
    SyncDevice* device(int slot) const;

    // The demo clock.
    double current_row() const;
    double current_seconds() const;
    // Seconds shown to QML: the row clock turned back into seconds.
    double demo_seconds() const;
    void on_pause(bool flag);
    // An editor's row: while paused it scrubs; while playing the clock
    // starts again from that row, so pictures stay with the music that the
    // editor's seek moved.
    void on_set_row(int row);

    // Frame times in milliseconds.
    void push_frame_time(float ms);
    float average_frame_time() const;
    float last_frame_time() const;
    // Milliseconds: the average frame time while playing; while paused the
    // last editor jump, clamped to +-500.
    float time_step() const;

    void export_all();
    void save_all_remote();

    void set_demo_loaded(bool flag) { demo_loaded = flag; }
    bool is_paused() const { return paused; }

    // Values that QML sets to override a track.
    std::unordered_map<std::string, float> temp_values;
    // Per trigger track, the next row to examine.
    std::unordered_map<std::string, float> trigger_rows;

    bool paused = true;
    int prev_row = 0;
    double eval_row = 0.0;
    bool live = false;
    bool demo_loaded = false;
    // While playing: the demo time at the last (re)start and the millisecond
    // clock's reading then. Elapsed time is the clock's difference, which
    // stays right across its wrap at 2^32 ms (49.7 days).
    uint32_t anchor_ms = 0;
    double anchor_seconds = 0.0;
    bool scrubbing = false;

    float bpm = sync_default_bpm;
    int rows_per_beat = sync_default_rows_per_beat;
    double row_rate;
    int master_rocket_index = 0;
    int published_master_index = 0;
    int current_rocket_index = 0;
    int row_delta = 0;
    double pause_time_step = 0.0; // seconds
    int step_age = 0;
    uint32_t last_change_time = 0;

    // First port of the range; tests move it so parallel runs do not collide.
    int base_port = 1338;
    // The "-windowHeight:" of the editors' command lines; start-up sets it
    // from the demo width before the editors are launched.
    int editor_window_height = -720;
    // Where "demoTimeNow" and "masterRocketIndex" are published; null until
    // a view exists, and again once its engine is gone.
    QPointer<QQmlContext> qml_context;
    // Starts a program with arguments; tests record instead.
    std::function<bool(const std::string&, const std::vector<std::string>&)> launcher;
    // The millisecond clock of the demo clock; tests move it near its wrap.
    uint32_t (*clock_ms)() = nullptr;

    // A capture's fixed-step clock, when fixed_step_ms > 0: while playing,
    // the demo time is fixed_seconds, which the capture sets before each
    // frame, and every frame lasts exactly fixed_step_ms (the frame times
    // and the time step). The wall clock plays no part.
    double fixed_step_ms = 0.0;
    double fixed_seconds = 0.0;

private:
    Rocket();

    struct CachedTrack {
        SyncTrack* track;
        int slot;
    };

    std::array<SyncDevice*, kSlots> devices_{};
    std::unordered_map<std::string, CachedTrack> track_cache_;
    std::array<float, kFrameRing> frame_times_{};
    int frame_index_ = 0;
    float last_frame_time_ = 0.0f;
};
