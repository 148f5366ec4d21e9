#include "host/PendingEdit.h"

PendingEdit& pendingEdit()
{
    static PendingEdit edit;
    return edit;
}
