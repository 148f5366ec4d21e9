#include "tracker/ui/TrackerWindow.h"

#include "tracker/ui/CurveView.h"
#include "tracker/ui/TrackGrid.h"

#include <QAction>
#include <QCloseEvent>
#include <QDialog>
#include <QHeaderView>
#include <QLabel>
#include <QMenuBar>
#include <QMessageBox>
#include <QSplitter>
#include <QStatusBar>
#include <QTableWidget>
#include <QUndoStack>
#include <QVBoxLayout>

namespace tracker {

namespace {

// One edit on the undo history; pushing it applies it.
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
    statusBar()->addPermanentWidget(connection_);
    statusBar()->addPermanentWidget(position_);
    connect(&session_, &TrackerSession::statusMessage, this,
            [this](const QString& text) { statusBar()->showMessage(text, 8000); });
    connect(&session_, &TrackerSession::connectionChanged, this, &TrackerWindow::updateStatus);
    connect(&session_, &TrackerSession::cursorMoved, this, &TrackerWindow::updateStatus);
    connect(&session_, &TrackerSession::playingChanged, this, &TrackerWindow::updateStatus);
    connect(&session_, &TrackerSession::raiseRequested, this, [this] {
        if (isMinimized())
            showNormal();
        raise();
        activateWindow();
    });
    connect(&session_.model(), &TrackerModel::dirtyChanged, this, &TrackerWindow::updateTitle);
    connect(&session_.model(), &TrackerModel::keyChanged, this, &TrackerWindow::updateStatus);
    buildMenus();
    updateStatus();
    updateTitle();
    resize(1100, 720);
}

QAction* TrackerWindow::addCommand(QMenu* menu, const QString& text, const QList<QKeySequence>& keys,
                                   std::function<void()> run)
{
    auto* action = menu->addAction(text);
    action->setShortcuts(keys);
    action->setShortcutContext(Qt::WindowShortcut);
    connect(action, &QAction::triggered, this, [this, run] {
        grid_->commitTyped(); // a number being typed counts before the command
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
    QMenu* file = menuBar()->addMenu(QStringLiteral("&File"));
    addCommand(file, QStringLiteral("&Save"), {QKeySequence::Save}, [&s] { s.saveProject(); });
    addCommand(file, QStringLiteral("&Import the demo's track files"), {QKeySequence(Qt::CTRL + Qt::Key_I)},
               [&s] { s.importTrackFiles(); });
    addCommand(file, QStringLiteral("&Quit"), {QKeySequence(Qt::CTRL + Qt::Key_Q)}, [this] { close(); });

    QMenu* edit = menuBar()->addMenu(QStringLiteral("&Edit"));
    addCommand(edit, QStringLiteral("&Undo"), {QKeySequence(Qt::CTRL + Qt::Key_Z)}, [this] { undo_->undo(); });
    addCommand(edit, QStringLiteral("&Redo"),
               {QKeySequence(Qt::CTRL + Qt::SHIFT + Qt::Key_Z), QKeySequence(Qt::CTRL + Qt::Key_Y)},
               [this] { undo_->redo(); });
    edit->addSeparator();
    addCommand(edit, QStringLiteral("Cu&t"), {QKeySequence(Qt::CTRL + Qt::Key_X)}, [&s] { s.cut(); });
    addCommand(edit, QStringLiteral("&Copy"), {QKeySequence(Qt::CTRL + Qt::Key_C)}, [&s] { s.copy(); });
    addCommand(edit, QStringLiteral("&Paste"), {QKeySequence(Qt::CTRL + Qt::Key_V)}, [&s] { s.paste(); });
    addCommand(edit, QStringLiteral("&Delete keys"), {QKeySequence(Qt::Key_Delete)}, [&s] { s.deleteKeys(); });
    addCommand(edit, QStringLiteral("Next &interpolation"), {QKeySequence(Qt::Key_I)},
               [&s] { s.cycleInterpolation(); });
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
    addCommand(view, QStringLiteral("More rows per beat"), {QKeySequence(Qt::Key_BracketRight)},
               [&s] { s.changeRowsPerBeat(1); });
    addCommand(view, QStringLiteral("Fewer rows per beat"), {QKeySequence(Qt::Key_BracketLeft)},
               [&s] { s.changeRowsPerBeat(-1); });
    addCommand(view, QStringLiteral("Show or hide the &curve"), {QKeySequence(Qt::Key_F3)},
               [this] { curve_->setVisible(!curve_->isVisible()); });

    QMenu* demo = menuBar()->addMenu(QStringLiteral("&Demo"));
    addCommand(demo, QStringLiteral("&Play or pause"), {QKeySequence(Qt::Key_Space)}, [&s] { s.togglePlay(); });
    addCommand(demo, QStringLiteral("&Export track files"), {QKeySequence(Qt::CTRL + Qt::Key_E)},
               [&s] { s.exportTrackFiles(); });
    addCommand(demo, QStringLiteral("&Resend all keys"), {QKeySequence(Qt::CTRL + Qt::SHIFT + Qt::Key_R)},
               [&s] { s.resendAll(); });

    QMenu* help = menuBar()->addMenu(QStringLiteral("&Help"));
    addCommand(help, QStringLiteral("&Keyboard shortcuts"), {QKeySequence::HelpContents, QKeySequence(Qt::Key_F1)},
               [this] { showHelp(); });

    // Keys the grid handles itself.
    shortcuts_ += {
        {QStringLiteral("0-9 . -"), QStringLiteral("Type a value; Enter (or moving on) sets the key")},
        {QStringLiteral("Backspace, Esc"), QStringLiteral("Correct or drop the value being typed")},
        {QStringLiteral("Up, Down"), QStringLiteral("Previous or next row")},
        {QStringLiteral("PgUp, PgDown"), QStringLiteral("Previous or next bar (four beats)")},
        {QStringLiteral("Left, Right, Tab"), QStringLiteral("Previous or next track")},
        {QStringLiteral("Home, End"), QStringLiteral("First or last row")},
        {QStringLiteral("Ctrl+Home, Ctrl+End"), QStringLiteral("First or last track")},
        {QStringLiteral("Shift + a move"), QStringLiteral("Select a block")},
        {QStringLiteral("Esc"), QStringLiteral("Select nothing")},
        {QStringLiteral("(colours)"), QStringLiteral("Key bars: step grey, linear red, smooth green, ramp blue, "
                                                     "spline yellow; a line runs down each segment")},
    };
}

QString TrackerWindow::statusText() const
{
    return connection_->text() + QLatin1Char(' ') + position_->text();
}

void TrackerWindow::updateStatus()
{
    if (session_.demoConnected())
        connection_->setText(QStringLiteral("Demo connected on port %1%2")
                                 .arg(session_.port())
                                 .arg(session_.isPlaying() ? QStringLiteral(", playing") : QString()));
    else
        connection_->setText(QStringLiteral("Waiting for a demo on port %1").arg(session_.port()));
    // The interpolation of the segment the cursor is in.
    QString segment;
    int32_t keyRow;
    const int track = session_.cursorTrack();
    if (track >= 0 && session_.model().previousKeyRow(track, session_.row(), &keyRow))
        segment = QStringLiteral("  ") + interpolationName(session_.model().keyAt(track, keyRow)->type);
    position_->setText(
        QStringLiteral("row %1  %2%3").arg(session_.row()).arg(timeText(session_.row())).arg(segment));
}

void TrackerWindow::updateTitle()
{
    setWindowTitle(QStringLiteral("sync_editor - %1[*]").arg(session_.projectPath()));
    setWindowModified(session_.model().isDirty());
}

void TrackerWindow::showHelp()
{
    auto* dialog = new QDialog(this);
    dialog->setAttribute(Qt::WA_DeleteOnClose);
    dialog->setWindowTitle(QStringLiteral("Keyboard shortcuts"));
    auto* table = new QTableWidget(shortcuts_.size(), 2, dialog);
    table->setHorizontalHeaderLabels({QStringLiteral("Keys"), QStringLiteral("Does")});
    table->verticalHeader()->hide();
    table->setEditTriggers(QAbstractItemView::NoEditTriggers);
    for (int i = 0; i < shortcuts_.size(); ++i) {
        table->setItem(i, 0, new QTableWidgetItem(shortcuts_[i].first));
        table->setItem(i, 1, new QTableWidgetItem(shortcuts_[i].second));
    }
    table->horizontalHeader()->setStretchLastSection(true);
    table->resizeColumnToContents(0);
    auto* layout = new QVBoxLayout(dialog);
    layout->addWidget(table);
    dialog->resize(520, 600);
    dialog->show();
}

void TrackerWindow::changeEvent(QEvent* event)
{
    // The editor the author works in is the one whose cursor drives the demo.
    if (event->type() == QEvent::ActivationChange && isActiveWindow())
        session_.makeMaster();
    QMainWindow::changeEvent(event);
}

void TrackerWindow::closeEvent(QCloseEvent* event)
{
    grid_->commitTyped();
    if (!session_.model().isDirty()) {
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
    if (answer == CloseAnswer::Cancel || (answer == CloseAnswer::Save && !session_.saveProject()))
        event->ignore();
    else
        event->accept();
}

} // namespace tracker
