#include "tracker/lib/TrackerSession.h"

#include "tracker/lib/displayText.h"

#include <QDir>
#include <QFile>

#include <algorithm>
#include <cmath>
#include <map>

namespace tracker {

namespace {

constexpr int32_t key_type_count = 5;

QString shown(const std::string& name)
{
    return displayName(name, 80);
}

// A key keeps the interpolation of the key it replaces, else continues the
// segment it lands in.
int32_t typeForNewKey(const TrackerModel& model, int track, int32_t row)
{
    int32_t at;
    if (model.previousKeyRow(track, row, &at))
        return model.keyAt(track, at)->type;
    return int32_t(KeyType::Step);
}

} // namespace

TrackerSession::TrackerSession(TrackerModel& model, SyncServer& server, QObject* parent)
    : QObject(parent)
    , model_(model)
    , server_(server)
    , demoDir_(QDir::currentPath())
{
    connect(&server_, &SyncServer::messageReceived, this, &TrackerSession::onMessage);
    connect(&server_, &SyncServer::demoConnected, this, &TrackerSession::onDemoConnected);
    connect(&server_, &SyncServer::demoDisconnected, this, &TrackerSession::onDemoDisconnected);
    connect(&model_, &TrackerModel::keyChanged, this, &TrackerSession::onKeyChanged);
    connect(&model_, &TrackerModel::trackAdded, this, &TrackerSession::onTrackAdded);
    // Laying out every column again for each of thousands of new tracks
    // would hold the window up for seconds: once per turn is enough.
    connect(&server_, &SyncServer::messagesHandled, this, [this] {
        inMessages_ = false;
        freshLayout();
    });
    connect(&model_, &TrackerModel::contentReset, this, &TrackerSession::rebuildLayout);
    rebuildLayout();
}

// ---- The project -----------------------------------------------------------

LoadResult TrackerSession::openProject(const QString& path)
{
    projectPath_ = path;
    backupTaken_ = false;
    const LoadResult result = loadProject(path, model_);
    loadStatus_ = result.status;
    trackOfIndex_.clear();
    indicesOfTrack_.clear();
    setCursor(0, 0);
    if (!result.message.isEmpty())
        Q_EMIT statusMessage(result.message);
    return result;
}

bool TrackerSession::saveProject()
{
    if (loadStatus_ == LoadResult::Unreadable && !backupTaken_ && QFile::exists(projectPath_)) {
        const QString backup = projectPath_ + QStringLiteral(".bak");
        QFile::remove(backup);
        if (!QFile::copy(projectPath_, backup)) {
            Q_EMIT statusMessage(QStringLiteral("Not saved: could not keep the unreadable %1 as %2")
                                     .arg(projectPath_, backup));
            return false;
        }
        backupTaken_ = true;
    }
    QString error;
    if (!tracker::saveProject(projectPath_, model_, &error)) {
        Q_EMIT statusMessage(QStringLiteral("Not saved: %1").arg(error));
        return false;
    }
    loadStatus_ = LoadResult::Loaded;
    model_.setDirty(false);
    Q_EMIT statusMessage(QStringLiteral("Saved %1").arg(projectPath_));
    return true;
}

int TrackerSession::importTrackFiles()
{
    const std::vector<std::string> names = listTrackFiles(demoDir_);
    std::vector<std::pair<int, std::vector<TrackKey>>> found;
    for (const std::string& name : names) {
        std::vector<TrackKey> keys;
        if (readTrackFile(demoDir_, name, &keys))
            found.emplace_back(model_.addTrack(name), std::move(keys));
    }
    BatchBuilder b(model_);
    for (const auto& [track, keys] : found) {
        const SyncTrack& t = model_.keys(track);
        for (int i = 0; i < t.num_keys; ++i)
            b.remove(track, t.keys[i].row);
        for (const TrackKey& k : keys)
            b.set(track, k.row, k.value, k.type);
    }
    submitBatch(b.finish(QStringLiteral("Import track files")));
    Q_EMIT statusMessage(QStringLiteral("Imported %1 track files from %2/sync").arg(found.size()).arg(demoDir_));
    return int(found.size());
}

// ---- Cursor and selection --------------------------------------------------

void TrackerSession::rebuildLayout()
{
    layoutStale_ = false;
    // Keep the cursor on what it was on.
    const bool had = column_ >= 0 && column_ < layout_.count();
    const Column under = had ? layout_.at(column_) : Column{-1, -1};
    const std::string group = had ? layout_.groupName(under.group) : std::string();
    layout_.rebuild(model_);
    if (had) {
        int c = under.track >= 0 ? layout_.columnOfTrack(under.track) : -1;
        for (int g = 0; c < 0 && g < layout_.groupCount(); ++g) {
            if (layout_.groupName(g) == group)
                c = layout_.isCollapsed(g) ? layout_.columnOfGroup(g) : layout_.columnOfTrack(under.track);
        }
        column_ = c >= 0 ? c : column_;
    }
    column_ = std::clamp(column_, 0, std::max(0, layout_.count() - 1));
    anchorColumn_ = -1;
    Q_EMIT layoutChanged();
}

void TrackerSession::onTrackAdded()
{
    if (inMessages_)
        layoutStale_ = true;
    else
        rebuildLayout();
}

void TrackerSession::freshLayout()
{
    if (layoutStale_)
        rebuildLayout();
}

int TrackerSession::cursorTrack() const
{
    return column_ < layout_.count() ? layout_.at(column_).track : -1;
}

int32_t TrackerSession::rowCount() const
{
    int32_t last = std::max(row_, default_row_count - 1);
    for (int t = 0; t < model_.trackCount(); ++t) {
        const SyncTrack& k = model_.keys(t);
        if (k.num_keys > 0)
            last = std::max(last, k.keys[k.num_keys - 1].row);
    }
    return std::min(last, max_row) + 1;
}

void TrackerSession::setCursor(int32_t row, int column, bool extendSelection)
{
    row = std::clamp(row, int32_t(0), max_row);
    column = std::clamp(column, 0, std::max(0, layout_.count() - 1));
    if (extendSelection && anchorColumn_ < 0) {
        anchorColumn_ = column_;
        anchorRow_ = row_;
    } else if (!extendSelection) {
        anchorColumn_ = -1;
    }
    const bool rowChanged = row != row_;
    row_ = row;
    column_ = column;
    if (rowChanged)
        server_.sendSetRow(row_);
    Q_EMIT cursorMoved();
}

void TrackerSession::moveCursor(int32_t rows, int columns, bool extendSelection)
{
    const int64_t row = int64_t(row_) + rows;
    setCursor(int32_t(std::clamp<int64_t>(row, 0, max_row)), column_ + columns, extendSelection);
}

TrackerSession::Block TrackerSession::selection() const
{
    if (anchorColumn_ < 0)
        return {column_, column_, row_, row_};
    return {std::min(column_, anchorColumn_), std::max(column_, anchorColumn_), std::min(row_, anchorRow_),
            std::max(row_, anchorRow_)};
}

void TrackerSession::clearSelection()
{
    anchorColumn_ = -1;
    Q_EMIT cursorMoved();
}

// ---- Editing ---------------------------------------------------------------

void TrackerSession::submitBatch(EditBatch batch)
{
    if (batch.empty())
        return;
    if (submit)
        submit(batch);
    else
        model_.apply(batch);
}

bool TrackerSession::setValue(float value)
{
    const int track = cursorTrack();
    if (track < 0 || !std::isfinite(value))
        return false;
    BatchBuilder b(model_);
    b.set(track, row_, value, typeForNewKey(model_, track, row_));
    submitBatch(b.finish(QStringLiteral("Set %1 at row %2").arg(value).arg(row_)));
    return true;
}

void TrackerSession::deleteKeys()
{
    const Block s = selection();
    BatchBuilder b(model_);
    for (int track : layout_.tracksIn(s.firstColumn, s.lastColumn)) {
        const SyncTrack& t = model_.keys(track);
        int i = find_key(&t, s.firstRow);
        for (i = i < 0 ? -i - 1 : i; i < t.num_keys && t.keys[i].row <= s.lastRow; ++i)
            b.remove(track, t.keys[i].row);
    }
    submitBatch(b.finish(QStringLiteral("Delete keys")));
}

void TrackerSession::cycleInterpolation()
{
    const int track = cursorTrack();
    int32_t at;
    if (track < 0 || !model_.previousKeyRow(track, row_, &at))
        return;
    const TrackKey* k = model_.keyAt(track, at);
    const int32_t next = k->type >= 0 && k->type < key_type_count ? (k->type + 1) % key_type_count : 0;
    BatchBuilder b(model_);
    b.set(track, at, k->value, next);
    submitBatch(b.finish(QStringLiteral("Interpolation %1").arg(interpolationName(next))));
}

void TrackerSession::copy()
{
    const Block s = selection();
    const std::vector<int> tracks = layout_.tracksIn(s.firstColumn, s.lastColumn);
    clip_.clear();
    clipTracks_ = int(tracks.size());
    clipRows_ = s.lastRow - s.firstRow + 1;
    for (int c = 0; c < clipTracks_; ++c) {
        const SyncTrack& t = model_.keys(tracks[size_t(c)]);
        int i = find_key(&t, s.firstRow);
        for (i = i < 0 ? -i - 1 : i; i < t.num_keys && t.keys[i].row <= s.lastRow; ++i)
            clip_.push_back({c, t.keys[i].row - s.firstRow, t.keys[i].value, t.keys[i].type});
    }
    Q_EMIT statusMessage(QStringLiteral("Copied %1 keys").arg(clip_.size()));
}

void TrackerSession::cut()
{
    copy();
    deleteKeys();
}

void TrackerSession::paste()
{
    if (clipTracks_ == 0)
        return;
    const std::vector<int> targets = layout_.tracksIn(column_, layout_.count() - 1);
    const int width = std::min(clipTracks_, int(targets.size()));
    const int32_t lastRow = int32_t(std::min<int64_t>(int64_t(row_) + clipRows_ - 1, max_row));
    BatchBuilder b(model_);
    // The pasted block replaces what was under it.
    for (int c = 0; c < width; ++c) {
        const SyncTrack& t = model_.keys(targets[size_t(c)]);
        int i = find_key(&t, row_);
        for (i = i < 0 ? -i - 1 : i; i < t.num_keys && t.keys[i].row <= lastRow; ++i)
            b.remove(targets[size_t(c)], t.keys[i].row);
    }
    for (const ClipKey& k : clip_) {
        if (k.trackOffset < width && int64_t(row_) + k.rowOffset <= max_row)
            b.set(targets[size_t(k.trackOffset)], row_ + k.rowOffset, k.value, k.type);
    }
    submitBatch(b.finish(QStringLiteral("Paste")));
}

void TrackerSession::moveKeys(int32_t rows)
{
    const Block s = selection();
    const std::vector<int> tracks = layout_.tracksIn(s.firstColumn, s.lastColumn);
    if (int64_t(s.firstRow) + rows < 0 || int64_t(s.lastRow) + rows > max_row)
        return;
    BatchBuilder b(model_);
    for (int track : tracks) {
        const SyncTrack& t = model_.keys(track);
        int first = find_key(&t, s.firstRow);
        first = first < 0 ? -first - 1 : first;
        int end = first;
        while (end < t.num_keys && t.keys[end].row <= s.lastRow)
            ++end;
        for (int i = first; i < end; ++i)
            b.remove(track, t.keys[i].row);
        for (int i = first; i < end; ++i)
            b.set(track, t.keys[i].row + rows, t.keys[i].value, t.keys[i].type);
    }
    submitBatch(b.finish(QStringLiteral("Move keys %1 rows").arg(rows)));
    // The selection goes with the keys.
    const bool selected = hasSelection();
    const int32_t anchorRow = anchorRow_ + rows;
    const int anchorColumn = anchorColumn_;
    setCursor(row_ + rows, column_);
    if (selected) {
        anchorRow_ = anchorRow;
        anchorColumn_ = anchorColumn;
        Q_EMIT cursorMoved();
    }
}

void TrackerSession::toggleBookmark()
{
    EditBatch batch;
    batch.text = QStringLiteral("Bookmark row %1").arg(row_);
    batch.bookmarkToggles.push_back(row_);
    submitBatch(batch);
}

void TrackerSession::jumpToBookmark(int direction)
{
    const std::set<int32_t>& marks = model_.bookmarks();
    if (direction > 0) {
        const auto it = marks.upper_bound(row_);
        if (it != marks.end())
            setCursor(*it, column_);
    } else {
        auto it = marks.lower_bound(row_);
        if (it != marks.begin())
            setCursor(*--it, column_);
    }
}

void TrackerSession::jumpToKey(int direction)
{
    const int track = cursorTrack();
    int32_t at;
    if (track < 0)
        return;
    if (direction > 0 ? (row_ < max_row && model_.nextKeyRow(track, row_ + 1, &at))
                      : (row_ > 0 && model_.previousKeyRow(track, row_ - 1, &at)))
        setCursor(at, column_);
}

void TrackerSession::toggleGroup()
{
    if (layout_.count() == 0)
        return;
    const Column c = layout_.at(column_);
    const bool collapse = !layout_.isCollapsed(c.group);
    layout_.setCollapsed(c.group, collapse);
    rebuildLayout();
    int target = layout_.columnOfGroup(c.group);
    for (int col = 0; target < 0 && col < layout_.count(); ++col) {
        if (layout_.at(col).group == c.group)
            target = col;
    }
    setCursor(row_, target);
}

void TrackerSession::expandAllGroups()
{
    layout_.expandAll();
    rebuildLayout();
}

void TrackerSession::changeRowsPerBeat(int delta)
{
    model_.setRowsPerBeat(model_.rowsPerBeat() + delta);
    Q_EMIT statusMessage(QStringLiteral("%1 rows per beat").arg(model_.rowsPerBeat()));
}

// ---- The demo --------------------------------------------------------------

void TrackerSession::setPlaying(bool playing)
{
    if (playing == playing_)
        return;
    playing_ = playing;
    Q_EMIT playingChanged(playing);
}

void TrackerSession::togglePlay()
{
    if (!server_.hasDemo()) {
        Q_EMIT statusMessage(QStringLiteral("No demo connected"));
        return;
    }
    server_.sendPause(playing_, row_);
    setPlaying(!playing_);
}

void TrackerSession::exportTrackFiles()
{
    if (!server_.hasDemo()) {
        Q_EMIT statusMessage(QStringLiteral("No demo connected: nothing exported"));
        return;
    }
    server_.sendPlain(SyncCommand::SAVE_TRACKS);
    Q_EMIT statusMessage(QStringLiteral("The demo writes its track files"));
}

void TrackerSession::sendTrack(uint32_t index, int track, std::string& out) const
{
    const SyncTrack& t = model_.keys(track);
    if (t.num_keys == 0)
        encode_set_no_key(out, index);
    for (int i = 0; i < t.num_keys; ++i)
        encode_set_key(out, index, t.keys[i].row, t.keys[i].value, uint8_t(t.keys[i].type));
}

void TrackerSession::resendAll()
{
    if (!server_.hasDemo())
        return;
    std::map<uint32_t, int> ordered(trackOfIndex_.begin(), trackOfIndex_.end());
    std::string out;
    encode_plain(out, SyncCommand::DEFERRED_PURGE);
    for (const auto& [index, track] : ordered)
        sendTrack(index, track, out);
    encode_plain(out, SyncCommand::DATA_RECEIVED_ALL);
    server_.sendBytes(out);
    Q_EMIT statusMessage(QStringLiteral("Sent %1 tracks again").arg(ordered.size()));
}

void TrackerSession::makeMaster()
{
    server_.sendPlain(SyncCommand::MAKE_MASTER);
}

void TrackerSession::onDemoConnected()
{
    trackOfIndex_.clear();
    indicesOfTrack_.clear();
    setPlaying(false);
    Q_EMIT connectionChanged(true);
    Q_EMIT statusMessage(QStringLiteral("Demo connected"));
}

void TrackerSession::onDemoDisconnected(const QString& reason)
{
    trackOfIndex_.clear();
    indicesOfTrack_.clear();
    setPlaying(false);
    Q_EMIT connectionChanged(false);
    Q_EMIT statusMessage(reason.isEmpty() ? QStringLiteral("Demo disconnected")
                                          : QStringLiteral("Dropped the demo: %1").arg(reason));
}

int TrackerSession::resolveTrack(const std::string& name)
{
    int track = model_.findTrack(name);
    if (track >= 0)
        return track;
    // A track the project does not know yet starts from the demo's track
    // file, so a demo that only has those loses nothing.
    std::vector<TrackKey> keys;
    const bool fromFile = readTrackFile(demoDir_, name, &keys);
    track = model_.addTrack(name);
    if (fromFile) {
        model_.replaceKeys(track, keys.data(), int(keys.size()));
        Q_EMIT cursorMoved(); // repaint
    }
    return track;
}

void TrackerSession::onKeyChanged(int track, int row)
{
    if (!server_.hasDemo() || track >= int(indicesOfTrack_.size()))
        return;
    const TrackKey* k = model_.keyAt(track, row);
    for (uint32_t index : indicesOfTrack_[size_t(track)]) {
        if (k)
            server_.sendSetKey(index, row, k->value, uint8_t(k->type));
        else
            server_.sendDeleteKey(index, row);
    }
}

void TrackerSession::followDemoRow(int32_t row)
{
    // The demo is playing and tells us its row; echoing it back would make
    // the demo seek its music every frame.
    setPlaying(true);
    row = std::clamp(row, int32_t(0), max_row);
    if (row == row_)
        return;
    row_ = row;
    Q_EMIT cursorMoved();
}

void TrackerSession::locateTrack(const std::string& name)
{
    if (name == "_windowToForeground") {
        Q_EMIT raiseRequested();
        return;
    }
    const int track = model_.findTrack(name);
    if (track < 0) {
        Q_EMIT statusMessage(QStringLiteral("The demo looks for %1, which is not here").arg(shown(name)));
        return;
    }
    freshLayout();
    const int group = layout_.groupOfTrack(track);
    if (layout_.isCollapsed(group)) {
        layout_.setCollapsed(group, false);
        rebuildLayout();
    }
    setCursor(row_, layout_.columnOfTrack(track));
}

void TrackerSession::locateSkeneStart(const std::string& name)
{
    const std::string skene = name.substr(0, name.find('.'));
    const std::string prefix = skene + ".";
    int best = -1;
    int32_t bestRow = 0;
    for (int t = 0; t < model_.trackCount(); ++t) {
        const std::string& n = model_.trackName(t);
        const SyncTrack& k = model_.keys(t);
        if (k.num_keys == 0 || (n != skene && n.compare(0, prefix.size(), prefix) != 0))
            continue;
        if (best < 0 || k.keys[0].row < bestRow) {
            best = t;
            bestRow = k.keys[0].row;
        }
    }
    if (best < 0) {
        Q_EMIT statusMessage(QStringLiteral("No keys for the skene %1").arg(shown(skene)));
        return;
    }
    freshLayout();
    const int column = layout_.columnOfTrack(best);
    setCursor(bestRow, column >= 0 ? column : column_);
}

void TrackerSession::onMessage(const DemoMessage& msg)
{
    inMessages_ = true;
    switch (msg.cmd) {
    case SyncCommand::GET_TRACK: {
        const int track = resolveTrack(msg.name);
        // An index announced again for another name now means that one.
        const auto old = trackOfIndex_.find(msg.index);
        if (old != trackOfIndex_.end()) {
            auto& list = indicesOfTrack_[size_t(old->second)];
            list.erase(std::remove(list.begin(), list.end(), msg.index), list.end());
        }
        trackOfIndex_[msg.index] = track;
        if (indicesOfTrack_.size() <= size_t(track))
            indicesOfTrack_.resize(size_t(track) + 1);
        indicesOfTrack_[size_t(track)].push_back(msg.index);
        std::string out;
        sendTrack(msg.index, track, out);
        server_.sendBytes(out);
        break;
    }
    case SyncCommand::SET_ROW:
        followDemoRow(msg.number);
        break;
    case SyncCommand::FIND_TRACK:
        locateTrack(msg.name);
        break;
    case SyncCommand::SET_TRACK_VALUE: {
        if (!std::isfinite(msg.value)) {
            Q_EMIT statusMessage(QStringLiteral("Ignored a value that is not a number for %1").arg(shown(msg.name)));
            break;
        }
        const int track = resolveTrack(msg.name);
        BatchBuilder b(model_);
        b.set(track, row_, msg.value, typeForNewKey(model_, track, row_));
        submitBatch(b.finish(QStringLiteral("Value from the demo")));
        break;
    }
    case SyncCommand::SAVE_ALL:
        saveProject();
        break;
    case SyncCommand::FIND_SKENE_START:
        locateSkeneStart(msg.name);
        break;
    case SyncCommand::SET_FIRST_VALUE: {
        if (!std::isfinite(msg.value))
            break;
        const int track = resolveTrack(msg.name);
        if (model_.keys(track).num_keys > 0)
            break;
        BatchBuilder b(model_);
        b.set(track, 0, msg.value, int32_t(KeyType::Step));
        submitBatch(b.finish(QStringLiteral("First value from the demo")));
        break;
    }
    default:
        break;
    }
}

} // namespace tracker
