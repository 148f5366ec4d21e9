#pragma once
// The editor's command line, as the demo writes it:
//   sync_editor -port:1338 -file:fx/prism/Skene.rocket -windowHeight:-720
// and as a desktop opens a project file with it:
//   sync_editor fx/prism/Skene.rocket
// and one of the editor's own: -music:<path>, the music to draw beside the
// rows when it is not the demo's music.mp3 (or its data pack's).
#include "platform/OptionHelp.h"

#include <QString>
#include <QStringList>

#include <string>

namespace tracker {

struct EditorOptions {
    bool help = false;
    bool version = false;
    quint16 port = 1338;
    QString file = QStringLiteral("tracks.rocket");
    int windowHeight = 0; // 0: the editor's own choice
    QString music;        // empty: music.mp3 as the player finds it
    QString error;        // set when an argument was not understood
};

// Parses the arguments after the program name. A negative window height is
// taken by its absolute value (the demo sends them negative). Every option
// is a row of one table, which helpText and manPage print.
EditorOptions parseEditorOptions(const QStringList& args);

std::string helpText();
// "sync_editor <version>".
std::string versionText();
platform::ManPage manPage();

} // namespace tracker
