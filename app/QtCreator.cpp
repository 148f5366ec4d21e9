#include "app/QtCreator.h"

#include "app/AppState.h"
#include "platform/Files.h"
#include "platform/Process.h"
#include "state/DemoFolders.h"

#include <QDebug>
#include <QDir>

namespace app {

void probeQtCreator()
{
    const std::string home = QDir::homePath().toStdString();
    const std::string candidates[] = {
        "",
        "/usr/bin/",
        "/opt/Qt/Tools/QtCreator/bin/",
        home + "/Qt/Tools/QtCreator/bin/",
    };
    for (const auto& dir : candidates) {
        appState().qtCreatorDir = dir;
        const bool found = dir.empty() ? !platform::findOnSearchPath("qtcreator").empty()
                                       : platform::isExecutableFile(dir + "qtcreator");
        if (found) {
            qDebug() << "qtCreator.exe found!";
            qDebug() << "qtCreator found from:" << dir.c_str();
            return;
        }
        qDebug() << "Error Qt Creator not found from:" << dir.c_str();
    }
}

bool openInEditor(const std::string& name, int line)
{
    // The editor gets the path that was found readable: below the root, or
    // the name as it stands (an absolute path, say).
    std::string path = demoFolders().rootDir + "/" + name;
    if (!platform::canOpenForReading(path)) {
        path = name;
        if (!platform::canOpenForReading(path))
            return false;
    }
    // Qt Creator reads a trailing ":<line>" of a file argument as the line
    // to open it at.
    if (line > 0)
        path += ":" + std::to_string(line);
    platform::launchDetached(appState().qtCreatorDir + "qtcreator", {"-client", path});
    return true;
}

} // namespace app
