#include "tracker/ui/CurveView.h"

#include "tracker/lib/TrackerSession.h"
#include "tracker/ui/TrackGrid.h"

#include <QPainter>
#include <QPainterPath>

#include <algorithm>
#include <cmath>

namespace tracker {

CurveView::CurveView(TrackerSession& session, TrackGrid& grid, QWidget* parent)
    : QWidget(parent)
    , session_(session)
    , grid_(grid)
{
    setMinimumWidth(120);
    auto repaint = [this] { update(); };
    connect(&grid_, &TrackGrid::viewMoved, this, repaint);
    connect(&session_, &TrackerSession::cursorMoved, this, repaint);
    connect(&session_, &TrackerSession::layoutChanged, this, repaint);
    connect(&session_.model(), &TrackerModel::keyChanged, this, repaint);
    connect(&session_.model(), &TrackerModel::keysReplaced, this, repaint);
}

void CurveView::paintEvent(QPaintEvent*)
{
    QPainter p(this);
    p.fillRect(rect(), QColor(0x1a, 0x1b, 0x1e));
    const int track = session_.cursorTrack();
    // Line up with the grid's rows.
    const int top = mapFrom(window(), grid_.viewport()->mapTo(window(), QPoint(0, grid_.headerHeight()))).y();
    const int rh = grid_.rowHeight();
    const int32_t firstRow = grid_.topRow();
    const int rows = grid_.visibleRows();
    const int bottom = top + rows * rh;
    if (track < 0 || rows <= 0)
        return;
    const SyncTrack& t = session_.model().keys(track);
    if (t.num_keys == 0)
        return;

    // One sample per pixel row; the scale fits the values in view.
    std::vector<float> samples(size_t(bottom - top));
    for (size_t i = 0; i < samples.size(); ++i)
        samples[i] = get_value(&t, firstRow + double(i) / rh - 0.5);
    float lo = *std::min_element(samples.begin(), samples.end());
    float hi = *std::max_element(samples.begin(), samples.end());
    if (!std::isfinite(lo) || !std::isfinite(hi))
        return;
    if (hi - lo < 1e-6f) {
        lo -= 1.0f;
        hi += 1.0f;
    }
    const int left = 8, right = width() - 8;
    auto xOf = [&](float v) { return left + double(v - lo) / double(hi - lo) * (right - left); };

    p.setRenderHint(QPainter::Antialiasing);
    p.setPen(QColor(0x5a, 0x5e, 0x66));
    p.drawText(QRect(left, top - rh, right - left, rh), Qt::AlignLeft, QString::number(double(lo), 'g', 4));
    p.drawText(QRect(left, top - rh, right - left, rh), Qt::AlignRight, QString::number(double(hi), 'g', 4));
    QPainterPath path;
    for (size_t i = 0; i < samples.size(); ++i) {
        const QPointF pt(xOf(samples[i]), top + double(i));
        if (i == 0)
            path.moveTo(pt);
        else
            path.lineTo(pt);
    }
    p.setPen(QPen(QColor(0xe0, 0xb0, 0x40), 1.5));
    p.drawPath(path);

    p.setPen(Qt::NoPen);
    p.setBrush(QColor(0xd8, 0xd8, 0xd8));
    int i = key_index_floor(&t, firstRow);
    for (i = std::max(i, 0); i < t.num_keys && t.keys[i].row < firstRow + rows; ++i) {
        if (t.keys[i].row < firstRow)
            continue;
        const double y = top + (t.keys[i].row - firstRow) * rh + rh / 2.0;
        p.drawEllipse(QPointF(xOf(t.keys[i].value), y), 3.0, 3.0);
    }
    const int cursorY = top + int(session_.row() - firstRow) * rh + rh / 2;
    if (cursorY >= top && cursorY < bottom)
        p.fillRect(0, cursorY, width(), 1, QColor(0x60, 0x66, 0x70));
}

} // namespace tracker
