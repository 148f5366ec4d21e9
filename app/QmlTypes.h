#pragma once

namespace app {

// Registers "SystemTime" in its own module, then every item type of the
// "QuellinDemoSystem" 1.0 module in table order.
void registerQmlTypes();

} // namespace app
