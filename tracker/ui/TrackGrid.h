#pragma once
// The grid: rows downwards, one column per track, the row cursor across,
// and the demo's music beside the row numbers.
//
// Scrolling counts in whole rows and columns, so a project of millions of
// rows scrolls like a small one, and a repaint touches only the cells in
// view: a binary search per visible column finds its first key.
//
// The music strip is drawn on the demo's own row clock (its rows per
// second, whatever the grid's rows per beat), so a beat of the music sits
// on the row the demo plays it at; it scrolls and zooms with the rows.
#include "tracker/lib/MusicOverview.h"
#include "tracker/lib/TrackerSession.h"

#include <QAbstractScrollArea>
#include <QScrollBar>

#include <memory>

namespace tracker {

class TrackGrid : public QAbstractScrollArea {
    Q_OBJECT
public:
    enum class MusicView { Hidden, Waveform, WaveformAndSpectrum };

    // What a point of the viewport is over.
    struct Hit {
        enum Part { Nothing, Header, HeaderEdge, Gutter, Cell };
        Part part = Nothing;
        int column = -1;
        int32_t row = -1;
        bool groupRow = false; // Header: the upper line, the group's name
    };

    explicit TrackGrid(TrackerSession& session, QWidget* parent = nullptr);

    int rowHeight() const { return rowHeight_; }
    int headerHeight() const { return headerHeight_; }
    int32_t topRow() const { return int32_t(verticalScrollBar()->value()); }
    int visibleRows() const;
    // The number being typed at the cursor, or empty.
    const QString& pendingValue() const { return typed_; }
    // Sets a key from the number being typed; false when none was.
    bool commitTyped();
    // Scrolls the cursor's cell into view: an edit lands where it is seen.
    void revealCursor();

    Hit hitAt(QPoint viewportPoint) const;
    // The cell in viewport coordinates; empty when it is not in view.
    QRect cellRect(int32_t row, int column) const;
    // What the tooltip says at a point of the viewport: the whole name of
    // the track there, and the key under it.
    QString toolTipAt(QPoint viewportPoint) const;
    // What an editor without tracks says; empty once there are tracks.
    QString placeholderText() const;

    // Zooming changes the font, and the rows' height with it.
    void zoom(int steps);
    void resetZoom();
    int zoomPointSize() const { return font().pointSize(); }

    // The music (null: none), and how much of it shows.
    void setMusic(std::shared_ptr<const MusicOverview> music);
    const MusicOverview* music() const { return music_.get(); }
    void setMusicView(MusicView view);
    MusicView musicView() const { return musicView_; }
    void cycleMusicView();
    // The music strip in viewport coordinates (header excluded); empty when
    // none shows.
    QRect musicRect() const;
    // Seconds of the music at a y of the viewport, on the demo's row clock.
    double secondsAtY(int y) const;

Q_SIGNALS:
    void viewMoved();

protected:
    void paintEvent(QPaintEvent*) override;
    void keyPressEvent(QKeyEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void mouseDoubleClickEvent(QMouseEvent* event) override;
    void wheelEvent(QWheelEvent* event) override;
    bool viewportEvent(QEvent* event) override;
    void resizeEvent(QResizeEvent*) override;
    void scrollContentsBy(int, int) override;
    void focusOutEvent(QFocusEvent* event) override;
    bool focusNextPrevChild(bool) override { return false; } // Tab is ours

private:
    void updateMetrics();
    void updateScrollRanges();
    void ensureCursorVisible();
    void startEditing();
    int columnWidth(int column) const;
    int rowNumberWidth() const { return 8 * charWidth_; }
    int musicWidth() const;
    int gutterWidth() const { return rowNumberWidth() + musicWidth(); }
    int visibleColumnsFrom(int first) const;
    void paintMusic(QPainter& p, int32_t top, int32_t bottom);

    TrackerSession& session_;
    int rowHeight_ = 16;
    int headerHeight_ = 36;
    int charWidth_ = 8;
    int basePointSize_ = 10;
    QString typed_;
    bool replaceOnType_ = false; // the value shown for editing goes at the first key

    enum class Drag { None, Select, Resize };
    Drag drag_ = Drag::None;
    int resizeColumn_ = -1;
    int resizeStartX_ = 0;
    int resizeStartChars_ = 0;
    int wheelRest_ = 0; // eighths of a degree not yet scrolled
    int zoomRest_ = 0;  // nor zoomed

    std::shared_ptr<const MusicOverview> music_;
    MusicView musicView_ = MusicView::Waveform;
};

} // namespace tracker
