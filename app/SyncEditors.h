#pragma once
// Starting our sync editor for each rocket of the active setup.

namespace app {

// Starts one sync editor per active skene (one for the whole demo without
// multi_rocket), each on its rocket's port with the skene's project file
// and the window height of the start settings, logging each command line.
// The editor built beside the demo's executable is preferred, else the
// one on PATH; it is started directly, never through a shell, through the
// start-up record's launchProgram.
void launchSyncEditors();

} // namespace app
