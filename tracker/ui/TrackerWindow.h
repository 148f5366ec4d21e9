#pragma once
// The editor's main window: the grid and the curve, menus whose every
// action has a shortcut, the undo history, the status bar and the help.
#include "tracker/lib/TrackerSession.h"

#include <QMainWindow>

#include <functional>

class QLabel;
class QUndoStack;

namespace tracker {

class TrackGrid;
class CurveView;

class TrackerWindow : public QMainWindow {
    Q_OBJECT
public:
    enum class CloseAnswer { Save, Discard, Cancel };

    TrackerWindow(TrackerSession& session, QWidget* parent = nullptr);

    TrackGrid& grid() { return *grid_; }
    QUndoStack& undoStack() { return *undo_; }
    // Asked when the window closes with unsaved changes; a message box
    // unless replaced (tests answer at once).
    std::function<CloseAnswer()> askBeforeClosing;
    // The shortcuts as the help window lists them: key, what it does.
    const QVector<QPair<QString, QString>>& shortcuts() const { return shortcuts_; }
    QString statusText() const;

protected:
    void changeEvent(QEvent* event) override;
    void closeEvent(QCloseEvent* event) override;

private:
    QAction* addCommand(QMenu* menu, const QString& text, const QList<QKeySequence>& keys,
                        std::function<void()> run);
    void buildMenus();
    void updateStatus();
    void updateTitle();
    void showHelp();

    TrackerSession& session_;
    QUndoStack* undo_;
    TrackGrid* grid_;
    CurveView* curve_;
    QLabel* connection_;
    QLabel* position_;
    QVector<QPair<QString, QString>> shortcuts_;
};

} // namespace tracker
