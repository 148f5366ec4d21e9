#pragma once
// Every record of the running demo's state, each made once here and
// installed for its accessor while it lives: the demo state that several
// subsystems share (state/), the clocks and the music (time/TimeState.h),
// the sync manager (sync/Rocket.h), what the edit view was shown
// (editor/EditorState.h) and start-up's own record (app/AppState.h).
//
// The program makes one for its whole run (app/Launch.cpp); a test makes a
// fresh one for each case. Records are destroyed in the reverse order of
// their making, each one no longer installed right before it goes. The GPU
// resources are not here: the frame host makes them with its GL context
// (gpu/GpuResources.h).
#include "app/AppState.h"
#include "editor/EditorState.h"
#include "platform/Installed.h"
#include "state/ActiveSkeneList.h"
#include "state/BuildErrors.h"
#include "state/DemoDisplay.h"
#include "state/DemoFolders.h"
#include "state/FrameState.h"
#include "state/LastReload.h"
#include "state/PendingEdit.h"
#include "state/SavePoints.h"
#include "state/rocket_flags.h"
#include "sync/Rocket.h"
#include "time/TimeState.h"

struct ProcessState {
    Owned<DemoFolders> folders;
    Owned<DemoDisplay> display;
    Owned<RocketFlags> rocketFlags;
    Owned<ActiveSkeneList> activeSkenes;
    Owned<PendingEdit> pendingEdit;
    Owned<SavePointTable> savePoints;
    Owned<FrameState> frame;
    Owned<BuildErrors> buildErrors;
    Owned<LastReload> lastReload;
    Owned<TimeState> time;
    Owned<Rocket> rocket;
    Owned<EditorState> editor;
    Owned<AppState> app;
};
