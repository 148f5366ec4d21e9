#include "host/FrameState.h"

#include "platform/Clock.h"
#include "time/SystemTime.h"
#include "time/TimeState.h"

FrameState& frameState()
{
    static FrameState state;
    return state;
}

void setLastShaderCompileTime(uint32_t ms)
{
    FrameState& fs = frameState();
    fs.shaderCompiled = true;
    fs.lastShaderCompileMs = ms;
}

bool shaderCompilesQuiet(uint32_t nowMs)
{
    const FrameState& fs = frameState();
    return fs.shaderCompiled && uint32_t(nowMs - fs.lastShaderCompileMs) > 300u;
}

void deferDestruction(QObject* obj)
{
    FrameState& fs = frameState();
    if (fs.deferredDestruction && fs.deferredDestruction != obj)
        delete fs.deferredDestruction.data();
    fs.deferredDestruction = obj;
}

void destroyDeferred()
{
    FrameState& fs = frameState();
    QObject* obj = fs.deferredDestruction.data();
    fs.deferredDestruction = nullptr;
    delete obj;
}

double frameClockMs()
{
    const FrameState& fs = frameState();
    if (fs.hooks.clockMs)
        return fs.hooks.clockMs();
    if (const SystemTime* systemTime = timeState().systemTime.get())
        return systemTime->timeMs();
    // Measured from the first reading so that the milliseconds stay small
    // enough to keep sub-millisecond precision for the life of the process.
    static const int64_t start = platform::steadyNanoseconds();
    return double(platform::steadyNanoseconds() - start) / 1e6;
}
