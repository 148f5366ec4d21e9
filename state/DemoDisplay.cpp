#include "state/DemoDisplay.h"

#include "platform/Installed.h"

DemoDisplay& demoDisplay()
{
    return Installed<DemoDisplay>::get();
}

