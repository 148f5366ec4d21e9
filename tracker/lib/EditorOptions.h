#pragma once
// The editor's command line, as the demo writes it:
//   sync_editor -port:1338 -file:fx/prism/Skene.rocket -windowHeight:-720
#include <QString>
#include <QStringList>

namespace tracker {

struct EditorOptions {
    quint16 port = 1338;
    QString file = QStringLiteral("tracks.rocket");
    int windowHeight = 0; // 0: the editor's own choice
    QString error;        // set when an argument was not understood
};

// Parses the arguments after the program name. A negative window height is
// taken by its absolute value (the demo sends them negative).
EditorOptions parseEditorOptions(const QStringList& args);

} // namespace tracker
