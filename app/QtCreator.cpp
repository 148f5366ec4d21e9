#include "app/QtCreator.h"

#include "app/AppState.h"
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

bool openInEditor(const std::string& name)
{
    if (!demoFileReadable(name))
        return false;
    platform::launchDetached(appState().qtCreatorDir + "qtcreator", {"-client", demoFolders().rootDir + "/" + name});
    return true;
}

} // namespace app
