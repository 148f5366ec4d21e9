#pragma once
// Bringing one of the demo's own windows to the front.
class QWindow;

namespace platform {

// Raises and activates window; false when window is null.
bool bringToFront(QWindow* window);

} // namespace platform
