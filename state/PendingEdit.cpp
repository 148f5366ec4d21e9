#include "state/PendingEdit.h"

PendingEdit& pendingEdit()
{
    static PendingEdit edit;
    return edit;
}

void resetPendingEdit()
{
    pendingEdit() = PendingEdit();
}
