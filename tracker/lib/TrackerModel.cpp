#include "tracker/lib/TrackerModel.h"

#include <algorithm>
#include <cmath>
#include <map>

namespace tracker {

TrackerModel::TrackerModel(QObject* parent)
    : QObject(parent)
{
}

TrackerModel::~TrackerModel() = default;

int TrackerModel::findTrack(const std::string& name) const
{
    const auto it = byName_.find(name);
    return it == byName_.end() ? -1 : it->second;
}

int TrackerModel::addTrack(const std::string& name)
{
    const int found = findTrack(name);
    if (found >= 0)
        return found;
    auto track = std::make_unique<Track>();
    track->name = name;
    // Nothing to wait for: an editor's track is known from the start.
    track->keys.data_received = 1;
    tracks_.push_back(std::move(track));
    const int index = int(tracks_.size()) - 1;
    byName_.emplace(name, index);
    setDirty(true);
    Q_EMIT trackAdded(index);
    return index;
}

const TrackKey* TrackerModel::keyAt(int track, int32_t row) const
{
    const SyncTrack& t = keys(track);
    const int i = find_key(&t, row);
    return i >= 0 ? &t.keys[i] : nullptr;
}

bool TrackerModel::nextKeyRow(int track, int32_t row, int32_t* out) const
{
    const SyncTrack& t = keys(track);
    int i = find_key(&t, row);
    if (i < 0)
        i = -i - 1;
    if (i >= t.num_keys)
        return false;
    *out = t.keys[i].row;
    return true;
}

bool TrackerModel::previousKeyRow(int track, int32_t row, int32_t* out) const
{
    const SyncTrack& t = keys(track);
    const int i = key_index_floor(&t, row);
    if (i < 0)
        return false;
    *out = t.keys[i].row;
    return true;
}

int TrackerModel::keyCount() const
{
    int n = 0;
    for (const auto& t : tracks_)
        n += t->keys.num_keys;
    return n;
}

void TrackerModel::setRowsPerBeat(int rows)
{
    rows = std::clamp(rows, min_rows_per_beat, max_rows_per_beat);
    if (rows == rowsPerBeat_)
        return;
    rowsPerBeat_ = rows;
    setDirty(true);
    Q_EMIT rowsPerBeatChanged(rows);
}

void TrackerModel::setCell(int track, int32_t row, bool has, const TrackKey& key)
{
    SyncTrack& t = tracks_[size_t(track)]->keys;
    if (has) {
        TrackKey k = key;
        k.row = row;
        set_key(&t, k);
    } else {
        delete_key(&t, row);
    }
    Q_EMIT keyChanged(track, row);
}

void TrackerModel::apply(const EditBatch& batch, bool forward)
{
    for (const KeyChange& c : batch.keys) {
        if (c.track < 0 || c.track >= trackCount())
            continue;
        if (forward)
            setCell(c.track, c.row, c.has, c.after);
        else
            setCell(c.track, c.row, c.had, c.before);
    }
    if (!batch.bookmarkToggles.empty()) {
        for (int32_t row : batch.bookmarkToggles) {
            if (!bookmarks_.erase(row))
                bookmarks_.insert(row);
        }
        Q_EMIT bookmarksChanged();
    }
    if (!batch.empty())
        setDirty(true);
}

void TrackerModel::replaceKeys(int track, const TrackKey* keys, int count)
{
    SyncTrack& t = tracks_[size_t(track)]->keys;
    clear_keys(&t);
    // Files may hold keys out of order or twice on a row; set_key sorts
    // them and keeps the last one of a row.
    for (int i = 0; i < count; ++i) {
        if (std::isfinite(keys[i].value))
            set_key(&t, keys[i]);
    }
    t.data_received = 1;
    setDirty(true);
    Q_EMIT keysReplaced(track);
}

void TrackerModel::setBookmarks(std::set<int32_t> rows)
{
    bookmarks_ = std::move(rows);
    Q_EMIT bookmarksChanged();
}

void TrackerModel::clear()
{
    tracks_.clear();
    byName_.clear();
    bookmarks_.clear();
    rowsPerBeat_ = sync_default_rows_per_beat;
}

void TrackerModel::announceReset()
{
    Q_EMIT contentReset();
    Q_EMIT dirtyChanged(dirty_);
}

void TrackerModel::setDirty(bool dirty)
{
    if (dirty == dirty_)
        return;
    dirty_ = dirty;
    Q_EMIT dirtyChanged(dirty);
}

bool continuesBurst(const EditBatch& earlier, const EditBatch& later)
{
    return earlier.burstTrack >= 0 && earlier.burstTrack == later.burstTrack
        && later.madeAtMs - earlier.madeAtMs <= burst_gap_ms && earlier.bookmarkToggles.empty()
        && later.bookmarkToggles.empty();
}

void mergeBatch(EditBatch& earlier, const EditBatch& later)
{
    for (const KeyChange& c : later.keys) {
        // A burst keeps hitting the same cell: look from the newest.
        auto it = std::find_if(earlier.keys.rbegin(), earlier.keys.rend(),
                               [&](const KeyChange& e) { return e.track == c.track && e.row == c.row; });
        if (it == earlier.keys.rend()) {
            earlier.keys.push_back(c);
        } else {
            it->has = c.has;
            it->after = c.after;
        }
    }
    earlier.text = later.text;
    earlier.madeAtMs = later.madeAtMs;
}

void BatchBuilder::set(int track, int32_t row, float value, int32_t type)
{
    if (!std::isfinite(value))
        return;
    TrackKey k;
    k.row = row;
    k.value = value;
    k.type = type;
    cells_.push_back({{track, row}, {true, k}});
}

void BatchBuilder::remove(int track, int32_t row)
{
    cells_.push_back({{track, row}, {false, TrackKey{}}});
}

EditBatch BatchBuilder::finish(const QString& text)
{
    // Later wishes for a cell win over earlier ones.
    std::map<std::pair<int, int32_t>, Wanted> last;
    for (const auto& c : cells_)
        last[c.first] = c.second;
    EditBatch batch;
    batch.text = text;
    for (const auto& [cell, wanted] : last) {
        const TrackKey* now = model_.keyAt(cell.first, cell.second);
        if (!now && !wanted.has)
            continue;
        if (now && wanted.has && now->value == wanted.key.value && now->type == wanted.key.type)
            continue;
        KeyChange c;
        c.track = cell.first;
        c.row = cell.second;
        c.had = now != nullptr;
        if (now)
            c.before = *now;
        c.has = wanted.has;
        c.after = wanted.key;
        batch.keys.push_back(c);
    }
    cells_.clear();
    return batch;
}

} // namespace tracker
