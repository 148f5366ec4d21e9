#pragma once
// Display resolutions offered by the start dialog and the full-screen mode
// switch.
#include <string>
#include <vector>

namespace app {

// "WxH" texts of the display modes, without duplicates, in the order the
// display reports them.
std::vector<std::string> listResolutions();

} // namespace app
