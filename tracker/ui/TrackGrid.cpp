#include "tracker/ui/TrackGrid.h"

#include "tracker/lib/displayText.h"

#include <QFontDatabase>
#include <QHelpEvent>
#include <QImage>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QPainter>
#include <QScrollBar>
#include <QTimer>
#include <QToolTip>
#include <QWheelEvent>

#include <algorithm>
#include <cmath>

namespace tracker {

namespace {

constexpr int min_point_size = 6;
constexpr int max_point_size = 28;
constexpr int edge_grip = 3;      // pixels either side of a column's edge that resize it
constexpr int wave_chars = 10;    // the waveform's width
constexpr int spectrum_chars = 8; // the spectrum strip's width

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
const QColor loopMark(0xe0, 0x70, 0xd0);
const QColor musicFill(0x17, 0x18, 0x1b);
const QColor wave(0x4f, 0xb8, 0xc8);
const QColor beatLine(0x3a, 0x3d, 0x44);
const QColor barLine(0x5a, 0x5e, 0x66);

// One colour per interpolation: step, linear, smooth, ramp, spline.
QColor typeColour(int32_t type)
{
    static const QColor colours[] = {QColor(0x8a, 0x8f, 0x98), QColor(0xe0, 0x6c, 0x5a),
                                     QColor(0x6c, 0xc0, 0x70), QColor(0x5a, 0x9e, 0xe0),
                                     QColor(0xe0, 0xc0, 0x50)};
    return type >= 0 && type < 5 ? colours[type] : QColor(0xff, 0x00, 0xff);
}

// Spectrum levels from dark blue through orange to white.
const QRgb* spectrumPalette()
{
    static QRgb palette[256];
    static const bool made = [] {
        for (int i = 0; i < 256; ++i) {
            const double v = i / 255.0;
            const int r = int(std::clamp(255.0 * (1.6 * v - 0.3), 0.0, 255.0));
            const int g = int(std::clamp(255.0 * (1.5 * v * v), 0.0, 255.0));
            const int b = int(std::clamp(255.0 * (0.35 + 0.6 * v - 0.9 * v * v) + 255.0 * v * v * v, 0.0, 255.0));
            palette[i] = qRgb(std::max(r, 0x17), std::max(g, 0x18), std::max(b, 0x1b));
        }
        return true;
    }();
    (void)made;
    return palette;
}

// The demo's row clock, whatever the grid's rows per beat shade.
double demoRowRate()
{
    return sync_row_rate(sync_default_bpm, sync_default_rows_per_beat);
}

// Characters that make up a number being typed; the exponent's only once
// a number has begun.
bool isValueChar(const QString& t, bool typing)
{
    if (t.size() != 1)
        return false;
    const QChar c = t[0];
    if (c.isDigit() || c == QLatin1Char('.') || c == QLatin1Char('-'))
        return true;
    return typing && (c == QLatin1Char('e') || c == QLatin1Char('E') || c == QLatin1Char('+'));
}

} // namespace

TrackGrid::TrackGrid(TrackerSession& session, QWidget* parent)
    : QAbstractScrollArea(parent)
    , session_(session)
{
    QFont f = QFontDatabase::systemFont(QFontDatabase::FixedFont);
    basePointSize_ = f.pointSize() > 0 ? f.pointSize() : 10;
    setFont(f);
    updateMetrics();
    setFocusPolicy(Qt::StrongFocus);
    viewport()->setAutoFillBackground(false);
    viewport()->setAttribute(Qt::WA_OpaquePaintEvent);
    viewport()->setMouseTracking(true);
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
    connect(&session_.model(), &TrackerModel::keysReplaced, this, changed);
    connect(&session_.model(), &TrackerModel::bookmarksChanged, this, changed);
    connect(&session_.model(), &TrackerModel::rowsPerBeatChanged, this, changed);
    connect(&session_, &TrackerSession::layoutChanged, this, changed);
    connect(&session_, &TrackerSession::playingChanged, this, changed);
    connect(&session_, &TrackerSession::loopChanged, this, [this] { viewport()->update(); });
    connect(&session_, &TrackerSession::cursorMoved, this, [this] {
        updateScrollRanges();
        ensureCursorVisible();
        viewport()->update();
    });
    updateScrollRanges();
}

void TrackGrid::updateMetrics()
{
    const QFontMetrics fm(font());
    rowHeight_ = fm.height() + 2;
    headerHeight_ = 2 * rowHeight_ + 4;
    charWidth_ = std::max(1, fm.horizontalAdvance(QLatin1Char('0')));
}

void TrackGrid::zoom(int steps)
{
    QFont f = font();
    const int size = std::clamp(f.pointSize() + steps, min_point_size, max_point_size);
    if (size == f.pointSize())
        return;
    // Keep the row at the top of the view where it is.
    const int top = verticalScrollBar()->value();
    f.setPointSize(size);
    setFont(f);
    updateMetrics();
    updateScrollRanges();
    verticalScrollBar()->setValue(top);
    viewport()->update();
    Q_EMIT viewMoved();
}

void TrackGrid::resetZoom()
{
    zoom(basePointSize_ - font().pointSize());
}

int TrackGrid::musicWidth() const
{
    if (!music_ || musicView_ == MusicView::Hidden)
        return 0;
    return (wave_chars + (musicView_ == MusicView::WaveformAndSpectrum ? spectrum_chars : 0)) * charWidth_;
}

QRect TrackGrid::musicRect() const
{
    const int w = musicWidth();
    if (w == 0)
        return QRect();
    return QRect(rowNumberWidth(), headerHeight_, w, std::max(0, viewport()->height() - headerHeight_));
}

double TrackGrid::secondsAtY(int y) const
{
    const double row = topRow() + double(y - headerHeight_) / rowHeight_;
    return row / demoRowRate();
}

void TrackGrid::setMusic(std::shared_ptr<const MusicOverview> music)
{
    music_ = std::move(music);
    updateScrollRanges();
    viewport()->update();
}

void TrackGrid::setMusicView(MusicView view)
{
    musicView_ = view;
    updateScrollRanges();
    viewport()->update();
}

void TrackGrid::cycleMusicView()
{
    switch (musicView_) {
    case MusicView::Hidden: setMusicView(MusicView::Waveform); break;
    case MusicView::Waveform: setMusicView(MusicView::WaveformAndSpectrum); break;
    case MusicView::WaveformAndSpectrum: setMusicView(MusicView::Hidden); break;
    }
}

int TrackGrid::columnWidth(int column) const
{
    return session_.columnChars(column) * charWidth_ + 8;
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

void TrackGrid::revealCursor()
{
    updateScrollRanges();
    ensureCursorVisible();
}

TrackGrid::Hit TrackGrid::hitAt(QPoint p) const
{
    Hit hit;
    const ColumnLayout& layout = session_.layout();
    int x = gutterWidth();
    int column = -1;
    bool edge = false;
    for (int c = horizontalScrollBar()->value(); c < layout.count() && x < viewport()->width(); ++c) {
        const int cw = columnWidth(c);
        if (p.y() < headerHeight_ && layout.at(c).track >= 0 && std::abs(p.x() - (x + cw)) <= edge_grip) {
            column = c;
            edge = true;
            break;
        }
        if (p.x() >= x && p.x() < x + cw) {
            column = c;
            break;
        }
        x += cw;
    }
    if (p.y() < headerHeight_) {
        if (column >= 0) {
            hit.part = edge ? Hit::HeaderEdge : Hit::Header;
            hit.column = column;
            hit.groupRow = p.y() < rowHeight_ + 3;
        }
        return hit;
    }
    hit.row = int32_t(std::min<int64_t>(int64_t(topRow()) + (p.y() - headerHeight_) / rowHeight_, max_row));
    if (p.x() < gutterWidth()) {
        hit.part = Hit::Gutter;
    } else if (column >= 0) {
        hit.part = Hit::Cell;
        hit.column = column;
    }
    return hit;
}

QRect TrackGrid::cellRect(int32_t row, int column) const
{
    const int first = horizontalScrollBar()->value();
    if (column < first || row < topRow() || row > topRow() + visibleRows())
        return QRect();
    int x = gutterWidth();
    for (int c = first; c < column; ++c)
        x += columnWidth(c);
    if (x >= viewport()->width())
        return QRect();
    return QRect(x, headerHeight_ + int(row - topRow()) * rowHeight_, columnWidth(column), rowHeight_);
}

QString TrackGrid::toolTipAt(QPoint p) const
{
    const Hit hit = hitAt(p);
    if (hit.part != Hit::Header && hit.part != Hit::HeaderEdge && hit.part != Hit::Cell)
        return QString();
    const ColumnLayout& layout = session_.layout();
    const Column col = layout.at(hit.column);
    if (col.track < 0)
        return QStringLiteral("%1 (collapsed: G opens it)").arg(displayName(layout.groupName(col.group), 400));
    QString tip = displayName(session_.model().trackName(col.track), 400);
    if (hit.part == Hit::Cell) {
        if (const TrackKey* k = session_.model().keyAt(col.track, hit.row))
            tip += QStringLiteral("\nrow %1: %2, %3")
                       .arg(hit.row)
                       .arg(keyValueText(k->value), interpolationName(k->type));
        else
            tip += QStringLiteral("\nrow %1: %2")
                       .arg(hit.row)
                       .arg(double(get_value(&session_.model().keys(col.track), hit.row)), 0, 'g', 6);
    }
    return tip;
}

QString TrackGrid::placeholderText() const
{
    if (session_.layout().count() > 0)
        return QString();
    return QStringLiteral(
               "No tracks yet.\n\n"
               "Start the demo with sync editors on (in its start dialog, \"Sync editors (rocket)\", or a setup "
               "such as sync-per-skene.as): every track its skenes read appears here as a column, and the "
               "editor follows and drives the demo's row.\n\n"
               "Ctrl+I takes in the demo's track files from %1/sync. F1 lists every key and mouse action.")
        .arg(session_.demoDir());
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
    const QString value = typed_;
    typed_.clear();
    replaceOnType_ = false;
    viewport()->update();
    return session_.setValueText(value);
}

void TrackGrid::startEditing()
{
    const int track = session_.cursorTrack();
    if (track < 0)
        return;
    const TrackKey* k = session_.model().keyAt(track, session_.row());
    typed_ = k ? keyValueText(k->value) : QString();
    replaceOnType_ = true;
    revealCursor();
    viewport()->update();
}

void TrackGrid::keyPressEvent(QKeyEvent* event)
{
    const Qt::KeyboardModifiers mods = event->modifiers() & ~Qt::KeypadModifier;
    const bool shift = mods & Qt::ShiftModifier;
    if (!(mods & (Qt::ControlModifier | Qt::AltModifier)) && isValueChar(event->text(), !typed_.isEmpty())) {
        // The number goes where it can be seen, even after scrolling away.
        if (typed_.isEmpty() || replaceOnType_)
            revealCursor();
        if (replaceOnType_)
            typed_.clear();
        replaceOnType_ = false;
        typed_ += event->text();
        viewport()->update();
        return;
    }
    if (!typed_.isEmpty()) {
        switch (event->key()) {
        case Qt::Key_Backspace:
            replaceOnType_ = false;
            typed_.chop(1);
            viewport()->update();
            return;
        case Qt::Key_Escape:
            typed_.clear();
            replaceOnType_ = false;
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
    case Qt::Key_Return:
    case Qt::Key_Enter:
    case Qt::Key_F2:
        startEditing();
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

void TrackGrid::mousePressEvent(QMouseEvent* event)
{
    if (event->button() != Qt::LeftButton) {
        QAbstractScrollArea::mousePressEvent(event);
        return;
    }
    commitTyped();
    const Hit hit = hitAt(event->pos());
    const bool shift = event->modifiers() & Qt::ShiftModifier;
    switch (hit.part) {
    case Hit::HeaderEdge:
        drag_ = Drag::Resize;
        resizeColumn_ = hit.column;
        resizeStartX_ = event->pos().x();
        resizeStartChars_ = session_.columnChars(hit.column);
        break;
    case Hit::Header:
        session_.setCursor(session_.row(), hit.column, shift);
        break;
    case Hit::Gutter:
        session_.setCursor(hit.row, session_.column(), shift);
        drag_ = Drag::Select;
        break;
    case Hit::Cell:
        session_.setCursor(hit.row, hit.column, shift);
        drag_ = Drag::Select;
        break;
    case Hit::Nothing:
        break;
    }
    event->accept();
}

void TrackGrid::mouseMoveEvent(QMouseEvent* event)
{
    if (drag_ == Drag::Resize) {
        session_.setColumnChars(resizeColumn_,
                                resizeStartChars_ + (event->pos().x() - resizeStartX_) / charWidth_);
        updateScrollRanges();
        return;
    }
    if (drag_ == Drag::Select && (event->buttons() & Qt::LeftButton)) {
        // Past the edges the view follows the cursor, which keeps dragging.
        QPoint p = event->pos();
        p.setY(std::max(p.y(), headerHeight_));
        const Hit hit = hitAt(p);
        const int32_t row = hit.row >= 0 ? hit.row : session_.row();
        const int column = hit.part == Hit::Cell ? hit.column : session_.column();
        if (row != session_.row() || column != session_.column())
            session_.setCursor(row, column, true);
        return;
    }
    viewport()->setCursor(hitAt(event->pos()).part == Hit::HeaderEdge ? Qt::SplitHCursor : Qt::ArrowCursor);
}

void TrackGrid::mouseReleaseEvent(QMouseEvent* event)
{
    drag_ = Drag::None;
    QAbstractScrollArea::mouseReleaseEvent(event);
}

void TrackGrid::mouseDoubleClickEvent(QMouseEvent* event)
{
    if (event->button() != Qt::LeftButton)
        return;
    const Hit hit = hitAt(event->pos());
    switch (hit.part) {
    case Hit::HeaderEdge: {
        // Wide enough for the whole name.
        const int track = session_.layout().at(hit.column).track;
        const QString name = displayName(session_.model().trackName(track), max_column_chars);
        session_.setColumnChars(hit.column, int(name.size()) + 1);
        updateScrollRanges();
        break;
    }
    case Hit::Header:
        if (hit.groupRow) {
            session_.setCursor(session_.row(), hit.column);
            session_.toggleGroup();
        }
        break;
    case Hit::Cell:
        session_.setCursor(hit.row, hit.column);
        startEditing();
        break;
    default:
        break;
    }
    drag_ = Drag::None;
    event->accept();
}

void TrackGrid::wheelEvent(QWheelEvent* event)
{
    const QPoint angle = event->angleDelta();
    if (event->modifiers() & Qt::ControlModifier) {
        // A point size a notch.
        zoomRest_ += angle.y();
        const int steps = zoomRest_ / 120;
        zoomRest_ -= steps * 120;
        zoom(steps);
        event->accept();
        return;
    }
    // A notch (15 degrees, 120 eighths) scrolls three rows; finer wheels
    // add up to it. Shift, or a sideways wheel, scrolls the columns.
    const bool sideways = (event->modifiers() & Qt::ShiftModifier) || (angle.x() != 0 && angle.y() == 0);
    wheelRest_ += sideways ? (angle.x() != 0 ? angle.x() : angle.y()) : angle.y();
    const int steps = wheelRest_ / 40;
    wheelRest_ -= steps * 40;
    QScrollBar* bar = sideways ? horizontalScrollBar() : verticalScrollBar();
    bar->setValue(bar->value() - steps);
    event->accept();
}

bool TrackGrid::viewportEvent(QEvent* event)
{
    if (event->type() == QEvent::ToolTip) {
        const auto* help = static_cast<QHelpEvent*>(event);
        const QString tip = toolTipAt(help->pos());
        if (tip.isEmpty())
            QToolTip::hideText();
        else
            QToolTip::showText(help->globalPos(), tip, viewport());
        return true;
    }
    return QAbstractScrollArea::viewportEvent(event);
}

void TrackGrid::paintMusic(QPainter& p, int32_t top, int32_t bottom)
{
    const QRect strip = musicRect();
    if (strip.isEmpty())
        return;
    const int rpb = session_.model().rowsPerBeat();
    const int waveWidth = wave_chars * charWidth_;
    p.fillRect(strip, musicFill);
    // Beat and bar lines, as the grid's rows per beat has them.
    for (int32_t r = top - top % rpb; r <= bottom + 1; r += rpb) {
        if (r < top)
            continue;
        const int y = headerHeight_ + int(r - top) * rowHeight_;
        p.fillRect(strip.x(), y, strip.width(), 1, r % (rpb * 4) == 0 ? barLine : beatLine);
    }
    // One line a pixel row: the lowest to the highest sample in its time.
    const MusicOverview& m = *music_;
    const double rate = demoRowRate();
    const double centre = strip.x() + waveWidth / 2.0;
    const double half = waveWidth / 2.0 - 2.0;
    QVector<QLineF> lines;
    lines.reserve(strip.height());
    for (int y = strip.top(); y <= strip.bottom(); ++y) {
        const double row = top + double(y - headerHeight_) / rowHeight_;
        float lo, hi;
        if (!m.peak(row / rate, (row + 1.0 / rowHeight_) / rate, &lo, &hi))
            continue;
        lines.append(QLineF(centre + lo * half, y + 0.5, centre + std::max(hi * half, lo * half + 1.0), y + 0.5));
    }
    p.setPen(QPen(wave, 1.0));
    p.drawLines(lines);

    if (musicView_ != MusicView::WaveformAndSpectrum || m.sliceSeconds <= 0.0)
        return;
    // The slices in view as one small image, stretched over the strip.
    const double firstTime = secondsAtY(strip.top());
    const double lastTime = secondsAtY(strip.bottom() + 1);
    const int64_t first = std::max<int64_t>(0, int64_t(std::floor(firstTime / m.sliceSeconds + 0.5)));
    const int64_t last = int64_t(std::floor(lastTime / m.sliceSeconds + 0.5));
    if (last < first)
        return;
    QImage image(MusicOverview::kBands, int(last - first + 1), QImage::Format_RGB32);
    const QRgb* palette = spectrumPalette();
    for (int64_t s = first; s <= last; ++s) {
        auto* line = reinterpret_cast<QRgb*>(image.scanLine(int(s - first)));
        const uint8_t* levels = m.spectrumAt(double(s) * m.sliceSeconds);
        for (int b = 0; b < MusicOverview::kBands; ++b)
            line[b] = levels ? palette[levels[b]] : musicFill.rgb();
    }
    auto yOf = [&](double seconds) { return headerHeight_ + (seconds * rate - top) * rowHeight_; };
    const QRectF target(strip.x() + waveWidth, yOf((double(first) - 0.5) * m.sliceSeconds),
                        spectrum_chars * charWidth_ - 2, yOf((double(last) + 0.5) * m.sliceSeconds)
                                                              - yOf((double(first) - 0.5) * m.sliceSeconds));
    p.save();
    p.setClipRect(strip);
    p.drawImage(target, image);
    p.restore();
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

    // Gutter: row numbers, bookmarks and the loop, then the music.
    const auto& marks = model.bookmarks();
    const bool looping = session_.hasLoop();
    const int loopX = rowNumberWidth() - 4;
    for (int32_t r = top; r <= bottom; ++r) {
        const int y = rowY(r);
        if (marks.count(r))
            p.fillRect(0, y + 1, 4, rowHeight_ - 2, bookmark);
        if (looping && r >= session_.loopFirst() && r <= session_.loopLast()) {
            // A bracket right of the numbers: where the loop starts and ends
            // shows even on a one-row loop.
            p.fillRect(loopX, y, 3, rowHeight_, loopMark);
            if (r == session_.loopFirst())
                p.fillRect(loopX - 6, y, 6, 2, loopMark);
            if (r == session_.loopLast())
                p.fillRect(loopX - 6, y + rowHeight_ - 2, 6, 2, loopMark);
        }
        p.setPen(r % rpb == 0 ? text : dim);
        p.drawText(QRect(6, y, rowNumberWidth() - 10, rowHeight_), Qt::AlignRight | Qt::AlignVCenter,
                   QString::number(r));
    }
    if (music_)
        paintMusic(p, top, bottom);
    if (music_ && session_.row() >= top && session_.row() <= bottom)
        p.fillRect(rowNumberWidth(), rowY(session_.row()), musicWidth(), 1, cursorFrame);

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
                // A value shown for editing is replaced by the first key.
                p.drawText(x + 7, y + 1 + ascent, replaceOnType_ ? typed_ : typed_ + QLatin1Char('_'));
            }
            p.setPen(cursorFrame);
            p.drawRect(x, y, cw - 2, rowHeight_ - 1);
        }
        x += cw;
    }

    // Header: group names over track names; a collapsed group shows "+".
    p.fillRect(0, 0, w, headerHeight_, headerFill);
    p.setPen(dim);
    p.drawText(QRect(4, 0, rowNumberWidth() - 8, headerHeight_), Qt::AlignLeft | Qt::AlignVCenter,
               session_.isPlaying() ? QStringLiteral("play") : QStringLiteral("row"));
    if (music_ && musicWidth() > 0)
        p.drawText(QRect(rowNumberWidth() + 2, 0, musicWidth() - 4, headerHeight_), Qt::AlignLeft | Qt::AlignVCenter,
                   QStringLiteral("music"));
    x = gutter;
    int previousGroup = -1;
    const QFontMetrics fm(font());
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
                       fm.elidedText(name, Qt::ElideRight, span - 8));
        }
        previousGroup = col.group;
        if (col.track >= 0) {
            const std::string& name = model.trackName(col.track);
            const std::string leaf = group.empty() ? name : name.substr(group.size() + 1);
            p.setPen(c == session_.column() ? cursorFrame : text);
            // Cut in the middle: names of one group often differ at the end.
            p.drawText(QRect(x + 4, rowHeight_ + 3, cw - 8, rowHeight_), Qt::AlignLeft | Qt::AlignVCenter,
                       fm.elidedText(displayName(leaf), Qt::ElideMiddle, cw - 8));
        }
        p.fillRect(x + cw - 1, rowHeight_ + 3, 1, rowHeight_, dim);
        x += cw;
    }

    const QString hint = placeholderText();
    if (!hint.isEmpty()) {
        p.setPen(text);
        const QRect area = QRect(gutter, headerHeight_, w - gutter, h - headerHeight_).adjusted(24, 24, -24, -24);
        p.drawText(area, Qt::AlignLeft | Qt::AlignTop | Qt::TextWordWrap, hint);
    }
}

} // namespace tracker
