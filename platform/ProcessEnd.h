#pragma once
// Ending the process at once on a failure it cannot run on from, with exit
// code, from any floor. Whatever must be put back before the process goes
// (a switched display mode) is put back by a hook that start-up installs.

namespace platform {

// Installs the hook that endProcess runs first; null removes it.
void setProcessEndHook(void (*hook)());

// Runs the hook, flushes the standard streams and ends the process with
// code, without running the destructors of objects the GUI still uses.
[[noreturn]] void endProcess(int code);

} // namespace platform
