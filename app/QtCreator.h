#pragma once
// Opening demo files in the external QML editor.
#include <string>

namespace app {

// Looks for an executable "qtcreator" on the search path and in the usual
// install folders, logging each try; keeps the prefix found (or the last one
// tried) as the Qt Creator directory. Launches nothing.
void probeQtCreator();

// Opens root + "/" + name in the editor when that file can be read, else
// name itself when it can; false (and nothing started) otherwise. With a
// line above 0 the editor opens the file at that line. No shell is
// involved.
bool openInEditor(const std::string& name, int line = 0);

} // namespace app
