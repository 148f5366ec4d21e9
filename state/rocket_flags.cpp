#include "state/rocket_flags.h"

RocketFlags& rocket_flags()
{
    static RocketFlags flags;
    return flags;
}

void reset_rocket_flags()
{
    rocket_flags() = RocketFlags();
}
