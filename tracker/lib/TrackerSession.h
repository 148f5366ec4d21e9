#pragma once
// The editor's behaviour, without its widgets: the cursor and selection over
// the column layout, every editing action, the project file, and the
// conversation with the connected demo.
//
// Key edits are built here as EditBatches and handed to submit(), which the
// window points at its undo history; whatever applies them to the model,
// the session hears of each changed key and sends it to the demo. The demo
// addresses tracks by its own indices (announced with GET_TRACK), so the
// session keeps which demo index means which of our tracks.
#include "tracker/lib/ColumnLayout.h"
#include "tracker/lib/KeyClipboard.h"
#include "tracker/lib/ProjectFile.h"
#include "tracker/lib/RowLoop.h"
#include "tracker/lib/SyncServer.h"
#include "tracker/lib/TrackerModel.h"

#include <QElapsedTimer>
#include <QObject>
#include <QString>
#include <QTimer>

#include <functional>
#include <unordered_map>
#include <vector>

namespace tracker {

// Rows the grid offers at least, and the last row the cursor can reach.
constexpr int32_t default_row_count = 10000;
constexpr int32_t max_row = (1 << 24) - 1;

// The demo sends its row only while it plays and never says it stopped (the
// music ran out, another editor paused it): a demo believed to play that
// sends no row for this long counts as stopped. Rows that arrive this soon
// after our own pause were on their way before the demo had it. A demo whose
// rows come further apart than a third of that (one that draws slowly) is
// given three of its own gaps, up to max_demo_quiet_ms.
constexpr int demo_quiet_ms = 500;
constexpr int max_demo_quiet_ms = 3000;
// After a demo connects, the cursor row goes to it again this much later:
// the demo takes a MAKE_MASTER into account only from its next frame on.
constexpr int connect_row_again_ms = 150;
// How soon after an edit the recovery file holds it.
constexpr int recovery_delay_ms = 2000;

// Column widths in characters.
constexpr int default_column_chars = 11;
constexpr int min_column_chars = 4;
constexpr int max_column_chars = 80;

// Where Ctrl+G goes: a row ("120"), or a time on the demo's clock in
// seconds ("62.5s") or minutes and seconds ("1:02.5"). False for anything
// else or a place beyond max_row.
bool parseRowOrTime(const QString& text, int32_t* row);

class TrackerSession : public QObject {
    Q_OBJECT
public:
    struct Block {
        int firstColumn, lastColumn;
        int32_t firstRow, lastRow;
    };

    TrackerSession(TrackerModel& model, SyncServer& server, QObject* parent = nullptr);

    TrackerModel& model() { return model_; }
    const TrackerModel& model() const { return model_; }
    // The columns; a burst of new tracks from the demo is laid out once,
    // after the burst.
    const ColumnLayout& layout()
    {
        freshLayout();
        return layout_;
    }

    // Where edits go. Unset, they are applied to the model directly.
    std::function<void(const EditBatch&)> submit;

    // ---- The project -----------------------------------------------------
    // Opens the project file at path (before a demo connects: the demo's
    // track indices are forgotten).
    LoadResult openProject(const QString& path);
    const QString& projectPath() const { return projectPath_; }
    // Saves to the project path. A file that could not be read whole when it
    // was opened is kept beside the new one as "<file>.bak". A save removes
    // the recovery file.
    bool saveProject();
    // How the project is shown (collapsed groups, widths, cursor), as it
    // goes into the file.
    ProjectView view() const;

    // ---- Recovery ----------------------------------------------------------
    // Every change is written to recoveryPathOf(projectPath()) within
    // recovery_delay_ms (atomically, on the background writer), so that a
    // crash loses nothing; saving or closing cleanly removes it.
    void setRecoveryDelay(int ms) { recoveryTimer_.setInterval(ms); }
    // A recovery file left by an editor that did not end cleanly, found
    // when the project was opened; empty when there is none.
    const QString& recoveryFound() const { return recoveryFound_; }
    // Takes the recovered content in place of the project's (unsaved, so
    // the project file keeps its content until a save); a connected demo
    // gets every key again. False, with a status message, when it cannot
    // be read.
    bool restoreRecovery();
    // Keeps the recovery file as "<recovery>.old" and carries on without it.
    void setAsideRecovery();
    // The editor ends cleanly: its recovery file (if it wrote one) goes.
    void discardRecovery();
    // Writes the recovery file now when there are changes to keep.
    void writeRecovery();
    // The demo's folder, whose sync/ holds its track files (the working
    // directory unless set).
    void setDemoDir(const QString& dir) { demoDir_ = dir; }
    const QString& demoDir() const { return demoDir_; }
    // Takes the keys of every track file in the demo's folder, as one edit.
    int importTrackFiles();

    // ---- Cursor and selection ---------------------------------------------
    int32_t row() const { return row_; }
    int column() const { return column_; }
    // The track under the cursor; -1 on a collapsed group or with no tracks.
    int cursorTrack() const;
    int32_t rowCount() const;
    // Tells the demo the new row (SET_ROW) when it changed.
    void setCursor(int32_t row, int column, bool extendSelection = false);
    void moveCursor(int32_t rows, int columns, bool extendSelection = false);
    bool hasSelection() const { return anchorColumn_ >= 0; }
    // The selected block, or the cursor's cell when nothing is selected.
    Block selection() const;
    void clearSelection();
    // Puts the cursor on a track's row, opening its group when collapsed.
    void revealCell(int track, int32_t row);

    // ---- Columns -----------------------------------------------------------
    // Width of a column in characters; a collapsed group is narrow.
    int columnChars(int column);
    // Sets the width of the track in column (clamped); collapsed groups keep
    // theirs.
    void setColumnChars(int column, int chars);

    // ---- Editing ---------------------------------------------------------
    // A key with value at the cursor; it keeps the interpolation of the key
    // it replaces, else takes the one of the key before it, else step.
    // False when the cursor is on no track or value is not a number.
    bool setValue(float value);
    // The same from text ("1e-3" too); a value that is no finite number a
    // key can hold is refused with a message naming the track and row.
    bool setValueText(const QString& text);
    void deleteKeys();
    // Of the key at or before the cursor; with a block selected, every key
    // in it takes the type that follows the first one's.
    void cycleInterpolation();
    // Every key in the selected block (or the key at or before the cursor).
    void setInterpolation(int32_t type);
    // The selected block as text for the clipboard (see KeyClipboard.h).
    QString copy();
    QString cut();
    // Pastes keys from clipboard text at the cursor; false, saying why in
    // the status bar, when the text holds none.
    bool paste(const QString& text);
    void moveKeys(int32_t rows); // the selected keys, with the selection
    void toggleBookmark();
    void jumpToBookmark(int direction);
    void jumpToKey(int direction);
    void toggleGroup();
    void expandAllGroups();
    void changeRowsPerBeat(int delta);

    // ---- The demo --------------------------------------------------------
    bool demoConnected() const { return server_.hasDemo(); }
    quint16 port() const { return server_.port(); }
    // What the editor believes the demo does; what Space will change.
    bool isPlaying() const { return playing_; }
    void togglePlay();
    // The window is the one the author works in: its cursor drives the
    // demo (MAKE_MASTER now, and whenever a demo connects).
    void setActive(bool active);
    // Asks the demo to write its track files (SAVE_TRACKS).
    void exportTrackFiles();
    // Sends every key of every track the demo asked for again.
    void resendAll();
    void makeMaster();

    // ---- Looping -----------------------------------------------------------
    // While the demo plays, a block of rows can loop: when the demo's row
    // passes the block's last row (from at or before it), the demo is sent
    // to its first. A seek past the block plays on; pausing keeps the loop
    // and playing again goes on looping. With one editor per skene, the
    // loop works from whichever editor holds it (its first jump makes that
    // editor the one whose rows the demo takes).
    // L: the selected rows loop, or the loop stops.
    void toggleLoop();
    void setLoop(int32_t first, int32_t last);
    void clearLoop();
    bool hasLoop() const { return loop_.isSet(); }
    int32_t loopFirst() const { return loop_.first(); }
    int32_t loopLast() const { return loop_.last(); }

Q_SIGNALS:
    void cursorMoved();
    void layoutChanged();
    void statusMessage(const QString& text);
    void connectionChanged(bool connected);
    void playingChanged(bool playing);
    void raiseRequested();
    void loopChanged();

private:
    void onMessage(const DemoMessage& msg);
    void onKeyChanged(int track, int row);
    void onModelChanged();
    void onDemoConnected();
    void onDemoDisconnected(const QString& reason);
    void rebuildLayout();
    void onTrackAdded();
    void freshLayout();
    void submitBatch(EditBatch batch);
    int resolveTrack(const std::string& name);
    void mapDemoIndex(uint32_t index, int track);
    void takeValueFromDemo(const DemoMessage& msg, bool firstOnly);
    void sendTrack(uint32_t index, int track, std::string& out) const;
    void setPlaying(bool playing);
    void followDemoRow(int32_t row);
    void sendRow(int32_t row);
    void locateSkeneStart(const std::string& name);
    void locateTrack(const std::string& name);

    TrackerModel& model_;
    SyncServer& server_;
    ColumnLayout layout_;
    bool inMessages_ = false;  // handling the demo's messages of one turn
    bool layoutStale_ = false; // tracks came meanwhile
    QString projectPath_;
    QString demoDir_;
    LoadResult::Status loadStatus_ = LoadResult::Missing;
    bool backupTaken_ = false;
    std::vector<int> widths_; // per track, characters; 0: default
    QTimer recoveryTimer_;
    QString recoveryFound_;
    bool recoveryOurs_ = false; // written or taken by this editor

    int32_t row_ = 0;
    int column_ = 0;
    int32_t anchorRow_ = 0;
    int anchorColumn_ = -1;

    bool playing_ = false;
    bool active_ = false;
    QTimer quietTimer_;     // no row for demo_quiet_ms: stopped
    QElapsedTimer pausedAt_; // our last pause
    QElapsedTimer lastRowAt_; // the demo's last row while it played
    QTimer rowAgainTimer_;
    bool rowCameSinceConnect_ = false;
    RowLoop loop_;
    QElapsedTimer clock_; // the loop's clock
    std::unordered_map<uint32_t, int> trackOfIndex_;
    std::vector<std::vector<uint32_t>> indicesOfTrack_;
};

} // namespace tracker
