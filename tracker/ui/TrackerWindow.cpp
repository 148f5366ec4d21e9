#include "tracker/ui/TrackerWindow.h"

#include "tracker/lib/displayText.h"
#include "tracker/ui/CurveView.h"
#include "tracker/ui/TrackGrid.h"

#include "platform/Notifier.h"

#include <QAction>
#include <QApplication>
#include <QClipboard>
#include <QCloseEvent>
#include <QDateTime>
#include <QDialog>
#include <QFileInfo>
#include <QHeaderView>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QMenuBar>
#include <QMessageBox>
#include <QScreen>
#include <QScrollBar>
#include <QSplitter>
#include <QStatusBar>
#include <QTableWidget>
#include <QUndoStack>
#include <QVBoxLayout>

namespace tracker {

namespace {

// One edit on the undo history; pushing it applies it. Values the demo
// pushes into one track in a burst become one step.
class BatchCommand : public QUndoCommand {
public:
    BatchCommand(TrackerModel& model, EditBatch batch)
        : model_(model)
        , batch_(std::move(batch))
    {
        setText(batch_.text);
    }
    void redo() override { model_.apply(batch_, true); }
    void undo() override { model_.apply(batch_, false); }
    int id() const override { return batch_.burstTrack >= 0 ? 1 : -1; }
    bool mergeWith(const QUndoCommand* other) override
    {
        const auto* later = static_cast<const BatchCommand*>(other);
        if (!continuesBurst(batch_, later->batch_))
            return false;
        mergeBatch(batch_, later->batch_);
        setText(batch_.text);
        return true;
    }
    const EditBatch& batch() const { return batch_; }

private:
    TrackerModel& model_;
    EditBatch batch_;
};

QString timeText(int32_t row)
{
    const double seconds = sync_row_to_seconds(row, sync_default_bpm, sync_default_rows_per_beat);
    const int minutes = int(seconds / 60);
    return QStringLiteral("%1:%2").arg(minutes).arg(seconds - minutes * 60, 5, 'f', 2, QLatin1Char('0'));
}

constexpr int message_ms = 8000;
constexpr int lasting_message_ms = 15000;

} // namespace

TrackerWindow::TrackerWindow(TrackerSession& session, QWidget* parent)
    : QMainWindow(parent)
    , session_(session)
    , undo_(new QUndoStack(this))
{
    session_.submit = [this](const EditBatch& batch) {
        undo_->push(new BatchCommand(session_.model(), batch));
    };
    grid_ = new TrackGrid(session_, this);
    curve_ = new CurveView(session_, *grid_, this);
    auto* split = new QSplitter(this);
    split->addWidget(grid_);
    split->addWidget(curve_);
    split->setStretchFactor(0, 1);
    split->setStretchFactor(1, 0);
    setCentralWidget(split);
    grid_->setFocus();

    connection_ = new QLabel(this);
    position_ = new QLabel(this);
    position_->setTextFormat(Qt::PlainText);
    goTo_ = new QLineEdit(this);
    goTo_->setPlaceholderText(QStringLiteral("row, or time as 1:02.5"));
    goTo_->setMaximumWidth(220);
    goTo_->hide();
    connect(goTo_, &QLineEdit::returnPressed, this, &TrackerWindow::goTo);
    goTo_->installEventFilter(this);
    statusBar()->addWidget(goTo_);
    statusBar()->addPermanentWidget(position_);
    statusBar()->addPermanentWidget(connection_);
    connect(&session_, &TrackerSession::statusMessage, this,
            [this](const QString& text) { statusBar()->showMessage(text, message_ms); });
    connect(&session_, &TrackerSession::connectionChanged, this, &TrackerWindow::updateStatus);
    connect(&session_, &TrackerSession::cursorMoved, this, &TrackerWindow::updateStatus);
    connect(&session_, &TrackerSession::layoutChanged, this, &TrackerWindow::updateStatus);
    connect(&session_, &TrackerSession::playingChanged, this, &TrackerWindow::updateStatus);
    connect(&session_, &TrackerSession::loopChanged, this, &TrackerWindow::updateStatus);
    connect(&session_, &TrackerSession::raiseRequested, this, [this] {
        if (isMinimized())
            showNormal();
        raise();
        activateWindow();
    });
    connect(&session_.model(), &TrackerModel::dirtyChanged, this, &TrackerWindow::updateTitle);
    connect(&session_.model(), &TrackerModel::keyChanged, this, &TrackerWindow::updateStatus);
    // A new content (a restored recovery file) has tracks the history's
    // edits do not know.
    connect(&session_.model(), &TrackerModel::contentReset, undo_, &QUndoStack::clear);

    connect(&music_, &MusicLoader::loaded, this, [this](std::shared_ptr<const MusicOverview> music) {
        statusBar()->showMessage(
            QStringLiteral("Music beside the rows: %1 (%2 s) on the demo's clock of %3 rows a second")
                .arg(music->source)
                .arg(music->seconds(), 0, 'f', 1)
                .arg(sync_row_rate(sync_default_bpm, sync_default_rows_per_beat), 0, 'f', 4),
            lasting_message_ms);
        grid_->setMusic(std::move(music));
        Q_EMIT musicSettled();
    });
    connect(&music_, &MusicLoader::failed, this, [this](const QString& why) {
        grid_->setMusic(nullptr);
        statusBar()->showMessage(QStringLiteral("No music beside the rows: %1").arg(why), lasting_message_ms);
        Q_EMIT musicSettled();
    });

    buildMenus();
    updateStatus();
    updateTitle();
    resize(1100, 720);
}

void TrackerWindow::loadMusic(const QString& path)
{
    // Two slices a row of the demo's clock.
    music_.load(path, 0.5 / sync_row_rate(sync_default_bpm, sync_default_rows_per_beat));
}

QAction* TrackerWindow::addCommand(QMenu* menu, const QString& text, const QList<QKeySequence>& keys,
                                   std::function<void()> run, Reveal reveal)
{
    auto* action = menu->addAction(text);
    action->setShortcuts(keys);
    action->setShortcutContext(Qt::WindowShortcut);
    connect(action, &QAction::triggered, this, [this, run, reveal] {
        grid_->commitTyped(); // a number being typed counts before the command
        // An edit lands where the author sees it, even after scrolling away.
        if (reveal == Reveal::Cursor)
            grid_->revealCursor();
        run();
    });
    QStringList names;
    for (const QKeySequence& k : keys)
        names << k.toString(QKeySequence::NativeText);
    shortcuts_.append({names.join(QStringLiteral(", ")), QString(text).remove(QLatin1Char('&'))});
    return action;
}

void TrackerWindow::buildMenus()
{
    TrackerSession& s = session_;
    const Reveal stay = Reveal::Stay;
    auto toClipboard = [](const QString& text) {
        if (!text.isEmpty())
            QApplication::clipboard()->setText(text);
    };
    QMenu* file = menuBar()->addMenu(QStringLiteral("&File"));
    addCommand(file, QStringLiteral("&Save"), {QKeySequence::Save}, [&s] { s.saveProject(); }, stay);
    addCommand(file, QStringLiteral("&Import the demo's track files"), {QKeySequence(Qt::CTRL + Qt::Key_I)},
               [&s] { s.importTrackFiles(); });
    addCommand(file, QStringLiteral("&Quit"), {QKeySequence(Qt::CTRL + Qt::Key_Q)}, [this] { close(); }, stay);

    QMenu* edit = menuBar()->addMenu(QStringLiteral("&Edit"));
    addCommand(edit, QStringLiteral("&Undo"), {QKeySequence(Qt::CTRL + Qt::Key_Z)}, [this] { undoOrRedo(true); },
               stay);
    addCommand(edit, QStringLiteral("&Redo"),
               {QKeySequence(Qt::CTRL + Qt::SHIFT + Qt::Key_Z), QKeySequence(Qt::CTRL + Qt::Key_Y)},
               [this] { undoOrRedo(false); }, stay);
    edit->addSeparator();
    addCommand(edit, QStringLiteral("Cu&t"), {QKeySequence(Qt::CTRL + Qt::Key_X)},
               [&s, toClipboard] { toClipboard(s.cut()); });
    addCommand(edit, QStringLiteral("&Copy (as text, for any editor)"), {QKeySequence(Qt::CTRL + Qt::Key_C)},
               [&s, toClipboard] { toClipboard(s.copy()); }, stay);
    addCommand(edit, QStringLiteral("&Paste"), {QKeySequence(Qt::CTRL + Qt::Key_V)},
               [&s] { s.paste(QApplication::clipboard()->text()); });
    addCommand(edit, QStringLiteral("&Delete keys"), {QKeySequence(Qt::Key_Delete)}, [&s] { s.deleteKeys(); });
    addCommand(edit, QStringLiteral("Next &interpolation (of the whole block when one is selected)"),
               {QKeySequence(Qt::Key_I)}, [&s] { s.cycleInterpolation(); });
    for (int32_t type = 0; type < 5; ++type)
        addCommand(edit, QStringLiteral("Interpolation %1").arg(interpolationName(type)),
                   {QKeySequence(Qt::CTRL + Qt::Key_1 + type)}, [&s, type] { s.setInterpolation(type); });
    addCommand(edit, QStringLiteral("Move keys &up a row"), {QKeySequence(Qt::ALT + Qt::Key_Up)},
               [&s] { s.moveKeys(-1); });
    addCommand(edit, QStringLiteral("Move keys &down a row"), {QKeySequence(Qt::ALT + Qt::Key_Down)},
               [&s] { s.moveKeys(1); });
    addCommand(edit, QStringLiteral("Move keys up a beat"), {QKeySequence(Qt::ALT + Qt::Key_PageUp)},
               [&s] { s.moveKeys(-s.model().rowsPerBeat()); });
    addCommand(edit, QStringLiteral("Move keys down a beat"), {QKeySequence(Qt::ALT + Qt::Key_PageDown)},
               [&s] { s.moveKeys(s.model().rowsPerBeat()); });
    addCommand(edit, QStringLiteral("Toggle &bookmark"), {QKeySequence(Qt::Key_B)}, [&s] { s.toggleBookmark(); });

    QMenu* view = menuBar()->addMenu(QStringLiteral("&View"));
    addCommand(view, QStringLiteral("&Go to a row or a time"), {QKeySequence(Qt::CTRL + Qt::Key_G)},
               [this] { startGoTo(); }, stay);
    addCommand(view, QStringLiteral("Previous key"), {QKeySequence(Qt::CTRL + Qt::Key_Up)},
               [&s] { s.jumpToKey(-1); });
    addCommand(view, QStringLiteral("Next key"), {QKeySequence(Qt::CTRL + Qt::Key_Down)}, [&s] { s.jumpToKey(1); });
    addCommand(view, QStringLiteral("Previous bookmark"), {QKeySequence(Qt::CTRL + Qt::Key_PageUp)},
               [&s] { s.jumpToBookmark(-1); });
    addCommand(view, QStringLiteral("Next bookmark"), {QKeySequence(Qt::CTRL + Qt::Key_PageDown)},
               [&s] { s.jumpToBookmark(1); });
    addCommand(view, QStringLiteral("Collapse or expand the &group"), {QKeySequence(Qt::Key_G)},
               [&s] { s.toggleGroup(); });
    addCommand(view, QStringLiteral("Expand all groups"), {QKeySequence(Qt::SHIFT + Qt::Key_G)},
               [&s] { s.expandAllGroups(); });
    addCommand(view, QStringLiteral("Widen the column"), {QKeySequence(Qt::ALT + Qt::Key_Right)},
               [&s] { s.setColumnChars(s.column(), s.columnChars(s.column()) + 2); });
    addCommand(view, QStringLiteral("Narrow the column"), {QKeySequence(Qt::ALT + Qt::Key_Left)},
               [&s] { s.setColumnChars(s.column(), s.columnChars(s.column()) - 2); });
    addCommand(view, QStringLiteral("Zoom in"), {QKeySequence(Qt::CTRL + Qt::Key_Equal), QKeySequence(Qt::CTRL + Qt::Key_Plus)},
               [this] { grid_->zoom(1); }, stay);
    addCommand(view, QStringLiteral("Zoom out"), {QKeySequence(Qt::CTRL + Qt::Key_Minus)}, [this] { grid_->zoom(-1); },
               stay);
    addCommand(view, QStringLiteral("Zoom back"), {QKeySequence(Qt::CTRL + Qt::Key_0)}, [this] { grid_->resetZoom(); },
               stay);
    addCommand(view, QStringLiteral("More rows per beat (the grid's shading only)"),
               {QKeySequence(Qt::Key_BracketRight)}, [&s] { s.changeRowsPerBeat(1); }, stay);
    addCommand(view, QStringLiteral("Fewer rows per beat (the grid's shading only)"),
               {QKeySequence(Qt::Key_BracketLeft)}, [&s] { s.changeRowsPerBeat(-1); }, stay);
    addCommand(view, QStringLiteral("Show or hide the &curve"), {QKeySequence(Qt::Key_F3)},
               [this] { curve_->setVisible(!curve_->isVisible()); }, stay);
    addCommand(view, QStringLiteral("Music: waveform, waveform and spectrum, none"), {QKeySequence(Qt::Key_F4)},
               [this] { grid_->cycleMusicView(); }, stay);

    QMenu* demo = menuBar()->addMenu(QStringLiteral("&Demo"));
    addCommand(demo, QStringLiteral("&Play or pause (as the status bar says)"), {QKeySequence(Qt::Key_Space)},
               [&s] { s.togglePlay(); }, stay);
    addCommand(demo, QStringLiteral("&Loop the selected rows while playing (again: no loop)"),
               {QKeySequence(Qt::Key_L)}, [&s] { s.toggleLoop(); }, stay);
    addCommand(demo, QStringLiteral("&Export track files"), {QKeySequence(Qt::CTRL + Qt::Key_E)},
               [&s] { s.exportTrackFiles(); }, stay);
    addCommand(demo, QStringLiteral("&Resend all keys"), {QKeySequence(Qt::CTRL + Qt::SHIFT + Qt::Key_R)},
               [&s] { s.resendAll(); }, stay);

    QMenu* help = menuBar()->addMenu(QStringLiteral("&Help"));
    // F1 alone: with HelpContents as well (F1 on Linux) Qt finds the
    // shortcut ambiguous and triggers nothing.
    addCommand(help, QStringLiteral("&Keys and mouse"), {QKeySequence(Qt::Key_F1)}, [this] { showHelp(); }, stay);

    // What the grid handles itself.
    shortcuts_ += {
        {QStringLiteral("0-9 . - (then e +)"), QStringLiteral("Type a value (1e-3 too); Enter, or moving on, sets the key")},
        {QStringLiteral("Enter, F2"), QStringLiteral("Edit the key's value")},
        {QStringLiteral("Backspace, Esc"), QStringLiteral("Correct or drop the value being typed")},
        {QStringLiteral("Up, Down"), QStringLiteral("Previous or next row")},
        {QStringLiteral("PgUp, PgDown"), QStringLiteral("Previous or next bar (four beats)")},
        {QStringLiteral("Left, Right, Tab"), QStringLiteral("Previous or next track")},
        {QStringLiteral("Home, End"), QStringLiteral("First or last row")},
        {QStringLiteral("Ctrl+Home, Ctrl+End"), QStringLiteral("First or last track")},
        {QStringLiteral("Shift + a move"), QStringLiteral("Select a block")},
        {QStringLiteral("Esc"), QStringLiteral("Select nothing")},
        {QStringLiteral("Click"), QStringLiteral("Put the cursor on the cell (Shift: select up to it)")},
        {QStringLiteral("Drag"), QStringLiteral("Select a block")},
        {QStringLiteral("Double click"), QStringLiteral("Edit the cell's value")},
        {QStringLiteral("Wheel"), QStringLiteral("Scroll the rows (Shift: the tracks); typing brings the cursor back")},
        {QStringLiteral("Ctrl+Wheel"), QStringLiteral("Zoom the rows and the music with them")},
        {QStringLiteral("Drag a name's right edge"), QStringLiteral("Widen or narrow the column")},
        {QStringLiteral("Double click that edge"), QStringLiteral("Fit the column to the track's name")},
        {QStringLiteral("Double click a group's name"), QStringLiteral("Collapse or expand the group")},
        {QStringLiteral("Hover"), QStringLiteral("The track's whole name and the value there")},
    };
}

QString TrackerWindow::statusText() const
{
    return position_->text() + QLatin1Char(' ') + connection_->text();
}

void TrackerWindow::updateStatus()
{
    if (session_.demoConnected())
        connection_->setText(QStringLiteral("Demo connected on port %1, %2")
                                 .arg(session_.port())
                                 .arg(session_.isPlaying() ? QStringLiteral("playing: Space pauses")
                                                           : QStringLiteral("paused: Space plays")));
    else
        connection_->setText(QStringLiteral("Waiting for a demo on port %1").arg(session_.port()));
    // The whole name of the track under the cursor, and the interpolation
    // of the segment the cursor is in.
    QString segment;
    QString name;
    int32_t keyRow;
    const int track = session_.cursorTrack();
    if (track >= 0) {
        name = displayName(session_.model().trackName(track), 200) + QStringLiteral("  ");
        if (session_.model().previousKeyRow(track, session_.row(), &keyRow))
            segment = QStringLiteral("  ") + interpolationName(session_.model().keyAt(track, keyRow)->type);
    }
    const QString loop = session_.hasLoop()
                             ? QStringLiteral("  loop %1-%2").arg(session_.loopFirst()).arg(session_.loopLast())
                             : QString();
    position_->setText(QStringLiteral("%1row %2  %3%4%5")
                           .arg(name)
                           .arg(session_.row())
                           .arg(timeText(session_.row()))
                           .arg(segment, loop));
}

void TrackerWindow::updateTitle()
{
    setWindowTitle(QStringLiteral("sync_editor - %1[*]").arg(session_.projectPath()));
    setWindowModified(session_.model().isDirty());
}

void TrackerWindow::undoOrRedo(bool undo)
{
    if (undo ? !undo_->canUndo() : !undo_->canRedo()) {
        statusBar()->showMessage(undo ? QStringLiteral("Nothing to undo") : QStringLiteral("Nothing to redo"),
                                 message_ms);
        return;
    }
    const int index = undo ? undo_->index() - 1 : undo_->index();
    const auto* command = static_cast<const BatchCommand*>(undo_->command(index));
    const QString text = command->text();
    if (undo)
        undo_->undo();
    else
        undo_->redo();
    // Where it happened comes into view (and the demo goes there).
    const EditBatch& batch = command->batch();
    if (!batch.keys.empty())
        session_.revealCell(batch.keys.front().track, batch.keys.front().row);
    else if (!batch.bookmarkToggles.empty())
        session_.revealCell(-1, batch.bookmarkToggles.front());
    statusBar()->showMessage((undo ? QStringLiteral("Undid: %1") : QStringLiteral("Redid: %1")).arg(text),
                             message_ms);
}

void TrackerWindow::startGoTo()
{
    goTo_->clear();
    goTo_->show();
    goTo_->setFocus();
}

void TrackerWindow::goTo()
{
    int32_t row = 0;
    if (!parseRowOrTime(goTo_->text(), &row)) {
        statusBar()->showMessage(QStringLiteral("Not a row nor a time: %1").arg(goTo_->text()), message_ms);
        return;
    }
    goTo_->hide();
    grid_->setFocus();
    session_.setCursor(row, session_.column());
}

bool TrackerWindow::eventFilter(QObject* watched, QEvent* event)
{
    if (watched == goTo_ && event->type() == QEvent::KeyPress
        && static_cast<QKeyEvent*>(event)->key() == Qt::Key_Escape) {
        goTo_->hide();
        grid_->setFocus();
        return true;
    }
    return QMainWindow::eventFilter(watched, event);
}

void TrackerWindow::showHelp()
{
    auto* dialog = new QDialog(this);
    dialog->setAttribute(Qt::WA_DeleteOnClose);
    dialog->setObjectName(QStringLiteral("help"));
    dialog->setWindowTitle(QStringLiteral("Keys and mouse"));
    struct Legend {
        int32_t type;
        const char* does;
    };
    const Legend legend[] = {
        {0, "holds its value until the next key"},
        {1, "runs straight to the next key"},
        {2, "eases in and out (smoothstep)"},
        {3, "starts slowly and speeds up (quadratic)"},
        {4, "curves through its spline neighbours"},
    };
    const int rows = shortcuts_.size() + 5;
    auto* table = new QTableWidget(rows, 2, dialog);
    table->setHorizontalHeaderLabels({QStringLiteral("Keys"), QStringLiteral("Does")});
    table->verticalHeader()->hide();
    table->setEditTriggers(QAbstractItemView::NoEditTriggers);
    table->setWordWrap(false);
    for (int i = 0; i < shortcuts_.size(); ++i) {
        table->setItem(i, 0, new QTableWidgetItem(shortcuts_[i].first));
        table->setItem(i, 1, new QTableWidgetItem(shortcuts_[i].second));
    }
    // The colour of a key's bar says its interpolation.
    const QColor colours[] = {QColor(0x8a, 0x8f, 0x98), QColor(0xe0, 0x6c, 0x5a), QColor(0x6c, 0xc0, 0x70),
                              QColor(0x5a, 0x9e, 0xe0), QColor(0xe0, 0xc0, 0x50)};
    for (int i = 0; i < 5; ++i) {
        auto* key = new QTableWidgetItem(QStringLiteral("%1 bar").arg(interpolationName(legend[i].type)));
        key->setData(Qt::DecorationRole, colours[i]);
        table->setItem(shortcuts_.size() + i, 0, key);
        table->setItem(shortcuts_.size() + i, 1,
                       new QTableWidgetItem(QStringLiteral("A %1 key: %2; a line of its colour runs down the segment")
                                                .arg(interpolationName(legend[i].type), QLatin1String(legend[i].does))));
    }
    table->resizeColumnsToContents();
    table->horizontalHeader()->setStretchLastSection(true);
    auto* layout = new QVBoxLayout(dialog);
    layout->addWidget(table);
    // Wide enough that no line is cut.
    const int width = table->horizontalHeader()->length() + table->verticalScrollBar()->sizeHint().width()
                      + 2 * table->frameWidth() + layout->contentsMargins().left() + layout->contentsMargins().right()
                      + 8;
    const QRect screen = this->screen() ? this->screen()->availableGeometry() : QRect(0, 0, 1920, 1080);
    dialog->resize(std::min(width, screen.width()), std::min(720, screen.height()));
    dialog->show();
}

void TrackerWindow::offerRecovery()
{
    const QString found = session_.recoveryFound();
    if (found.isEmpty())
        return;
    const QFileInfo recovery(found);
    const QFileInfo project(session_.projectPath());
    const QString text =
        QStringLiteral("The editor of %1 did not end cleanly. %2 keeps the changes made after the project was last "
                       "saved (written %3%4).\n\nRestore them? They are then shown unsaved: Ctrl+S writes them into "
                       "the project. No keeps them in %2.old.")
            .arg(session_.projectPath(), found, recovery.lastModified().toString(QStringLiteral("yyyy-MM-dd hh:mm:ss")),
                 project.exists() ? QStringLiteral("; the project file: %1")
                                        .arg(project.lastModified().toString(QStringLiteral("yyyy-MM-dd hh:mm:ss")))
                                  : QString());
    const platform::NotifyAnswer answer = platform::notifier().notify(
        text.toStdString(), "sync_editor", platform::NotifyButtons::YesNo, platform::NotifyIcon::Warning);
    if (answer == platform::NotifyAnswer::Yes)
        session_.restoreRecovery();
    else
        session_.setAsideRecovery();
}

void TrackerWindow::changeEvent(QEvent* event)
{
    // The editor the author works in is the one whose cursor drives the demo.
    if (event->type() == QEvent::ActivationChange)
        session_.setActive(isActiveWindow());
    QMainWindow::changeEvent(event);
}

void TrackerWindow::closeEvent(QCloseEvent* event)
{
    grid_->commitTyped();
    if (!session_.model().isDirty()) {
        session_.discardRecovery();
        event->accept();
        return;
    }
    CloseAnswer answer = CloseAnswer::Cancel;
    if (askBeforeClosing) {
        answer = askBeforeClosing();
    } else {
        const auto button = QMessageBox::question(
            this, QStringLiteral("sync_editor"),
            QStringLiteral("Save the changes to %1 before closing?").arg(session_.projectPath()),
            QMessageBox::Save | QMessageBox::Discard | QMessageBox::Cancel, QMessageBox::Save);
        answer = button == QMessageBox::Save      ? CloseAnswer::Save
                 : button == QMessageBox::Discard ? CloseAnswer::Discard
                                                  : CloseAnswer::Cancel;
    }
    if (answer == CloseAnswer::Cancel || (answer == CloseAnswer::Save && !session_.saveProject())) {
        event->ignore();
        return;
    }
    session_.discardRecovery();
    event->accept();
}

} // namespace tracker
