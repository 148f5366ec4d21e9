#pragma once
// What the editor edits: named tracks of keys, bookmarks and the beat grid.
//
// Keys are kept in the demo's own track records (sync/track.h), so the
// editor's curve and the demo's value at a row come from the same code.
// Tracks are only ever added: the demo addresses them by name, and a column
// that vanished under it would lose its keys.
//
// Every change of keys and bookmarks goes through apply() with an EditBatch,
// which can be applied backwards: that is what undo is made of.
#include "sync/track.h"

#include <QObject>
#include <QString>

#include <memory>
#include <set>
#include <string>
#include <unordered_map>
#include <vector>

namespace tracker {

// One key cell before and after an edit.
struct KeyChange {
    int track = 0;
    int32_t row = 0;
    bool had = false; // a key was there before
    TrackKey before{};
    bool has = false; // a key is there after
    TrackKey after{};
};

// One undoable edit. Each (track, row) appears at most once, so the changes
// can be applied in any order.
struct EditBatch {
    QString text; // what the undo history calls it
    std::vector<KeyChange> keys;
    std::vector<int32_t> bookmarkToggles; // rows whose bookmark flips
    // A value the demo pushed into this track (-1: any other edit). Pushes
    // come in bursts, one a frame while a slider moves: those of one track
    // that follow each other within burst_gap_ms are one step.
    int burstTrack = -1;
    int64_t madeAtMs = 0; // a monotonic clock, for the bursts
    bool empty() const { return keys.empty() && bookmarkToggles.empty(); }
};

constexpr int64_t burst_gap_ms = 2000;

// Whether later continues the burst of earlier (see EditBatch::burstTrack).
bool continuesBurst(const EditBatch& earlier, const EditBatch& later);
// Folds later into earlier, as if both were one edit: every cell keeps its
// state from before earlier and takes its state after later.
void mergeBatch(EditBatch& earlier, const EditBatch& later);

constexpr int min_rows_per_beat = 1;
constexpr int max_rows_per_beat = 64;

class TrackerModel : public QObject {
    Q_OBJECT
public:
    explicit TrackerModel(QObject* parent = nullptr);
    ~TrackerModel() override;

    int trackCount() const { return int(tracks_.size()); }
    const std::string& trackName(int track) const { return tracks_[size_t(track)]->name; }
    const SyncTrack& keys(int track) const { return tracks_[size_t(track)]->keys; }
    // Index of the track called name, or -1.
    int findTrack(const std::string& name) const;
    // The track called name, added (empty) when there is none.
    int addTrack(const std::string& name);
    // The key on exactly row, or null.
    const TrackKey* keyAt(int track, int32_t row) const;
    // The first key row at or after row / at or before row, or false.
    bool nextKeyRow(int track, int32_t row, int32_t* out) const;
    bool previousKeyRow(int track, int32_t row, int32_t* out) const;
    int keyCount() const;

    const std::set<int32_t>& bookmarks() const { return bookmarks_; }
    int rowsPerBeat() const { return rowsPerBeat_; }
    // Clamped to min_rows_per_beat..max_rows_per_beat.
    void setRowsPerBeat(int rows);

    // Applies batch (forward), or takes it back (backward).
    void apply(const EditBatch& batch, bool forward = true);

    // Replaces a track's keys without history (loading and importing).
    // Keys whose value is no finite number are not taken (their rows are
    // for the callers to name; nothing the model holds is ever nan or inf).
    void replaceKeys(int track, const TrackKey* keys, int count);
    void setBookmarks(std::set<int32_t> rows);
    // Drops everything: no tracks, no bookmarks, the default beat grid.
    void clear();
    // Tells views that the whole content changed (after loading).
    void announceReset();

    bool isDirty() const { return dirty_; }
    void setDirty(bool dirty);

Q_SIGNALS:
    void trackAdded(int track);
    void keyChanged(int track, int row);
    // A track's keys were replaced all at once (replaceKeys).
    void keysReplaced(int track);
    void bookmarksChanged();
    void rowsPerBeatChanged(int rows);
    void contentReset();
    void dirtyChanged(bool dirty);

private:
    struct Track {
        std::string name;
        SyncTrack keys{};
        Track() = default;
        Track(const Track&) = delete;
        Track& operator=(const Track&) = delete;
        ~Track() { clear_keys(&keys); }
    };
    void setCell(int track, int32_t row, bool has, const TrackKey& key);

    std::vector<std::unique_ptr<Track>> tracks_;
    std::unordered_map<std::string, int> byName_;
    std::set<int32_t> bookmarks_;
    int rowsPerBeat_ = sync_default_rows_per_beat;
    bool dirty_ = false;
};

// Collects the state that an edit wants for each key cell, and turns it into
// an EditBatch against the model's present state (cells that would not
// change are left out).
class BatchBuilder {
public:
    explicit BatchBuilder(const TrackerModel& model) : model_(model) {}
    // A value that is no finite number is not set (callers refuse those
    // where they come in, with a message).
    void set(int track, int32_t row, float value, int32_t type);
    void remove(int track, int32_t row);
    EditBatch finish(const QString& text);

private:
    struct Wanted {
        bool has;
        TrackKey key;
    };
    const TrackerModel& model_;
    std::vector<std::pair<std::pair<int, int32_t>, Wanted>> cells_;
};

} // namespace tracker
