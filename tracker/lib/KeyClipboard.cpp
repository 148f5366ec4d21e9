#include "tracker/lib/KeyClipboard.h"

#include "tracker/lib/ProjectFile.h"
#include "tracker/lib/displayText.h"

#include <QStringList>
#include <QVector>

#include <cfloat>
#include <cmath>

namespace tracker {

namespace {

const QString heading = QStringLiteral("sync-keys");

bool wholeNumber(const QString& text, int64_t lo, int64_t hi, int64_t* out)
{
    bool ok = false;
    const qlonglong v = text.trimmed().toLongLong(&ok);
    if (!ok || v < lo || v > hi)
        return false;
    *out = v;
    return true;
}

// "2 tracks" -> 2
bool counted(const QString& field, const QString& unit, int64_t hi, int64_t* out)
{
    const QStringList parts = field.trimmed().split(QLatin1Char(' '), Qt::SkipEmptyParts);
    return parts.size() == 2 && parts[1] == unit && wholeNumber(parts[0], 1, hi, out);
}

} // namespace

ValueText parseKeyValue(const QString& text, float* value)
{
    bool ok = false;
    const double d = text.trimmed().toDouble(&ok);
    if (!ok && !std::isinf(d))
        return ValueText::NotANumber;
    // A float keeps what a double beyond its range would turn into: inf.
    if (!std::isfinite(d) || std::fabs(d) > double(FLT_MAX))
        return ValueText::NotFinite;
    *value = float(d);
    return ValueText::Number;
}

QString keyValueText(float value)
{
    return QString::number(double(value), 'g', 9);
}

QString keyBlockText(const KeyBlock& block)
{
    QString out = QStringLiteral("%1\t%2 tracks\t%3 rows\nrow\ttrack\tvalue\tinterpolation\tname\n")
                      .arg(heading)
                      .arg(block.tracks)
                      .arg(block.rows);
    for (const BlockKey& k : block.keys) {
        const QString name = k.track < int(block.names.size()) ? displayName(block.names[size_t(k.track)], 200)
                                                               : QString();
        out += QStringLiteral("%1\t%2\t%3\t%4\t%5\n")
                   .arg(k.row)
                   .arg(k.track)
                   .arg(keyValueText(k.value), interpolationName(k.type), name);
    }
    return out;
}

bool parseKeyBlock(const QString& text, int32_t maxRows, KeyBlock* block, std::vector<RefusedKey>* refused,
                   QString* why)
{
    const QVector<QStringRef> lines = text.splitRef(QLatin1Char('\n'));
    const QStringList head = lines.value(0).toString().split(QLatin1Char('\t'));
    int64_t tracks = 0, rows = 0;
    if (head.size() != 3 || head[0].trimmed() != heading || !counted(head[1], QStringLiteral("tracks"), max_block_tracks, &tracks)
        || !counted(head[2], QStringLiteral("rows"), int64_t(maxRows), &rows)) {
        *why = QStringLiteral("the clipboard holds no keys");
        return false;
    }
    block->tracks = int(tracks);
    block->rows = int32_t(rows);
    block->keys.clear();
    block->names.clear();
    refused->clear();
    for (int i = 1; i < lines.size(); ++i) {
        const QString line = lines[i].toString().remove(QLatin1Char('\r'));
        if (line.trimmed().isEmpty() || (i == 1 && line.startsWith(QLatin1String("row\t"))))
            continue;
        const QStringList f = line.split(QLatin1Char('\t'));
        int64_t row = 0, track = 0;
        int32_t type = 0;
        if (f.size() < 4 || !wholeNumber(f[0], 0, rows - 1, &row) || !wholeNumber(f[1], 0, tracks - 1, &track)
            || !interpolationFromName(f[3].trimmed(), &type)) {
            *why = QStringLiteral("line %1 of the clipboard is not a key of its block").arg(i + 1);
            return false;
        }
        float value = 0.0f;
        switch (parseKeyValue(f[2], &value)) {
        case ValueText::Number:
            block->keys.push_back({int(track), int32_t(row), value, type});
            break;
        case ValueText::NotFinite:
            refused->push_back({int(track), int32_t(row), f[2].trimmed()});
            break;
        case ValueText::NotANumber:
            *why = QStringLiteral("line %1 of the clipboard holds no number").arg(i + 1);
            return false;
        }
    }
    return true;
}

} // namespace tracker
