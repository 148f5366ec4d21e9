#include "platform/ProcessEnd.h"

#include <cstdio>
#include <cstdlib>
#include <iostream>

namespace platform {

namespace {

void (*&endHook())()
{
    static void (*hook)() = nullptr;
    return hook;
}

} // namespace

void setProcessEndHook(void (*hook)())
{
    endHook() = hook;
}

void endProcess(int code)
{
    if (endHook())
        endHook()();
    std::cerr.flush();
    std::fflush(nullptr);
    std::_Exit(code);
}

} // namespace platform
