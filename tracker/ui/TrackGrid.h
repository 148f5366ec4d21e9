#pragma once
// The grid: rows downwards, one column per track, the row cursor across.
//
// Scrolling counts in whole rows and columns, so a project of millions of
// rows scrolls like a small one, and a repaint touches only the cells in
// view: a binary search per visible column finds its first key.
#include "tracker/lib/TrackerSession.h"

#include <QAbstractScrollArea>
#include <QScrollBar>

namespace tracker {

class TrackGrid : public QAbstractScrollArea {
    Q_OBJECT
public:
    explicit TrackGrid(TrackerSession& session, QWidget* parent = nullptr);

    int rowHeight() const { return rowHeight_; }
    int headerHeight() const { return headerHeight_; }
    int32_t topRow() const { return int32_t(verticalScrollBar()->value()); }
    int visibleRows() const;
    // The number being typed at the cursor, or empty.
    const QString& pendingValue() const { return typed_; }
    // Sets a key from the number being typed; false when none was.
    bool commitTyped();

Q_SIGNALS:
    void viewMoved();

protected:
    void paintEvent(QPaintEvent*) override;
    void keyPressEvent(QKeyEvent* event) override;
    void resizeEvent(QResizeEvent*) override;
    void scrollContentsBy(int, int) override;
    void focusOutEvent(QFocusEvent* event) override;
    bool focusNextPrevChild(bool) override { return false; } // Tab is ours

private:
    void updateScrollRanges();
    void ensureCursorVisible();
    int columnWidth(int column) const;
    int gutterWidth() const;
    int visibleColumnsFrom(int first) const;

    TrackerSession& session_;
    int rowHeight_ = 16;
    int headerHeight_ = 36;
    int charWidth_ = 8;
    QString typed_;
};

} // namespace tracker
