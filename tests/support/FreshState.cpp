#include "support/FreshState.h"

#include "app/DisplayModes.h"
#include "app/ProcessState.h"
#include "support/RecordingNotifier.h"
#include "support/TestCache.h"

#include <QGuiApplication>

#include <optional>

namespace {

// A full-screen start hides the cursor for the rest of the process.
void restoreCursor()
{
    if (!qobject_cast<QGuiApplication*>(QCoreApplication::instance()))
        return;
    while (QGuiApplication::overrideCursor())
        QGuiApplication::restoreOverrideCursor();
}

std::optional<ProcessState>& processState()
{
    static std::optional<ProcessState> state;
    return state;
}

} // namespace

void resetProcessState()
{
    isolateUserCache();
    installRecordingNotifier();
    app::restoreDisplayMode();
    restoreCursor();
    // The records of the case before go first: only one set is installed.
    processState().reset();
    processState().emplace();
}
