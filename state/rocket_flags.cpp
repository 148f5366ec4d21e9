#include "sync/rocket_flags.h"

RocketFlags& rocket_flags()
{
    static RocketFlags flags;
    return flags;
}
