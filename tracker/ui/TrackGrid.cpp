#include "tracker/ui/TrackGrid.h"

#include "tracker/lib/displayText.h"

#include <QFontDatabase>
#include <QKeyEvent>
#include <QPainter>
#include <QScrollBar>
#include <QTimer>

#include <algorithm>

namespace tracker {

namespace {

constexpr int track_chars = 11;   // a column holds a value this long
constexpr int collapsed_chars = 4;

const QColor background(0x1e, 0x1f, 0x22);
const QColor beatRow(0x27, 0x29, 0x2d);
const QColor barRow(0x30, 0x33, 0x38);
const QColor cursorRow(0x3a, 0x3f, 0x4b);
const QColor playingRow(0x2c, 0x4d, 0x32);
const QColor cursorFrame(0xe0, 0xb0, 0x40);
const QColor selectionFill(0x3f, 0x5a, 0x80, 150);
const QColor text(0xd8, 0xd8, 0xd8);
const QColor dim(0x5a, 0x5e, 0x66);
const QColor headerFill(0x2a, 0x2c, 0x31);
const QColor bookmark(0x50, 0xa0, 0xe0);

// One colour per interpolation: step, linear, smooth, ramp, spline.
QColor typeColour(int32_t type)
{
    static const QColor colours[] = {QColor(0x8a, 0x8f, 0x98), QColor(0xe0, 0x6c, 0x5a),
                                     QColor(0x6c, 0xc0, 0x70), QColor(0x5a, 0x9e, 0xe0),
                                     QColor(0xe0, 0xc0, 0x50)};
    return type >= 0 && type < 5 ? colours[type] : QColor(0xff, 0x00, 0xff);
}

bool isValueChar(const QString& t)
{
    return t.size() == 1 && (t[0].isDigit() || t[0] == QLatin1Char('.') || t[0] == QLatin1Char('-'));
}

} // namespace

TrackGrid::TrackGrid(TrackerSession& session, QWidget* parent)
    : QAbstractScrollArea(parent)
    , session_(session)
{
    QFont f = QFontDatabase::systemFont(QFontDatabase::FixedFont);
    setFont(f);
    const QFontMetrics fm(f);
    rowHeight_ = fm.height() + 2;
    headerHeight_ = 2 * rowHeight_ + 4;
    charWidth_ = std::max(1, fm.horizontalAdvance(QLatin1Char('0')));
    setFocusPolicy(Qt::StrongFocus);
    viewport()->setAutoFillBackground(false);
    viewport()->setAttribute(Qt::WA_OpaquePaintEvent);
    horizontalScrollBar()->setSingleStep(1);
    verticalScrollBar()->setSingleStep(1);

    // Many key changes arrive in one edit; the ranges follow once.
    auto* later = new QTimer(this);
    later->setSingleShot(true);
    later->setInterval(0);
    connect(later, &QTimer::timeout, this, &TrackGrid::updateScrollRanges);
    auto changed = [this, later] {
        later->start();
        viewport()->update();
    };
    connect(&session_.model(), &TrackerModel::keyChanged, this, changed);
    connect(&session_.model(), &TrackerModel::bookmarksChanged, this, changed);
    connect(&session_.model(), &TrackerModel::rowsPerBeatChanged, this, changed);
    connect(&session_, &TrackerSession::layoutChanged, this, changed);
    connect(&session_, &TrackerSession::playingChanged, this, changed);
    connect(&session_, &TrackerSession::cursorMoved, this, [this] {
        updateScrollRanges();
        ensureCursorVisible();
        viewport()->update();
    });
    updateScrollRanges();
}

int TrackGrid::gutterWidth() const
{
    return 8 * charWidth_;
}

int TrackGrid::columnWidth(int column) const
{
    const bool collapsed = session_.layout().at(column).track < 0;
    return (collapsed ? collapsed_chars : track_chars) * charWidth_ + 8;
}

int TrackGrid::visibleRows() const
{
    return std::max(1, (viewport()->height() - headerHeight_) / rowHeight_);
}

int TrackGrid::visibleColumnsFrom(int first) const
{
    int x = gutterWidth();
    int n = 0;
    for (int c = first; c < session_.layout().count(); ++c) {
        x += columnWidth(c);
        if (x > viewport()->width() && n > 0)
            break;
        ++n;
    }
    return n;
}

void TrackGrid::updateScrollRanges()
{
    const int rows = visibleRows();
    verticalScrollBar()->setPageStep(rows);
    verticalScrollBar()->setRange(0, std::max(0, int(session_.rowCount()) - rows));
    const int columns = session_.layout().count();
    // The last columns must be reachable although they are narrower than
    // the window: scroll as far as leaves the last one in view.
    int first = columns - 1;
    while (first > 0 && visibleColumnsFrom(first - 1) >= columns - (first - 1))
        --first;
    horizontalScrollBar()->setPageStep(std::max(1, visibleColumnsFrom(horizontalScrollBar()->value())));
    horizontalScrollBar()->setRange(0, std::max(0, first));
}

void TrackGrid::ensureCursorVisible()
{
    const int rows = visibleRows();
    const int32_t row = session_.row();
    QScrollBar* v = verticalScrollBar();
    if (session_.isPlaying())
        v->setValue(int(row) - rows / 2);
    else if (row < v->value())
        v->setValue(int(row));
    else if (row >= v->value() + rows)
        v->setValue(int(row) - rows + 1);

    QScrollBar* h = horizontalScrollBar();
    const int column = session_.column();
    if (column < h->value()) {
        h->setValue(column);
    } else {
        int first = h->value();
        while (first < column && visibleColumnsFrom(first) <= column - first)
            ++first;
        h->setValue(first);
    }
}

void TrackGrid::resizeEvent(QResizeEvent*)
{
    updateScrollRanges();
}

void TrackGrid::scrollContentsBy(int, int)
{
    viewport()->update();
    Q_EMIT viewMoved();
}

void TrackGrid::focusOutEvent(QFocusEvent* event)
{
    commitTyped();
    QAbstractScrollArea::focusOutEvent(event);
}

bool TrackGrid::commitTyped()
{
    if (typed_.isEmpty())
        return false;
    bool ok = false;
    const float value = typed_.toFloat(&ok);
    typed_.clear();
    viewport()->update();
    if (!ok || !session_.setValue(value)) {
        Q_EMIT session_.statusMessage(QStringLiteral("Not a value for a key here"));
        return false;
    }
    return true;
}

void TrackGrid::keyPressEvent(QKeyEvent* event)
{
    const Qt::KeyboardModifiers mods = event->modifiers() & ~Qt::KeypadModifier;
    const bool shift = mods & Qt::ShiftModifier;
    if (!(mods & (Qt::ControlModifier | Qt::AltModifier)) && isValueChar(event->text())) {
        typed_ += event->text();
        viewport()->update();
        return;
    }
    if (!typed_.isEmpty()) {
        switch (event->key()) {
        case Qt::Key_Backspace:
            typed_.chop(1);
            viewport()->update();
            return;
        case Qt::Key_Escape:
            typed_.clear();
            viewport()->update();
            return;
        case Qt::Key_Return:
        case Qt::Key_Enter:
            commitTyped();
            return;
        default:
            commitTyped(); // moving away keeps what was typed
            break;
        }
    }
    const int bar = session_.model().rowsPerBeat() * 4;
    const int lastColumn = std::max(0, session_.layout().count() - 1);
    switch (event->key()) {
    case Qt::Key_Up:
        session_.moveCursor(-1, 0, shift);
        break;
    case Qt::Key_Down:
        session_.moveCursor(1, 0, shift);
        break;
    case Qt::Key_PageUp:
        session_.moveCursor(-bar, 0, shift);
        break;
    case Qt::Key_PageDown:
        session_.moveCursor(bar, 0, shift);
        break;
    case Qt::Key_Left:
    case Qt::Key_Backtab:
        session_.moveCursor(0, -1, shift && event->key() == Qt::Key_Left);
        break;
    case Qt::Key_Right:
    case Qt::Key_Tab:
        session_.moveCursor(0, 1, shift);
        break;
    case Qt::Key_Home:
        if (mods & Qt::ControlModifier)
            session_.setCursor(session_.row(), 0, shift);
        else
            session_.setCursor(0, session_.column(), shift);
        break;
    case Qt::Key_End:
        if (mods & Qt::ControlModifier)
            session_.setCursor(session_.row(), lastColumn, shift);
        else
            session_.setCursor(session_.rowCount() - 1, session_.column(), shift);
        break;
    case Qt::Key_Escape:
        session_.clearSelection();
        break;
    default:
        QAbstractScrollArea::keyPressEvent(event);
        return;
    }
    event->accept();
}

void TrackGrid::paintEvent(QPaintEvent*)
{
    QPainter p(viewport());
    p.setFont(font());
    const int w = viewport()->width();
    const int h = viewport()->height();
    p.fillRect(0, 0, w, h, background);

    const TrackerModel& model = session_.model();
    const ColumnLayout& layout = session_.layout();
    const int32_t top = topRow();
    const int rows = visibleRows() + 1;
    const int32_t bottom = int32_t(std::min<int64_t>(int64_t(top) + rows - 1, max_row));
    const int rpb = model.rowsPerBeat();
    const int gutter = gutterWidth();
    const int firstColumn = horizontalScrollBar()->value();
    const TrackerSession::Block sel = session_.selection();
    const bool selecting = session_.hasSelection();
    auto rowY = [&](int32_t r) { return headerHeight_ + int(r - top) * rowHeight_; };

    // Row bands: beats, bars and the cursor's row.
    for (int32_t r = top; r <= bottom; ++r) {
        QColor band;
        if (r == session_.row())
            band = session_.isPlaying() ? playingRow : cursorRow;
        else if (r % (rpb * 4) == 0)
            band = barRow;
        else if (r % rpb == 0)
            band = beatRow;
        else
            continue;
        p.fillRect(0, rowY(r), w, rowHeight_, band);
    }

    // Gutter: row numbers and bookmarks.
    const auto& marks = model.bookmarks();
    for (int32_t r = top; r <= bottom; ++r) {
        const int y = rowY(r);
        if (marks.count(r))
            p.fillRect(0, y + 1, 4, rowHeight_ - 2, bookmark);
        p.setPen(r % rpb == 0 ? text : dim);
        p.drawText(QRect(6, y, gutter - 10, rowHeight_), Qt::AlignRight | Qt::AlignVCenter,
                   QString::number(r));
    }

    // Columns.
    const int ascent = QFontMetrics(font()).ascent();
    int x = gutter;
    for (int c = firstColumn; c < layout.count() && x < w; ++c) {
        const int cw = columnWidth(c);
        const Column col = layout.at(c);
        if (selecting && c >= sel.firstColumn && c <= sel.lastColumn) {
            const int32_t r0 = std::max(sel.firstRow, top);
            const int32_t r1 = std::min(sel.lastRow, bottom);
            if (r0 <= r1)
                p.fillRect(x, rowY(r0), cw, int(r1 - r0 + 1) * rowHeight_, selectionFill);
        }
        p.fillRect(x + cw - 1, headerHeight_, 1, h - headerHeight_, headerFill);
        if (col.track >= 0) {
            const SyncTrack& t = model.keys(col.track);
            int i = key_index_floor(&t, top);
            for (int32_t r = top; r <= bottom; ++r) {
                while (i + 1 < t.num_keys && t.keys[i + 1].row <= r)
                    ++i;
                const int y = rowY(r);
                if (i >= 0 && t.keys[i].row == r) {
                    const TrackKey& k = t.keys[i];
                    p.fillRect(x + 1, y + 1, 3, rowHeight_ - 2, typeColour(k.type));
                    p.setPen(text);
                    p.drawText(x + 7, y + 1 + ascent, QString::number(double(k.value), 'g', 6));
                } else {
                    if (i >= 0 && i + 1 < t.num_keys && t.keys[i].type != int32_t(KeyType::Step))
                        p.fillRect(x + 2, y, 1, rowHeight_, typeColour(t.keys[i].type));
                    p.fillRect(x + 7, y + rowHeight_ / 2, 3 * charWidth_, 1, dim);
                }
            }
        }
        if (c == session_.column() && session_.row() >= top && session_.row() <= bottom) {
            const int y = rowY(session_.row());
            if (!typed_.isEmpty()) {
                p.fillRect(x, y, cw - 1, rowHeight_, QColor(0x10, 0x10, 0x10));
                p.setPen(cursorFrame);
                p.drawText(x + 7, y + 1 + ascent, typed_ + QLatin1Char('_'));
            }
            p.setPen(cursorFrame);
            p.drawRect(x, y, cw - 2, rowHeight_ - 1);
        }
        x += cw;
    }

    // Header: group names over track names; a collapsed group shows "+".
    p.fillRect(0, 0, w, headerHeight_, headerFill);
    p.setPen(dim);
    p.drawText(QRect(4, 0, gutter - 8, headerHeight_), Qt::AlignLeft | Qt::AlignVCenter,
               session_.isPlaying() ? QStringLiteral("play") : QStringLiteral("row"));
    x = gutter;
    int previousGroup = -1;
    for (int c = firstColumn; c < layout.count() && x < w; ++c) {
        const int cw = columnWidth(c);
        const Column col = layout.at(c);
        const std::string& group = layout.groupName(col.group);
        if (col.group != previousGroup) {
            // The group's name runs over all of its columns in view.
            int span = 0;
            for (int k = c; k < layout.count() && layout.at(k).group == col.group && x + span < w; ++k)
                span += columnWidth(k);
            p.fillRect(x + 1, 2, span - 3, 1, bookmark);
            p.setPen(text);
            const QString name = (col.track < 0 ? QStringLiteral("+") : QString()) + displayName(group);
            p.drawText(QRect(x + 4, 3, span - 8, rowHeight_), Qt::AlignLeft | Qt::AlignVCenter,
                       QFontMetrics(font()).elidedText(name, Qt::ElideRight, span - 8));
        }
        previousGroup = col.group;
        if (col.track >= 0) {
            const std::string& name = model.trackName(col.track);
            const std::string leaf = group.empty() ? name : name.substr(group.size() + 1);
            p.setPen(c == session_.column() ? cursorFrame : text);
            p.drawText(QRect(x + 4, rowHeight_ + 3, cw - 8, rowHeight_), Qt::AlignLeft | Qt::AlignVCenter,
                       QFontMetrics(font()).elidedText(displayName(leaf), Qt::ElideRight, cw - 8));
        }
        x += cw;
    }
}

} // namespace tracker
