#include "support/FreshState.h"

#include "app/AppState.h"
#include "app/DisplayModes.h"
#include "editor/DOActiveScenes.h"
#include "editor/SkeneTree.h"
#include "gpu/AtomicCounters.h"
#include "gpu/DepthState.h"
#include "gpu/FileAutoLoader.h"
#include "gpu/FramebufferBinding.h"
#include "gpu/MeshRegistry.h"
#include "gpu/RenderTargetRegistry.h"
#include "gpu/Shader.h"
#include "gpu/TransformFeedback.h"
#include "items/CameraQML.h"
#include "items/ShadeQML.h"
#include "state/ActiveSkeneList.h"
#include "state/DemoDisplay.h"
#include "state/DemoFolders.h"
#include "state/FrameState.h"
#include "state/PendingEdit.h"
#include "state/SavePoints.h"
#include "state/rocket_flags.h"
#include "support/RecordingNotifier.h"
#include "sync/Rocket.h"
#include "time/TimeState.h"

#include <QGuiApplication>

void resetProcessState()
{
    installRecordingNotifier();
    app::restoreDisplayMode();
    // A full-screen start hides the cursor for the rest of the process.
    if (qobject_cast<QGuiApplication*>(QCoreApplication::instance())) {
        while (QGuiApplication::overrideCursor())
            QGuiApplication::restoreOverrideCursor();
    }
    resetAppState();
    resetPublishedSkeneRows();
    resetPublishedSkeneTree();

    resetDemoFolders();
    resetDemoDisplay();
    resetActiveSkeneList();
    resetFrameState();
    resetPendingEdit();
    resetSavePointTable();
    reset_rocket_flags();

    Rocket::reset_instance();
    resetTimeState();

    resetShaderCache();
    resetShaderState();
    resetCurrentCamera();
    resetMeshRegistries();
    resetRenderTargets();
    resetTransformFeedbackState();
    resetAtomicCounters();
    resetDepthStacks();
    resetFramebufferBinding();
    IFileAutoLoader::resetPollClock();
}
