#pragma once
// The editor's command line, as the demo writes it:
//   sync_editor -port:1338 -file:fx/prism/Skene.rocket -windowHeight:-720
// and one of the editor's own: -music:<path>, the music to draw beside the
// rows when it is not the demo's music.mp3 (or its data pack's).
#include <QString>
#include <QStringList>

namespace tracker {

struct EditorOptions {
    quint16 port = 1338;
    QString file = QStringLiteral("tracks.rocket");
    int windowHeight = 0; // 0: the editor's own choice
    QString music;        // empty: music.mp3 as the player finds it
    QString error;        // set when an argument was not understood
};

// Parses the arguments after the program name. A negative window height is
// taken by its absolute value (the demo sends them negative).
EditorOptions parseEditorOptions(const QStringList& args);

} // namespace tracker
