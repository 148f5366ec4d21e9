#pragma once
// One process state for a whole benchmark run, made before main as the
// program makes one before it starts the demo (app/ProcessState.h). A
// benchmark that wants fresh state per run makes its own on top
// (resetProcessState), which stands in for this one while it lives.
#include "app/ProcessState.h"

inline ProcessState& benchProcessState()
{
    static ProcessState state;
    return state;
}

inline const bool kBenchProcessStateMade = (benchProcessState(), true);
