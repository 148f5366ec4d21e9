#include <GL/glew.h>

#include "app/AppState.h"

#include "gpu/GpuResources.h"
#include "platform/Installed.h"
#include "platform/Process.h"

AppState::AppState()
    : launchProgram(platform::launchDetached)
{
}

AppState::~AppState() = default;

AppState& appState()
{
    return Installed<AppState>::get();
}
