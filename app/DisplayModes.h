#pragma once
// Display resolutions offered by the start dialog, the selected resolution,
// and the full-screen mode switch with its restore when the program ends.
//
// On X11 the modes come from XRandR: those of the primary output, else of the
// first connected output. Elsewhere the primary screen's current size is the
// only mode and full screen works only at that size.
#include <string>
#include <vector>

namespace app {

struct DisplayMode {
    int width = 0;
    int height = 0;
};

// "WxH" texts of modes in their order, each size once (modes that differ only
// in refresh rate or flags appear once).
std::vector<std::string> resolutionTexts(const std::vector<DisplayMode>& modes);

// The modes of the X display's output in XRandR order. False when the
// display cannot be opened or has no usable output. displayName null: the
// display the program runs on.
bool listXrandrModes(const char* displayName, std::vector<DisplayMode>& modes);

// The resolution list for the start dialog.
std::vector<std::string> listResolutions();

// Largest width or height that a resolution text may name: the X11 limit on
// screen sizes, far below what would overflow the 16:9 arithmetic.
constexpr int kMaxResolutionSide = 65535;

// Reads a selected resolution text ("1920x1080") into width and height: the
// text splits at runs of "x", empty pieces are skipped, each piece reads its
// leading decimal digits (0 when it has none or names more than
// kMaxResolutionSide). When the first number is not 0, width and height take
// the two numbers (height 0 without a second piece); otherwise both stay.
void applySelectedResolution(const std::string& text, int& width, int& height);

// Makes the display show width x height for a full-screen start. True when
// the output shows that size already or was switched to it; false when the
// mode is refused (no such mode, or the switch failed). Without XRandR, or
// without an output to switch, only the screen's own size is shown. A
// switched mode is put back by restoreDisplayMode(), which also runs on the
// first SIGINT or SIGTERM; a second one ends the process at once, even while
// the GUI thread hangs (the mode then stays as it is).
bool enterFullScreenMode(int width, int height);

struct ScreenPoint {
    int x = 0;
    int y = 0;
};

// Top left, on the screen, of the output that enterFullScreenMode (or
// switchXrandrMode) last found showing the size: where the full-screen main
// view goes. (0, 0) without XRandR.
ScreenPoint fullScreenOrigin();

// The same on a given X display (null: the program's display).
bool switchXrandrMode(const char* displayName, int width, int height);

// Puts back the mode that a switch replaced; nothing when none was switched.
// Safe to call any number of times.
void restoreDisplayMode();

// True while a switched mode waits to be restored.
bool displayModeSwitched();

} // namespace app
