#include "state/LastReload.h"

#include "platform/Clock.h"
#include "platform/Installed.h"

LastReload& lastReload()
{
    return Installed<LastReload>::get();
}

void noteReload(const std::string& what)
{
    // A program without the demo's records (a tool, a test of one loader)
    // has nobody to show it to.
    LastReload* found = Installed<LastReload>::find();
    if (!found)
        return;
    LastReload& last = *found;
    last.what = what;
    last.atNs = platform::steadyNanoseconds();
    ++last.count;
}
