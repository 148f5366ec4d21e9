#pragma once
// PNG files of 8-bit RGB images, written fast enough to keep up with a
// capture: each row filtered against its left neighbour (the PNG "Sub"
// filter, which suits rendered images) and deflated at zlib's fastest
// level. The same pixels always give the same bytes.
#include <cstdint>
#include <string>
#include <vector>

namespace platform {

// Encodes width x height pixels of rgb (3 bytes a pixel, rows top first, no
// padding) as a whole PNG file into out, reusing its storage. False for a
// side outside 1..16384.
bool encodePng(const uint8_t* rgb, int width, int height, std::vector<uint8_t>& out);

// Encodes and writes the PNG to path. False, with a line in error that names
// the path and the reason, when it cannot.
bool writePngFile(const std::string& path, const uint8_t* rgb, int width, int height, std::string& error);

} // namespace platform
