// sync_editor: the sync editor that the demo starts for live editing.
//   sync_editor -port:1338 -file:fx/prism/Skene.rocket -windowHeight:-720 [-music:<path>]
//   sync_editor [options] [project file]
// Exit codes: 0 after a normal close, 1 for arguments it cannot use, 2 when
// the port is taken (another editor already serves it).
#include "tracker/lib/EditorOptions.h"
#include "tracker/lib/SyncServer.h"
#include "tracker/lib/TrackerModel.h"
#include "tracker/lib/TrackerSession.h"
#include "tracker/ui/TrackerWindow.h"

#include "platform/Files.h"

#include <QApplication>
#include <QMessageBox>

#include <clocale>
#include <cstdio>

int main(int argc, char** argv)
{
    // Before the application object, which needs a display.
    QStringList args;
    for (int i = 1; i < argc; ++i)
        args.append(QString::fromLocal8Bit(argv[i]));
    // Qt's own options (-platform ...) are not known yet; they do not
    // matter to these two.
    const tracker::EditorOptions asked = tracker::parseEditorOptions(args);
    if (asked.help || asked.version) {
        std::fputs((asked.help ? tracker::helpText() : tracker::versionText() + "\n").c_str(), stdout);
        return 0;
    }
    QApplication app(argc, argv);
    // Qt set the C library's locale from the environment; its number
    // formatting and parsing stay those of "C" under a decimal-comma locale.
    std::setlocale(LC_NUMERIC, "C");
    QApplication::setApplicationName(QStringLiteral("sync_editor"));
    const tracker::EditorOptions options = tracker::parseEditorOptions(app.arguments().mid(1));
    if (!options.error.isEmpty()) {
        std::fprintf(stderr, "sync_editor: %s\n", qPrintable(options.error));
        std::fprintf(stderr, "usage: sync_editor [options] [project file] (sync_editor --help lists the options)\n");
        return 1;
    }

    tracker::SyncServer server;
    switch (server.listen(options.port)) {
    case tracker::SyncServer::ListenResult::Listening:
        break;
    case tracker::SyncServer::ListenResult::PortTaken:
        std::fprintf(stderr, "sync_editor: port %u is already in use (is another editor running on it?)\n",
                     unsigned(options.port));
        return 2;
    case tracker::SyncServer::ListenResult::Failed:
        std::fprintf(stderr, "sync_editor: cannot listen on port %u: %s\n", unsigned(options.port),
                     qPrintable(server.errorString()));
        return 1;
    }

    tracker::TrackerModel model;
    tracker::TrackerSession session(model, server);
    tracker::TrackerWindow window(session);
    const tracker::LoadResult loaded = session.openProject(options.file);
    if (options.windowHeight > 0)
        window.resize(window.width(), options.windowHeight);
    window.show();
    window.loadMusic(options.music);
    // Asked while the demo may already connect: a restore sends it every
    // key again.
    window.offerRecovery();
    if (loaded.status == tracker::LoadResult::Unreadable || loaded.status == tracker::LoadResult::Damaged) {
        std::fprintf(stderr, "sync_editor: %s\n", qPrintable(loaded.message));
        // Not modal: a demo waiting to connect must not wait for a click.
        auto* box = new QMessageBox(QMessageBox::Warning, QStringLiteral("sync_editor"), loaded.message,
                                    QMessageBox::Ok, &window);
        box->setAttribute(Qt::WA_DeleteOnClose);
        box->setModal(false);
        box->show();
    }
    const int code = app.exec();
    // The recovery file's last write, when one is on its way.
    platform::finishBackgroundWrites();
    return code;
}
