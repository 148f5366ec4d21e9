#include "time/TimeState.h"

#include "time/Music.h"
#include "time/Stopwatch.h"
#include "time/SystemTime.h"

TimeState::TimeState() = default;
TimeState::~TimeState() = default;

TimeState& timeState()
{
    static TimeState state;
    return state;
}

void resetTimeState()
{
    TimeState& state = timeState();
    state.music.reset();
    state.systemTime.reset();
    state.frameTimer.reset();
}
