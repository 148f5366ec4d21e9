#include "state/PendingEdit.h"

#include "platform/Installed.h"

PendingEdit& pendingEdit()
{
    return Installed<PendingEdit>::get();
}

