#pragma once
// The manager of every sync device ("rocket") of the running demo: one
// device per TCP port from 1338 up, the map from a track name to its skene's
// rocket, the per-frame poll, the demo clock kept in step with the music and
// the editors' cursor, and the frame-time history. Its owner is the process
// state (app/ProcessState.h); the controller (app/RocketQML.h) publishes
// what QML reads of it and starts the editors.
//
// One thread: the GUI thread, which under the basic render loop also renders.
#include "sync/sync_device.h"

#include <array>
#include <cstdint>
#include <string>
#include <unordered_map>

struct FrameTime;

class Rocket {
public:
    static constexpr int kSlots = 100;
    static constexpr int kFrameRing = 20;

    // The manager of the running demo.
    static Rocket& instance();

    Rocket();
    ~Rocket();
    Rocket(const Rocket&) = delete;
    Rocket& operator=(const Rocket&) = delete;

    // Replaces the device of port's slot. Ports outside the rocket range are
    // refused (false). A live device gets the callbacks and connects at once;
    // when the editor is not there yet, the per-frame update retries.
    bool create_rocket(bool live, int port);
    // One rocket per active skene with multi_rocket, else one on the first port.
    void connect_rockets();
    // First port of the range (1338); tests move it so parallel runs do not
    // collide.
    int base_port() const { return base_port_; }
    void set_base_port(int port) { base_port_ = port; }
    // True once a rocket was created for live editing.
    bool is_live() const { return live_; }

    // The per-frame step: polls the editors of every slot that an active
    // skene uses, follows the master, fixes the row the tracks are read at,
    // and ages the pause time step.
    void update();

    // The slot of a track name's skene (the text before the first "."); 0
    // when no active skene matches.
    int resolve_rocket(const std::string& track_name);
    // The track of that name from its skene's rocket, cached; null when the
    // slot has no device. A track whose data has not arrived gets a debug
    // line each call, built only while debug output is enabled.
    SyncTrack* GetSyncTrack(const std::string& track_name);
    SyncDevice* device(int slot) const;
    // The slot whose editor was used last (it drives the row).
    int master_index() const { return master_rocket_index_; }

    // --- Track values, as the controller's sync slots answer them ---

    // A value set from QML for the track, else the track's value at the
    // evaluation row; 0 when the track's rocket has no device.
    float track_value(const std::string& track_name);
    // Whether the track's skene has a rocket to read it from.
    bool has_rocket_for(const std::string& track_name) { return device(resolve_rocket(track_name)) != nullptr; }
    // 1 when a key of the track lies on a row passed since the last call
    // for it (on the first call: any row up to now), else 0. A paused jump
    // backwards passes the rows it went over.
    float trigger(const std::string& track_name);
    // Trigger tracks followed so far; forgetting them makes each next call
    // the first for its track.
    size_t followed_triggers() const { return trigger_rows_.size(); }
    void forget_triggers() { trigger_rows_.clear(); }
    // Values that QML sets to override a track.
    void set_temp_value(const std::string& track_name, float value) { temp_values_[track_name] = value; }
    void clear_temp_values() { temp_values_.clear(); }
    // The row the tracks are read at, fixed by update(); evaluate_tracks_at
    // reads them at another until the next update.
    double eval_row() const { return eval_row_; }
    void evaluate_tracks_at(double row) { eval_row_ = row; }

    // --- The demo clock ---

    double current_row() const;
    double current_seconds() const;
    // Seconds shown to QML: the row clock turned back into seconds.
    double demo_seconds() const;
    bool is_paused() const { return paused_; }
    void on_pause(bool flag);
    // An editor's row: while paused it scrubs; while playing the clock
    // starts again from that row, so pictures stay with the music that the
    // editor's seek moved.
    void on_set_row(int row);
    // The last row an editor set, and how far its last jump went.
    int prev_row() const { return prev_row_; }
    int row_delta() const { return row_delta_; }
    double row_rate() const { return row_rate_; }
    // While playing, once a frame (update() does it): the clock follows what
    // the music output sounds. Within a few milliseconds it is left alone;
    // up to kFollowJump apart it is steered back within about a second;
    // further apart for kFollowJumpAfterMs it jumps to the music.
    void follow_music();
    static constexpr double kFollowDeadBand = 0.002;        // seconds
    static constexpr double kFollowJump = 0.05;             // seconds
    static constexpr uint32_t kFollowJumpAfterMs = 100;
    static constexpr double kFollowTimeConstantMs = 250.0;
    // The millisecond clock of the demo clock; tests move it near its wrap.
    void set_clock(uint32_t (*clock_ms)()) { clock_ms_ = clock_ms; }

    // A capture's fixed-step clock: with a step above 0, while playing the
    // demo time is the one hold_at set (the capture sets it before each
    // frame), and every frame lasts exactly the step (the frame times and
    // the time step). The wall clock plays no part.
    void use_fixed_step(double ms) { fixed_step_ms_ = ms; }
    void hold_at(double seconds) { fixed_seconds_ = seconds; }

    // File playback starts once the demo has loaded (the controller says
    // so) and its shaders have settled.
    void set_demo_loaded(bool flag) { demo_loaded_ = flag; }
    bool demo_loaded() const { return demo_loaded_; }

    // Something changed that a paused demo must show: an editor's key or
    // row, an edit from the edit view, a rebuilt shader. A paused demo
    // draws its skenes for a while after the last change.
    void note_change();
    void note_change_at(uint32_t ms) { last_change_ms_ = ms; }
    uint32_t last_change_ms() const { return last_change_ms_; }

    // --- Frame times ---

    // Frame times in milliseconds.
    void push_frame_time(float ms);
    float average_frame_time() const;
    float last_frame_time() const;
    // Milliseconds: the average frame time while playing; while paused the
    // last editor jump, clamped to +-500.
    float time_step() const;
    // Seconds of the last editor jump while paused, until the update after
    // it; set_pause_step sets it as such a jump would.
    double pause_step_seconds() const { return pause_time_step_; }
    void set_pause_step(double seconds) { pause_time_step_ = seconds; }

    // What the items of a frame read of the clock.
    void publish_time(FrameTime& time) const;

    void export_all();
    void save_all_remote();

private:
    struct CachedTrack {
        SyncTrack* track;
        int slot;
    };

    std::unordered_map<std::string, float> temp_values_;
    // Per trigger track, the next row to examine.
    std::unordered_map<std::string, float> trigger_rows_;

    bool paused_ = true;
    int prev_row_ = 0;
    double eval_row_ = 0.0;
    bool live_ = false;
    bool demo_loaded_ = false;
    // While playing: the demo time at the last (re)start and the millisecond
    // clock's reading then. Elapsed time is the clock's difference, which
    // stays right across its wrap at 2^32 ms (49.7 days).
    uint32_t anchor_ms_ = 0;
    double anchor_seconds_ = 0.0;
    bool scrubbing_ = false;
    // follow_music: the last look, and since when the clock and the music
    // have been a jump apart.
    uint32_t followed_ms_ = 0;
    bool apart_ = false;
    uint32_t apart_since_ms_ = 0;
    double last_ahead_ = 0.0; // seconds

    float bpm_ = sync_default_bpm;
    int rows_per_beat_ = sync_default_rows_per_beat;
    double row_rate_;
    int master_rocket_index_ = 0;
    int current_rocket_index_ = 0;
    int row_delta_ = 0;
    double pause_time_step_ = 0.0; // seconds
    int step_age_ = 0;
    uint32_t last_change_ms_ = 0;
    int base_port_ = 1338;
    uint32_t (*clock_ms_)() = nullptr;
    double fixed_step_ms_ = 0.0;
    double fixed_seconds_ = 0.0;

    std::array<SyncDevice*, kSlots> devices_{};
    std::unordered_map<std::string, CachedTrack> track_cache_;
    std::array<float, kFrameRing> frame_times_{};
    int frame_index_ = 0;
    float last_frame_time_ = 0.0f;
};
