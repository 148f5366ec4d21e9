#include "time/TimeState.h"

#include "platform/Installed.h"
#include "time/Music.h"
#include "time/Stopwatch.h"
#include "time/SystemTime.h"

TimeState::TimeState() = default;

TimeState::~TimeState() = default;

TimeState& timeState()
{
    return Installed<TimeState>::get();
}
