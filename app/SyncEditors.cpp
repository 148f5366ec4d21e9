#include "app/SyncEditors.h"

#include "app/AppState.h"
#include "platform/Process.h"
#include "state/ActiveSkeneList.h"
#include "state/rocket_flags.h"
#include "sync/Rocket.h"

#include <QCoreApplication>
#include <QDebug>

#include <string>
#include <vector>

namespace app {

void launchSyncEditors()
{
    const AppState& s = appState();
    const int height = s.editorWindowHeight;
    const int basePort = Rocket::instance().base_port();
    // Our editor is built beside the demo's executable, so a fresh checkout
    // edits live without installing anything; otherwise PATH decides.
    const std::string beside = QCoreApplication::applicationDirPath().toStdString() + "/sync_editor";
    const std::string program = platform::isExecutableFile(beside) ? beside : "sync_editor";
    auto launch = [&](int port, const std::string& file) {
        const std::vector<std::string> args = {"-port:" + std::to_string(port), "-file:" + file,
                                               "-windowHeight:" + std::to_string(height)};
        qDebug("sync_editor %s %s %s", args[0].c_str(), args[1].c_str(), args[2].c_str());
        if (s.launchProgram)
            s.launchProgram(program, args);
    };
    if (!rocket_flags().multi_rocket) {
        launch(basePort, "lumenfall.rocket");
        return;
    }
    for (const ActiveSkene& skene : activeSkeneList().entries)
        launch(basePort + skene.rocketIndex, "fx/" + skene.name + "/Skene.rocket");
}

} // namespace app
