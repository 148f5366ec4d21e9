#pragma once
// Track names come from the demo as raw bytes of any length. These turn them
// into text that is safe to draw: no control characters, no invalid UTF-8,
// and no name so long that it swamps the window.
#include <QString>

#include <string>

namespace tracker {

// bytes as UTF-8, with every control character and every byte that is not
// part of valid UTF-8 written as \xNN, elided with "…" after maxChars
// characters.
QString displayName(const std::string& bytes, int maxChars = 200);

} // namespace tracker
