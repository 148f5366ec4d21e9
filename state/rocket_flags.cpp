#include "state/rocket_flags.h"

#include "platform/Installed.h"

RocketFlags& rocket_flags()
{
    return Installed<RocketFlags>::get();
}

