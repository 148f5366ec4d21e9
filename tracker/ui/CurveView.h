#pragma once
// The selected track's curve beside the grid, row for row: rows run
// downwards as in the grid, values across. It samples the demo's own
// interpolation, so what it draws is what the demo will show.
#include <QWidget>

namespace tracker {

class TrackGrid;
class TrackerSession;

class CurveView : public QWidget {
    Q_OBJECT
public:
    CurveView(TrackerSession& session, TrackGrid& grid, QWidget* parent = nullptr);
    QSize sizeHint() const override { return QSize(220, 400); }

protected:
    void paintEvent(QPaintEvent*) override;

private:
    TrackerSession& session_;
    TrackGrid& grid_;
};

} // namespace tracker
