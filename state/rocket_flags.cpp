#include "state/rocket_flags.h"

#include "platform/Installed.h"

RocketFlags& rocket_flags()
{
    return Installed<RocketFlags>::get();
}

bool editingWhileRunning()
{
    const RocketFlags& flags = rocket_flags();
    return flags.rocket_enabled || flags.edit_view;
}
