#include "platform/Window.h"

#include <QWindow>

namespace platform {

bool bringToFront(QWindow* window)
{
    if (!window)
        return false;
    window->raise();
    window->requestActivate();
    return true;
}

} // namespace platform
