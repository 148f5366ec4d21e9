#pragma once
// The editor's main window: the grid with the music beside its rows, the
// curve, menus whose every action has a shortcut, the undo history, the
// status bar, the help and the offer to restore what a crash left.
#include "tracker/lib/MusicOverview.h"
#include "tracker/lib/TrackerSession.h"

#include <QMainWindow>

#include <functional>

class QLabel;
class QLineEdit;
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
    // The keys as the help window lists them: key, what it does.
    const QVector<QPair<QString, QString>>& shortcuts() const { return shortcuts_; }
    QString statusText() const;
    // The line that Ctrl+G opens in the status bar.
    QLineEdit& goToLine() { return *goTo_; }

    // Finds and decodes the music beside the rows: path, or music.mp3 as
    // the player finds it when path is empty. The status bar says what came
    // of it.
    void loadMusic(const QString& path);
    // When the project has a recovery file, asks (through the notifier)
    // whether to restore it.
    void offerRecovery();

Q_SIGNALS:
    // After the music was decoded or found missing (tests wait for it).
    void musicSettled();

protected:
    void changeEvent(QEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;
    void closeEvent(QCloseEvent* event) override;

private:
    enum class Reveal { Cursor, Stay };
    QAction* addCommand(QMenu* menu, const QString& text, const QList<QKeySequence>& keys,
                        std::function<void()> run, Reveal reveal = Reveal::Cursor);
    void buildMenus();
    void updateStatus();
    void updateTitle();
    void showHelp();
    void undoOrRedo(bool undo);
    void startGoTo();
    void goTo();

    TrackerSession& session_;
    QUndoStack* undo_;
    TrackGrid* grid_;
    CurveView* curve_;
    QLabel* connection_;
    QLabel* position_;
    QLineEdit* goTo_;
    MusicLoader music_;
    QVector<QPair<QString, QString>> shortcuts_;
};

} // namespace tracker
