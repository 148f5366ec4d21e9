#pragma once
// The QML vocabulary of the system, registered once at start-up.

namespace app {

// Registers "SystemTime" in its own module, then every row of the item type
// table (items/ItemTypes.h) under "QuellinDemoSystem" 1.0, in table order.
void registerQmlTypes();

} // namespace app
