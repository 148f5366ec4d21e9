#include "state/DemoDisplay.h"

DemoDisplay& demoDisplay()
{
    static DemoDisplay display;
    return display;
}

void resetDemoDisplay()
{
    demoDisplay() = DemoDisplay();
}
