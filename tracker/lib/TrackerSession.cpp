#include "tracker/lib/TrackerSession.h"

#include "tracker/lib/displayText.h"

#include "platform/Files.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QStringList>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <map>

namespace tracker {

namespace {

constexpr int32_t key_type_count = 5;

QString shown(const std::string& name)
{
    return displayName(name, 80);
}

QString refusedKeysText(const std::string& name, const std::vector<int32_t>& rows)
{
    QStringList list;
    for (size_t i = 0; i < rows.size() && i < 5; ++i)
        list << QString::number(rows[i]);
    if (rows.size() > 5)
        list << QStringLiteral("...");
    return QStringLiteral("left out %1 keys of %2 in its track file that hold no number (row %3)")
        .arg(rows.size())
        .arg(shown(name), list.join(QStringLiteral(", ")));
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

bool parseRowOrTime(const QString& input, int32_t* row)
{
    const QString text = input.trimmed();
    double seconds = -1.0;
    bool ok = false;
    if (text.contains(QLatin1Char(':'))) {
        const QStringList parts = text.split(QLatin1Char(':'));
        bool minutesOk = false, secondsOk = false;
        const int minutes = parts.size() == 2 ? parts[0].toInt(&minutesOk) : 0;
        const double rest = parts.size() == 2 ? parts[1].toDouble(&secondsOk) : 0.0;
        if (minutesOk && secondsOk && minutes >= 0 && rest >= 0.0 && rest < 60.0)
            seconds = minutes * 60.0 + rest;
    } else if (text.endsWith(QLatin1Char('s'))) {
        seconds = text.chopped(1).trimmed().toDouble(&ok);
        if (!ok)
            seconds = -1.0;
    } else {
        const qlonglong r = text.toLongLong(&ok);
        if (!ok || r < 0 || r > max_row)
            return false;
        *row = int32_t(r);
        return true;
    }
    if (!(seconds >= 0.0))
        return false;
    // The row playing at that time; a hair more so that 1.5 s lands on the
    // row that starts there, not the one before.
    const double r = std::floor(sync_seconds_to_row(seconds, sync_default_bpm, sync_default_rows_per_beat) + 1e-6);
    if (r > max_row)
        return false;
    *row = int32_t(r);
    return true;
}

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

    quietTimer_.setSingleShot(true);
    quietTimer_.setInterval(demo_quiet_ms);
    connect(&quietTimer_, &QTimer::timeout, this, [this] { setPlaying(false); });
    rowAgainTimer_.setSingleShot(true);
    rowAgainTimer_.setInterval(connect_row_again_ms);
    connect(&rowAgainTimer_, &QTimer::timeout, this, [this] {
        if (!rowCameSinceConnect_)
            sendRow(row_);
    });

    recoveryTimer_.setSingleShot(true);
    recoveryTimer_.setInterval(recovery_delay_ms);
    connect(&recoveryTimer_, &QTimer::timeout, this, &TrackerSession::writeRecovery);
    clock_.start();
    // Whatever changes what a save would write.
    connect(&model_, &TrackerModel::keyChanged, this, &TrackerSession::onModelChanged);
    connect(&model_, &TrackerModel::keysReplaced, this, &TrackerSession::onModelChanged);
    connect(&model_, &TrackerModel::trackAdded, this, &TrackerSession::onModelChanged);
    connect(&model_, &TrackerModel::bookmarksChanged, this, &TrackerSession::onModelChanged);
    connect(&model_, &TrackerModel::rowsPerBeatChanged, this, &TrackerSession::onModelChanged);
    rebuildLayout();
}

// ---- The project -----------------------------------------------------------

LoadResult TrackerSession::openProject(const QString& path)
{
    projectPath_ = path;
    backupTaken_ = false;
    recoveryOurs_ = false;
    recoveryTimer_.stop();
    ProjectView look;
    const LoadResult result = loadProject(path, model_, &look);
    loadStatus_ = result.status;
    trackOfIndex_.clear();
    indicesOfTrack_.clear();
    widths_ = look.widths;
    layout_.expandAll();
    for (int g = 0; g < layout_.groupCount(); ++g)
        layout_.setCollapsed(g, look.collapsedGroups.count(layout_.groupName(g)) > 0);
    rebuildLayout();
    int column = 0;
    if (look.cursorTrack >= 0) {
        const int c = layout_.columnOfTrack(look.cursorTrack);
        column = c >= 0 ? c : std::max(0, layout_.columnOfGroup(layout_.groupOfTrack(look.cursorTrack)));
    }
    setCursor(std::clamp(look.cursorRow, int32_t(0), max_row), column);
    recoveryFound_ = QFile::exists(recoveryPathOf(path)) ? recoveryPathOf(path) : QString();
    if (!result.message.isEmpty())
        Q_EMIT statusMessage(result.message);
    return result;
}

ProjectView TrackerSession::view() const
{
    ProjectView v;
    for (int g = 0; g < layout_.groupCount(); ++g) {
        if (layout_.isCollapsed(g))
            v.collapsedGroups.insert(layout_.groupName(g));
    }
    v.widths = widths_;
    v.cursorRow = row_;
    v.cursorTrack = cursorTrack();
    if (v.cursorTrack < 0 && column_ < layout_.count()) {
        // On a collapsed group: its first track.
        const int group = layout_.at(column_).group;
        for (int t = 0; t < model_.trackCount() && v.cursorTrack < 0; ++t) {
            if (layout_.groupOfTrack(t) == group)
                v.cursorTrack = t;
        }
    }
    return v;
}

bool TrackerSession::saveProject()
{
    const bool partial = loadStatus_ == LoadResult::Unreadable || loadStatus_ == LoadResult::Damaged;
    if (partial && !backupTaken_ && QFile::exists(projectPath_)) {
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
    const ProjectView look = view();
    if (!tracker::saveProject(projectPath_, model_, &error, &look)) {
        Q_EMIT statusMessage(QStringLiteral("Not saved: %1").arg(error));
        return false;
    }
    loadStatus_ = LoadResult::Loaded;
    model_.setDirty(false);
    // What the recovery file kept is in the project now.
    recoveryTimer_.stop();
    if (recoveryOurs_) {
        platform::finishBackgroundWrites();
        QFile::remove(recoveryPathOf(projectPath_));
        recoveryOurs_ = false;
    }
    Q_EMIT statusMessage(QStringLiteral("Saved %1").arg(projectPath_));
    return true;
}

// ---- Recovery --------------------------------------------------------------

void TrackerSession::onModelChanged()
{
    if (!recoveryTimer_.isActive() && !projectPath_.isEmpty())
        recoveryTimer_.start();
}

void TrackerSession::writeRecovery()
{
    recoveryTimer_.stop();
    // A recovery file found at the start stays as it is until the author
    // chose what becomes of it.
    if (!model_.isDirty() || projectPath_.isEmpty() || !recoveryFound_.isEmpty())
        return;
    const ProjectView look = view();
    const QString path = recoveryPathOf(projectPath_);
    QDir().mkpath(QFileInfo(path).absolutePath());
    platform::writeFileAtomicallyInBackground(QFile::encodeName(path).toStdString(),
                                              projectBytes(model_, &look).toStdString());
    recoveryOurs_ = true;
}

bool TrackerSession::restoreRecovery()
{
    if (recoveryFound_.isEmpty())
        return false;
    // The demo's indices go on naming the same tracks in the new model.
    std::vector<std::pair<uint32_t, std::string>> demoNames;
    for (const auto& [index, track] : trackOfIndex_)
        demoNames.emplace_back(index, model_.trackName(track));
    TrackerModel probe;
    const LoadResult r = loadProject(recoveryFound_, probe);
    if (r.status == LoadResult::Unreadable || r.status == LoadResult::Missing) {
        Q_EMIT statusMessage(QStringLiteral("Not restored: %1").arg(r.message));
        return false;
    }
    ProjectView look;
    loadProject(recoveryFound_, model_, &look);
    widths_ = look.widths;
    layout_.expandAll();
    for (int g = 0; g < layout_.groupCount(); ++g)
        layout_.setCollapsed(g, look.collapsedGroups.count(layout_.groupName(g)) > 0);
    trackOfIndex_.clear();
    indicesOfTrack_.clear();
    for (const auto& [index, name] : demoNames)
        mapDemoIndex(index, model_.addTrack(name));
    rebuildLayout();
    const int column = look.cursorTrack >= 0 ? layout_.columnOfTrack(look.cursorTrack) : 0;
    setCursor(look.cursorRow, std::max(column, 0));
    // Unsaved until the author saves: the project file is as it was.
    model_.setDirty(true);
    recoveryFound_.clear();
    recoveryOurs_ = true;
    resendAll();
    Q_EMIT statusMessage(QStringLiteral("Restored the changes kept in %1; Ctrl+S saves them into %2")
                             .arg(recoveryPathOf(projectPath_), projectPath_));
    return true;
}

void TrackerSession::setAsideRecovery()
{
    if (recoveryFound_.isEmpty())
        return;
    const QString old = recoveryFound_ + QStringLiteral(".old");
    QFile::remove(old);
    QFile::rename(recoveryFound_, old);
    Q_EMIT statusMessage(QStringLiteral("The changes that were not saved are kept in %1").arg(old));
    recoveryFound_.clear();
    if (model_.isDirty())
        recoveryTimer_.start();
}

void TrackerSession::discardRecovery()
{
    recoveryTimer_.stop();
    if (!recoveryOurs_)
        return;
    platform::finishBackgroundWrites();
    QFile::remove(recoveryPathOf(projectPath_));
    recoveryOurs_ = false;
}

int TrackerSession::importTrackFiles()
{
    const std::vector<std::string> names = listTrackFiles(demoDir_);
    std::vector<std::pair<int, std::vector<TrackKey>>> found;
    QString refused;
    for (const std::string& name : names) {
        std::vector<TrackKey> keys;
        std::vector<int32_t> bad;
        if (readTrackFile(demoDir_, name, &keys, &bad))
            found.emplace_back(model_.addTrack(name), std::move(keys));
        if (!bad.empty() && refused.isEmpty())
            refused = refusedKeysText(name, bad);
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
    Q_EMIT statusMessage(QStringLiteral("Imported %1 track files from %2/sync%3")
                             .arg(found.size())
                             .arg(demoDir_, refused.isEmpty() ? QString() : QStringLiteral("; ") + refused));
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
        sendRow(row_);
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

void TrackerSession::revealCell(int track, int32_t row)
{
    freshLayout();
    if (track < 0 || track >= model_.trackCount()) {
        setCursor(row, column_);
        return;
    }
    const int group = layout_.groupOfTrack(track);
    if (layout_.isCollapsed(group)) {
        layout_.setCollapsed(group, false);
        rebuildLayout();
    }
    setCursor(row, layout_.columnOfTrack(track));
}

// ---- Columns ---------------------------------------------------------------

int TrackerSession::columnChars(int column)
{
    if (column < 0 || column >= layout().count())
        return default_column_chars;
    const int track = layout_.at(column).track;
    if (track < 0)
        return min_column_chars;
    const int chars = size_t(track) < widths_.size() ? widths_[size_t(track)] : 0;
    return chars > 0 ? std::clamp(chars, min_column_chars, max_column_chars) : default_column_chars;
}

void TrackerSession::setColumnChars(int column, int chars)
{
    if (column < 0 || column >= layout().count())
        return;
    const int track = layout_.at(column).track;
    if (track < 0)
        return;
    chars = std::clamp(chars, min_column_chars, max_column_chars);
    if (chars == columnChars(column))
        return;
    if (widths_.size() <= size_t(track))
        widths_.resize(size_t(model_.trackCount()), 0);
    widths_[size_t(track)] = chars;
    // Kept in the project like any other change of how it is laid out.
    model_.setDirty(true);
    onModelChanged();
    Q_EMIT layoutChanged();
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
    submitBatch(b.finish(QStringLiteral("Set %1 at row %2 of %3").arg(keyValueText(value)).arg(row_).arg(shown(model_.trackName(track)))));
    return true;
}

bool TrackerSession::setValueText(const QString& text)
{
    const int track = cursorTrack();
    if (track < 0) {
        Q_EMIT statusMessage(QStringLiteral("No key here: the cursor is on no track"));
        return false;
    }
    float value = 0.0f;
    switch (parseKeyValue(text, &value)) {
    case ValueText::Number:
        return setValue(value);
    case ValueText::NotFinite:
        Q_EMIT statusMessage(QStringLiteral("Not set: %1 is no number a key of %2 can hold at row %3 (the largest is "
                                            "about 3.4e38)")
                                 .arg(text, shown(model_.trackName(track)))
                                 .arg(row_));
        return false;
    case ValueText::NotANumber:
        break;
    }
    Q_EMIT statusMessage(QStringLiteral("Not set: %1 is not a number").arg(text));
    return false;
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
    if (hasSelection()) {
        // The block follows its first key.
        const Block s = selection();
        for (int track : layout_.tracksIn(s.firstColumn, s.lastColumn)) {
            int32_t at;
            if (model_.nextKeyRow(track, s.firstRow, &at) && at <= s.lastRow) {
                const int32_t type = model_.keyAt(track, at)->type;
                setInterpolation(type >= 0 && type < key_type_count ? (type + 1) % key_type_count : 0);
                return;
            }
        }
        return;
    }
    const int track = cursorTrack();
    int32_t at;
    if (track < 0 || !model_.previousKeyRow(track, row_, &at))
        return;
    const TrackKey* k = model_.keyAt(track, at);
    setInterpolation(k->type >= 0 && k->type < key_type_count ? (k->type + 1) % key_type_count : 0);
}

void TrackerSession::setInterpolation(int32_t type)
{
    BatchBuilder b(model_);
    if (hasSelection()) {
        const Block s = selection();
        for (int track : layout_.tracksIn(s.firstColumn, s.lastColumn)) {
            const SyncTrack& t = model_.keys(track);
            int i = find_key(&t, s.firstRow);
            for (i = i < 0 ? -i - 1 : i; i < t.num_keys && t.keys[i].row <= s.lastRow; ++i)
                b.set(track, t.keys[i].row, t.keys[i].value, type);
        }
    } else {
        const int track = cursorTrack();
        int32_t at;
        if (track < 0 || !model_.previousKeyRow(track, row_, &at))
            return;
        b.set(track, at, model_.keyAt(track, at)->value, type);
    }
    submitBatch(b.finish(QStringLiteral("Interpolation %1").arg(interpolationName(type))));
}

QString TrackerSession::copy()
{
    const Block s = selection();
    const std::vector<int> tracks = layout_.tracksIn(s.firstColumn, s.lastColumn);
    KeyBlock block;
    block.tracks = int(tracks.size());
    block.rows = s.lastRow - s.firstRow + 1;
    for (int c = 0; c < block.tracks; ++c) {
        const SyncTrack& t = model_.keys(tracks[size_t(c)]);
        block.names.push_back(model_.trackName(tracks[size_t(c)]));
        int i = find_key(&t, s.firstRow);
        for (i = i < 0 ? -i - 1 : i; i < t.num_keys && t.keys[i].row <= s.lastRow; ++i)
            block.keys.push_back({c, t.keys[i].row - s.firstRow, t.keys[i].value, t.keys[i].type});
    }
    if (block.tracks == 0) {
        Q_EMIT statusMessage(QStringLiteral("Nothing copied: no track here"));
        return QString();
    }
    Q_EMIT statusMessage(QStringLiteral("Copied %1 keys of %2 tracks").arg(block.keys.size()).arg(block.tracks));
    return keyBlockText(block);
}

QString TrackerSession::cut()
{
    const QString text = copy();
    deleteKeys();
    return text;
}

bool TrackerSession::paste(const QString& text)
{
    KeyBlock block;
    std::vector<RefusedKey> refused;
    QString why;
    if (!parseKeyBlock(text, max_row + 1, &block, &refused, &why)) {
        Q_EMIT statusMessage(QStringLiteral("Nothing pasted: %1").arg(why));
        return false;
    }
    const std::vector<int> targets = layout_.tracksIn(column_, layout_.count() - 1);
    const int width = std::min(block.tracks, int(targets.size()));
    const int32_t lastRow = int32_t(std::min<int64_t>(int64_t(row_) + block.rows - 1, max_row));
    BatchBuilder b(model_);
    // The pasted block replaces what was under it.
    for (int c = 0; c < width; ++c) {
        const SyncTrack& t = model_.keys(targets[size_t(c)]);
        int i = find_key(&t, row_);
        for (i = i < 0 ? -i - 1 : i; i < t.num_keys && t.keys[i].row <= lastRow; ++i)
            b.remove(targets[size_t(c)], t.keys[i].row);
    }
    for (const BlockKey& k : block.keys) {
        if (k.track < width && int64_t(row_) + k.row <= max_row)
            b.set(targets[size_t(k.track)], row_ + k.row, k.value, k.type);
    }
    submitBatch(b.finish(QStringLiteral("Paste")));
    if (!refused.empty()) {
        const RefusedKey& r = refused.front();
        const QString where = r.track < width ? shown(model_.trackName(targets[size_t(r.track)])) : QStringLiteral("?");
        Q_EMIT statusMessage(QStringLiteral("Pasted without %1 keys that hold no number a key can hold: %2 for %3 at row %4")
                                 .arg(refused.size())
                                 .arg(r.text, where)
                                 .arg(int64_t(row_) + r.row));
    } else if (width < block.tracks) {
        Q_EMIT statusMessage(QStringLiteral("Pasted %1 of %2 tracks: no more tracks to the right").arg(width).arg(block.tracks));
    }
    return true;
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
    Q_EMIT statusMessage(
        QStringLiteral("%1 rows per beat in the grid's shading only: the demo's clock, and the music beside the rows, "
                       "stay at %2 rows a beat of %3 bpm (%4 rows a second)")
            .arg(model_.rowsPerBeat())
            .arg(sync_default_rows_per_beat)
            .arg(double(sync_default_bpm))
            .arg(sync_row_rate(sync_default_bpm, sync_default_rows_per_beat), 0, 'f', 4));
}

// ---- The demo --------------------------------------------------------------

void TrackerSession::setPlaying(bool playing)
{
    if (!playing)
        quietTimer_.stop();
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
    const bool play = !playing_;
    server_.sendPause(!play, row_);
    // Paused, the demo sits on our row; it plays on from there.
    loop_.placeDemo(row_);
    if (play) {
        pausedAt_.invalidate();
        setPlaying(true);
        // A demo that cannot play (no music, or at its end) sends no row.
        quietTimer_.start();
    } else {
        pausedAt_.start();
        lastRowAt_.invalidate();
        setPlaying(false);
    }
}

void TrackerSession::setActive(bool active)
{
    active_ = active;
    if (active)
        makeMaster();
}

void TrackerSession::exportTrackFiles()
{
    if (!server_.hasDemo()) {
        Q_EMIT statusMessage(QStringLiteral("No demo connected: nothing exported"));
        return;
    }
    server_.sendPlain(SyncCommand::SAVE_TRACKS);
    // The demo does not answer: whether the files were written is for its
    // sync/ folder to show.
    Q_EMIT statusMessage(QStringLiteral("Asked the demo to write its track files (into its sync/ folder)"));
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
    pausedAt_.invalidate();
    setPlaying(false);
    // Both start from the row the editor shows. The demo takes our row only
    // from its master editor, and a MAKE_MASTER counts from its next frame:
    // the row goes once more a little later, unless the demo plays by then.
    if (active_)
        makeMaster();
    sendRow(row_);
    rowCameSinceConnect_ = false;
    if (active_)
        rowAgainTimer_.start();
    Q_EMIT connectionChanged(true);
    Q_EMIT statusMessage(QStringLiteral("Demo connected"));
}

void TrackerSession::onDemoDisconnected(const QString& reason)
{
    rowAgainTimer_.stop();
    trackOfIndex_.clear();
    indicesOfTrack_.clear();
    setPlaying(false);
    loop_.forgetDemo();
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
    std::vector<int32_t> refused;
    const bool fromFile = readTrackFile(demoDir_, name, &keys, &refused);
    track = model_.addTrack(name);
    // The views hear of it through keysReplaced and repaint once per turn;
    // moving the cursor for each track laid every column out again.
    if (fromFile)
        model_.replaceKeys(track, keys.data(), int(keys.size()));
    if (!refused.empty())
        Q_EMIT statusMessage(QStringLiteral("Took %1 from its track file: %2").arg(shown(name), refusedKeysText(name, refused)));
    return track;
}

void TrackerSession::mapDemoIndex(uint32_t index, int track)
{
    // An index announced again for another name now means that one.
    const auto old = trackOfIndex_.find(index);
    if (old != trackOfIndex_.end()) {
        auto& list = indicesOfTrack_[size_t(old->second)];
        list.erase(std::remove(list.begin(), list.end(), index), list.end());
    }
    trackOfIndex_[index] = track;
    if (indicesOfTrack_.size() <= size_t(track))
        indicesOfTrack_.resize(size_t(track) + 1);
    indicesOfTrack_[size_t(track)].push_back(index);
}

void TrackerSession::takeValueFromDemo(const DemoMessage& msg, bool firstOnly)
{
    const int32_t row = firstOnly ? 0 : row_;
    if (!std::isfinite(msg.value)) {
        // Never stored, so never sent back nor saved.
        Q_EMIT statusMessage(QStringLiteral("Refused %1 from the demo for %2 at row %3: not a number a key can hold")
                                 .arg(double(msg.value))
                                 .arg(shown(msg.name))
                                 .arg(row));
        return;
    }
    const int track = resolveTrack(msg.name);
    if (firstOnly && model_.keys(track).num_keys > 0)
        return;
    BatchBuilder b(model_);
    b.set(track, row, msg.value, firstOnly ? int32_t(KeyType::Step) : typeForNewKey(model_, track, row));
    EditBatch batch = b.finish(firstOnly ? QStringLiteral("First value of %1 from the demo").arg(shown(msg.name))
                                         : QStringLiteral("Values of %1 from the demo").arg(shown(msg.name)));
    if (!firstOnly) {
        batch.burstTrack = track;
        batch.madeAtMs = std::chrono::duration_cast<std::chrono::milliseconds>(
            std::chrono::steady_clock::now().time_since_epoch()).count();
    }
    submitBatch(std::move(batch));
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
    // A row sent before the demo had our pause: it stopped after it.
    if (pausedAt_.isValid() && pausedAt_.elapsed() < demo_quiet_ms)
        return;
    rowCameSinceConnect_ = true;
    // A demo that draws slowly sends its rows far apart: it counts as
    // stopped only after a few of its own gaps without one.
    const qint64 gap = lastRowAt_.isValid() && lastRowAt_.elapsed() < max_demo_quiet_ms ? lastRowAt_.elapsed() : 0;
    quietTimer_.setInterval(int(std::clamp<qint64>(3 * gap, demo_quiet_ms, max_demo_quiet_ms)));
    lastRowAt_.start();
    // A demo we did not start (another editor, or after a pause we did not
    // hear of) may be anywhere: its first row only says where.
    if (!playing_)
        loop_.forgetDemo();
    // The demo is playing and tells us its row; echoing it back would make
    // the demo seek its music every frame.
    setPlaying(true);
    quietTimer_.start();
    row = std::clamp(row, int32_t(0), max_row);
    switch (loop_.demoReported(row, clock_.elapsed())) {
    case RowLoop::Verdict::Stale:
        // Still from before our seek: the cursor stays where it was sent.
        return;
    case RowLoop::Verdict::Loop:
        row = loop_.first();
        server_.sendSetRow(row);
        break;
    case RowLoop::Verdict::Follow:
        break;
    }
    if (row == row_)
        return;
    row_ = row;
    Q_EMIT cursorMoved();
}

void TrackerSession::sendRow(int32_t row)
{
    server_.sendSetRow(row);
    if (playing_)
        loop_.seekDemo(row, clock_.elapsed());
    else
        loop_.placeDemo(row);
}

// ---- Looping ---------------------------------------------------------------

void TrackerSession::toggleLoop()
{
    if (loop_.isSet()) {
        clearLoop();
        return;
    }
    if (!hasSelection()) {
        Q_EMIT statusMessage(QStringLiteral("Select the rows to loop first (Shift + a move), then L"));
        return;
    }
    const Block s = selection();
    setLoop(s.firstRow, s.lastRow);
}

void TrackerSession::setLoop(int32_t first, int32_t last)
{
    loop_.set(std::clamp(first, int32_t(0), max_row), std::clamp(last, int32_t(0), max_row));
    Q_EMIT loopChanged();
    Q_EMIT statusMessage(QStringLiteral("Rows %1 to %2 loop while the demo plays (L stops)")
                             .arg(loop_.first())
                             .arg(loop_.last()));
}

void TrackerSession::clearLoop()
{
    if (!loop_.isSet())
        return;
    // The demo plays on from wherever it is.
    loop_.clear();
    Q_EMIT loopChanged();
    Q_EMIT statusMessage(QStringLiteral("No loop: the demo plays on"));
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
        mapDemoIndex(msg.index, track);
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
    case SyncCommand::SET_TRACK_VALUE:
        takeValueFromDemo(msg, false);
        break;
    case SyncCommand::SAVE_ALL:
        saveProject();
        break;
    case SyncCommand::FIND_SKENE_START:
        locateSkeneStart(msg.name);
        break;
    case SyncCommand::SET_FIRST_VALUE:
        takeValueFromDemo(msg, true);
        break;
    default:
        break;
    }
}

} // namespace tracker
