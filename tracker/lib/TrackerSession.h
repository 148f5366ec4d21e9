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
#include "tracker/lib/ProjectFile.h"
#include "tracker/lib/SyncServer.h"
#include "tracker/lib/TrackerModel.h"

#include <QObject>
#include <QString>

#include <functional>
#include <unordered_map>
#include <vector>

namespace tracker {

// Rows the grid offers at least, and the last row the cursor can reach.
constexpr int32_t default_row_count = 10000;
constexpr int32_t max_row = (1 << 24) - 1;

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
    // Saves to the project path. A file that could not be read when it was
    // opened is kept beside the new one as "<file>.bak".
    bool saveProject();
    // The demo's folder, whose sync/ holds its track files (the working
    // directory unless set).
    void setDemoDir(const QString& dir) { demoDir_ = dir; }
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

    // ---- Editing ---------------------------------------------------------
    // A key with value at the cursor; it keeps the interpolation of the key
    // it replaces, else takes the one of the key before it, else step.
    // False when the cursor is on no track or value is not a number.
    bool setValue(float value);
    void deleteKeys();
    void cycleInterpolation(); // of the key at or before the cursor
    void copy();
    void cut();
    void paste();
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
    bool isPlaying() const { return playing_; }
    void togglePlay();
    // Asks the demo to write its track files (SAVE_TRACKS).
    void exportTrackFiles();
    // Sends every key of every track the demo asked for again.
    void resendAll();
    void makeMaster();

Q_SIGNALS:
    void cursorMoved();
    void layoutChanged();
    void statusMessage(const QString& text);
    void connectionChanged(bool connected);
    void playingChanged(bool playing);
    void raiseRequested();

private:
    void onMessage(const DemoMessage& msg);
    void onKeyChanged(int track, int row);
    void onDemoConnected();
    void onDemoDisconnected(const QString& reason);
    void rebuildLayout();
    void onTrackAdded();
    void freshLayout();
    void submitBatch(EditBatch batch);
    int resolveTrack(const std::string& name);
    void sendTrack(uint32_t index, int track, std::string& out) const;
    void setPlaying(bool playing);
    void followDemoRow(int32_t row);
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

    int32_t row_ = 0;
    int column_ = 0;
    int32_t anchorRow_ = 0;
    int anchorColumn_ = -1;

    struct ClipKey {
        int trackOffset;
        int32_t rowOffset;
        float value;
        int32_t type;
    };
    int clipTracks_ = 0;
    int32_t clipRows_ = 0;
    std::vector<ClipKey> clip_;

    bool playing_ = false;
    std::unordered_map<uint32_t, int> trackOfIndex_;
    std::vector<std::vector<uint32_t>> indicesOfTrack_;
};

} // namespace tracker
