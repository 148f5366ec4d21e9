#include "tracker/lib/ProjectFile.h"

#include "tracker/lib/ColumnLayout.h"
#include "tracker/lib/displayText.h"

#include "platform/Files.h"
#include "sync/track_file.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QSignalBlocker>
#include <QStringList>
#include <QTextCodec>

#include <cfloat>
#include <cmath>

namespace tracker {

namespace {

const char format_key[] = "tarvonicSyncProject";
constexpr int format_version = 1;
const char* const type_names[] = {"step", "linear", "smooth", "ramp", "spline"};

bool validUtf8(const std::string& bytes)
{
    QTextCodec::ConverterState state;
    QTextCodec::codecForName("UTF-8")->toUnicode(bytes.data(), int(bytes.size()), &state);
    // A character cut off at the end is not counted as invalid but kept for
    // a next piece that never comes: as text it would be saved as U+FFFD.
    return state.invalidChars == 0 && state.remainingChars == 0;
}

bool typeFromJson(const QJsonValue& v, int32_t* type)
{
    if (v.isString())
        return interpolationFromName(v.toString(), type);
    if (!v.isDouble())
        return false;
    const double d = v.toDouble();
    if (d != std::floor(d) || d < -128 || d > 255)
        return false;
    *type = int32_t(d);
    return true;
}

// A whole number that fits a row.
bool rowFromJson(const QJsonValue& v, int32_t* row)
{
    const double d = v.toDouble(NAN);
    if (!(d == std::floor(d)) || d < double(INT32_MIN) || d > double(INT32_MAX))
        return false;
    *row = int32_t(d);
    return true;
}

// What was left out of one track.
struct TrackDamage {
    std::vector<int32_t> valueRows; // keys whose value is no finite float
    int badKeys = 0;                // keys that are not [row, value, type] at all
};

bool nameFromJson(const QJsonObject& o, std::string* name)
{
    if (o.contains(QLatin1String("nameBytes"))) {
        const QJsonValue bytes = o.value(QLatin1String("nameBytes"));
        if (!bytes.isString())
            return false;
        *name = QByteArray::fromBase64(bytes.toString().toLatin1()).toStdString();
        return true;
    }
    // An empty name is one a demo can ask for, and the project saves it:
    // it has to load again.
    if (!o.value(QLatin1String("name")).isString())
        return false;
    *name = o.value(QLatin1String("name")).toString().toStdString();
    return true;
}

// False when the track itself is unusable (no name, keys that are no list).
bool trackFromJson(const QJsonObject& o, std::string* name, std::vector<TrackKey>* keys, TrackDamage* damage)
{
    if (!nameFromJson(o, name))
        return false;
    const QJsonValue keysValue = o.value(QLatin1String("keys"));
    if (!keysValue.isArray() && !keysValue.isUndefined())
        return false;
    const QJsonArray list = keysValue.toArray();
    keys->clear();
    keys->reserve(size_t(list.size()));
    for (const QJsonValue& kv : list) {
        const QJsonArray k = kv.toArray();
        TrackKey key;
        if (k.size() != 3 || !rowFromJson(k.at(0), &key.row) || !typeFromJson(k.at(2), &key.type)) {
            ++damage->badKeys;
            continue;
        }
        // A double beyond a float's range would become inf.
        const double value = k.at(1).toDouble(NAN);
        if (!std::isfinite(value) || std::fabs(value) > double(FLT_MAX)) {
            damage->valueRows.push_back(key.row);
            continue;
        }
        key.value = float(value);
        keys->push_back(key);
    }
    return true;
}

LoadResult unreadable(const QString& path, const QString& why)
{
    LoadResult r;
    r.status = LoadResult::Unreadable;
    r.message = QStringLiteral("%1 is %2; starting an empty project, the file stays as it is until you save")
                    .arg(path, why);
    return r;
}

QString rowList(const std::vector<int32_t>& rows)
{
    QStringList out;
    for (size_t i = 0; i < rows.size() && i < 5; ++i)
        out << QString::number(rows[i]);
    if (rows.size() > 5)
        out << QStringLiteral("...");
    return out.join(QStringLiteral(", "));
}

} // namespace

QString interpolationName(int32_t type)
{
    if (type >= 0 && type < 5)
        return QLatin1String(type_names[type]);
    return QString::number(type);
}

bool interpolationFromName(const QString& text, int32_t* type)
{
    for (int32_t i = 0; i < 5; ++i) {
        if (text == QLatin1String(type_names[i])) {
            *type = i;
            return true;
        }
    }
    bool ok = false;
    const int n = text.toInt(&ok);
    if (!ok || n < -128 || n > 255)
        return false;
    *type = n;
    return true;
}

QString recoveryPathOf(const QString& projectPath)
{
    return projectPath + QStringLiteral(".recovery");
}

LoadResult loadProject(const QString& path, TrackerModel& model, ProjectView* view)
{
    // Views hear of the new content once, at the end, not per track.
    QSignalBlocker quiet(model);
    model.clear();
    ProjectView shown;
    LoadResult result;
    QFile file(path);
    if (!file.exists()) {
        result.status = LoadResult::Missing;
        result.message = QStringLiteral("New project: %1 is written on the first save").arg(path);
    } else if (!file.open(QIODevice::ReadOnly)) {
        result = unreadable(path, QStringLiteral("not readable (%1)").arg(file.errorString()));
    } else {
        result = [&]() -> LoadResult {
            const QByteArray bytes = file.readAll();
            if (bytes.trimmed().isEmpty())
                return unreadable(path, QStringLiteral("empty"));
            QJsonParseError error{};
            const QJsonDocument doc = QJsonDocument::fromJson(bytes, &error);
            if (doc.isNull())
                return unreadable(path, QStringLiteral("not a project file (%1 at byte %2)")
                                            .arg(error.errorString()).arg(error.offset));
            const QJsonObject root = doc.object();
            if (root.value(QLatin1String(format_key)).toInt(0) != format_version)
                return unreadable(path, QStringLiteral("not a project file of this editor"));

            // Whatever is damaged is left out and named; the rest loads.
            QStringList damage;
            int32_t rowsPerBeat = sync_default_rows_per_beat;
            if (root.contains(QLatin1String("rowsPerBeat"))) {
                rowsPerBeat = root.value(QLatin1String("rowsPerBeat")).toInt(0);
                if (rowsPerBeat < min_rows_per_beat || rowsPerBeat > max_rows_per_beat) {
                    damage << QStringLiteral("the rows per beat (now %1)").arg(sync_default_rows_per_beat);
                    rowsPerBeat = sync_default_rows_per_beat;
                }
            }
            std::set<int32_t> bookmarks;
            int badBookmarks = 0;
            for (const QJsonValue& b : root.value(QLatin1String("bookmarks")).toArray()) {
                int32_t row;
                if (rowFromJson(b, &row))
                    bookmarks.insert(row);
                else
                    ++badBookmarks;
            }
            if (badBookmarks > 0)
                damage << QStringLiteral("%1 bookmarks").arg(badBookmarks);

            std::string name;
            std::vector<TrackKey> keys;
            std::vector<int> fileTrack; // our index of each of the file's tracks, -1 when left out
            const QJsonArray tracks = root.value(QLatin1String("tracks")).toArray();
            for (int i = 0; i < tracks.size(); ++i) {
                const QJsonObject o = tracks.at(i).toObject();
                TrackDamage lost;
                if (!trackFromJson(o, &name, &keys, &lost)) {
                    damage << QStringLiteral("track %1 (damaged, left out)").arg(i + 1);
                    fileTrack.push_back(-1);
                    continue;
                }
                const QString shownName = displayName(name, 80);
                if (!lost.valueRows.empty())
                    damage << QStringLiteral("%1 keys of %2 that hold no number (rows %3)")
                                  .arg(lost.valueRows.size()).arg(shownName, rowList(lost.valueRows));
                if (lost.badKeys > 0)
                    damage << QStringLiteral("%1 damaged keys of %2").arg(lost.badKeys).arg(shownName);
                const int track = model.addTrack(name);
                fileTrack.push_back(track);
                model.replaceKeys(track, keys.data(), int(keys.size()));
                const int width = o.value(QLatin1String("width")).toInt(0);
                if (width > 0) {
                    shown.widths.resize(size_t(model.trackCount()), 0);
                    shown.widths[size_t(track)] = width;
                }
                if (o.value(QLatin1String("collapsed")).toBool(false))
                    shown.collapsedGroups.insert(ColumnLayout::groupPrefix(name));
            }
            const QJsonObject cursor = root.value(QLatin1String("cursor")).toObject();
            int32_t cursorRow = 0;
            if (rowFromJson(cursor.value(QLatin1String("row")), &cursorRow))
                shown.cursorRow = cursorRow;
            const int cursorTrack = cursor.value(QLatin1String("track")).toInt(-1);
            if (cursorTrack >= 0 && cursorTrack < int(fileTrack.size()))
                shown.cursorTrack = fileTrack[size_t(cursorTrack)];

            model.setRowsPerBeat(rowsPerBeat);
            model.setBookmarks(std::move(bookmarks));
            if (damage.isEmpty())
                return LoadResult{LoadResult::Loaded, QString()};
            LoadResult r;
            r.status = LoadResult::Damaged;
            r.message = QStringLiteral("%1 is damaged: left out %2; the rest is loaded, and the first save keeps "
                                       "the file as it was in %1.bak")
                            .arg(path, damage.join(QStringLiteral("; ")));
            return r;
        }();
    }
    if (result.status == LoadResult::Missing || result.status == LoadResult::Unreadable) {
        model.clear();
        shown = ProjectView();
    }
    if (view)
        *view = std::move(shown);
    model.setDirty(false);
    quiet.unblock();
    model.announceReset();
    return result;
}

QByteArray projectBytes(const TrackerModel& model, const ProjectView* view)
{
    QJsonArray tracks;
    for (int t = 0; t < model.trackCount(); ++t) {
        QJsonObject track;
        const std::string& name = model.trackName(t);
        if (validUtf8(name))
            track.insert(QLatin1String("name"), QString::fromStdString(name));
        else
            track.insert(QLatin1String("nameBytes"),
                         QString::fromLatin1(QByteArray::fromStdString(name).toBase64()));
        if (view && size_t(t) < view->widths.size() && view->widths[size_t(t)] > 0)
            track.insert(QLatin1String("width"), view->widths[size_t(t)]);
        if (view && view->collapsedGroups.count(ColumnLayout::groupPrefix(name)))
            track.insert(QLatin1String("collapsed"), true);
        QJsonArray keys;
        const SyncTrack& st = model.keys(t);
        for (int i = 0; i < st.num_keys; ++i) {
            const TrackKey& k = st.keys[i];
            QJsonArray key;
            key.append(k.row);
            key.append(double(k.value));
            key.append(k.type >= 0 && k.type < 5 ? QJsonValue(interpolationName(k.type)) : QJsonValue(k.type));
            keys.append(key);
        }
        track.insert(QLatin1String("keys"), keys);
        tracks.append(track);
    }
    QJsonArray bookmarks;
    for (int32_t row : model.bookmarks())
        bookmarks.append(row);
    QJsonObject root;
    root.insert(QLatin1String(format_key), format_version);
    root.insert(QLatin1String("rowsPerBeat"), model.rowsPerBeat());
    root.insert(QLatin1String("bookmarks"), bookmarks);
    if (view) {
        QJsonObject cursor;
        cursor.insert(QLatin1String("row"), view->cursorRow);
        if (view->cursorTrack >= 0)
            cursor.insert(QLatin1String("track"), view->cursorTrack);
        root.insert(QLatin1String("cursor"), cursor);
    }
    root.insert(QLatin1String("tracks"), tracks);
    return QJsonDocument(root).toJson(QJsonDocument::Indented);
}

bool saveProject(const QString& path, const TrackerModel& model, QString* error, const ProjectView* view)
{
    const QByteArray bytes = projectBytes(model, view);
    const QString dir = QFileInfo(path).absolutePath();
    if (!QDir().mkpath(dir)) {
        *error = QStringLiteral("cannot create the folder %1").arg(dir);
        return false;
    }
    if (!platform::writeFileAtomically(QFile::encodeName(path).toStdString(), bytes.toStdString())) {
        *error = QStringLiteral("cannot write %1").arg(path);
        return false;
    }
    return true;
}

bool readTrackFile(const QString& dir, const std::string& name, std::vector<TrackKey>* keys,
                   std::vector<int32_t>* refusedRows)
{
    std::string relative;
    if (track_file_path("sync", name.c_str(), &relative) != 0 || name.find('\0') != std::string::npos)
        return false;
    const std::string path = QFile::encodeName(dir).toStdString() + "/" + relative;
    SyncTrack track{};
    const bool read = read_track_file_at(&track, path.c_str()) == 0;
    if (read) {
        keys->clear();
        for (int i = 0; i < track.num_keys; ++i) {
            if (std::isfinite(track.keys[i].value))
                keys->push_back(track.keys[i]);
            else if (refusedRows)
                refusedRows->push_back(track.keys[i].row);
        }
    }
    clear_keys(&track);
    return read;
}

std::vector<std::string> listTrackFiles(const QString& dir)
{
    std::vector<std::string> names;
    const QDir sync(dir + QStringLiteral("/sync"));
    const QStringList files = sync.entryList({QStringLiteral("sync_*.track")}, QDir::Files, QDir::Name);
    for (const QString& file : files) {
        const QByteArray bytes = QFile::encodeName(file);
        // "sync_" + name + ".track", with a name of at least one byte
        if (bytes.size() > 11)
            names.push_back(bytes.mid(5, bytes.size() - 11).toStdString());
    }
    return names;
}

} // namespace tracker
