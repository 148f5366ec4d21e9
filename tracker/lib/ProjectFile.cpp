#include "tracker/lib/ProjectFile.h"

#include "platform/Files.h"
#include "sync/track_file.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QSignalBlocker>
#include <QTextCodec>

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
    if (v.isString()) {
        for (int32_t i = 0; i < 5; ++i) {
            if (v.toString() == QLatin1String(type_names[i])) {
                *type = i;
                return true;
            }
        }
        return false;
    }
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

bool trackFromJson(const QJsonObject& o, std::string* name, std::vector<TrackKey>* keys)
{
    if (o.contains(QLatin1String("nameBytes")))
        *name = QByteArray::fromBase64(o.value(QLatin1String("nameBytes")).toString().toLatin1()).toStdString();
    else if (o.value(QLatin1String("name")).isString())
        *name = o.value(QLatin1String("name")).toString().toStdString();
    else
        return false;
    // An empty name is one a demo can ask for, and the project saves it:
    // it has to load again.
    const QJsonValue keysValue = o.value(QLatin1String("keys"));
    if (!keysValue.isArray() && !keysValue.isUndefined())
        return false;
    const QJsonArray list = keysValue.toArray();
    keys->clear();
    keys->reserve(size_t(list.size()));
    for (const QJsonValue& kv : list) {
        const QJsonArray k = kv.toArray();
        TrackKey key;
        const double value = k.at(1).toDouble(NAN);
        if (k.size() != 3 || !rowFromJson(k.at(0), &key.row) || !std::isfinite(value)
            || !typeFromJson(k.at(2), &key.type))
            return false;
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

} // namespace

QString interpolationName(int32_t type)
{
    if (type >= 0 && type < 5)
        return QLatin1String(type_names[type]);
    return QString::number(type);
}

LoadResult loadProject(const QString& path, TrackerModel& model)
{
    // Views hear of the new content once, at the end, not per track.
    QSignalBlocker quiet(model);
    model.clear();
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

            int32_t rowsPerBeat = sync_default_rows_per_beat;
            if (root.contains(QLatin1String("rowsPerBeat")))
                rowsPerBeat = root.value(QLatin1String("rowsPerBeat")).toInt(0);
            if (rowsPerBeat < min_rows_per_beat || rowsPerBeat > max_rows_per_beat)
                return unreadable(path, QStringLiteral("damaged (rows per beat)"));
            std::set<int32_t> bookmarks;
            for (const QJsonValue& b : root.value(QLatin1String("bookmarks")).toArray()) {
                int32_t row;
                if (!rowFromJson(b, &row))
                    return unreadable(path, QStringLiteral("damaged (bookmarks)"));
                bookmarks.insert(row);
            }
            std::string name;
            std::vector<TrackKey> keys;
            const QJsonArray tracks = root.value(QLatin1String("tracks")).toArray();
            for (int i = 0; i < tracks.size(); ++i) {
                if (!trackFromJson(tracks.at(i).toObject(), &name, &keys)) {
                    model.clear();
                    return unreadable(path, QStringLiteral("damaged (track %1)").arg(i + 1));
                }
                model.replaceKeys(model.addTrack(name), keys.data(), int(keys.size()));
            }
            model.setRowsPerBeat(rowsPerBeat);
            model.setBookmarks(std::move(bookmarks));
            return LoadResult{LoadResult::Loaded, QString()};
        }();
    }
    if (result.status != LoadResult::Loaded)
        model.clear();
    model.setDirty(false);
    quiet.unblock();
    model.announceReset();
    return result;
}

bool saveProject(const QString& path, const TrackerModel& model, QString* error)
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
    root.insert(QLatin1String("tracks"), tracks);

    const QByteArray bytes = QJsonDocument(root).toJson(QJsonDocument::Indented);
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

bool readTrackFile(const QString& dir, const std::string& name, std::vector<TrackKey>* keys)
{
    std::string relative;
    if (track_file_path("sync", name.c_str(), &relative) != 0 || name.find('\0') != std::string::npos)
        return false;
    const std::string path = QFile::encodeName(dir).toStdString() + "/" + relative;
    SyncTrack track{};
    const bool read = read_track_file_at(&track, path.c_str()) == 0;
    if (read)
        keys->assign(track.keys, track.keys + track.num_keys);
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
