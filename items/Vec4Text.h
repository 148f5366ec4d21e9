#pragma once
// The text of a ShaderParam's paramValueVec4: "x, y, z, w".
#include <array>
#include <string>

// Reads up to four comma-separated decimal fields into x, y, z, w; missing
// fields and fields that do not start with a number give 0, and fields after
// the fourth are ignored.
std::array<float, 4> parseVec4Text(const std::string& text);
