#include "app/AppState.h"

#include "platform/Files.h"

AppState& appState()
{
    static AppState state;
    return state;
}

bool demoFileReadable(const std::string& name)
{
    return platform::canOpenForReading(appState().rootDir + "/" + name) || platform::canOpenForReading(name);
}
