#include "state/FrameState.h"

#include "platform/Installed.h"

FrameState& frameState()
{
    return Installed<FrameState>::get();
}

FrameState::~FrameState()
{
    delete deferredDestruction.data();
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
