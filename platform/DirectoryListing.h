#pragma once
// Directory listings in the order demos are authored against: names compared
// byte by byte after upper-casing ASCII letters (the order an NTFS directory
// lists in). Raw readdir order differs between machines and would make skenes
// render in a different order on each.
#include <string>
#include <vector>

namespace platform {

// True when a sorts before b in listing order.
bool listingOrderLess(const std::string& a, const std::string& b);

// Every entry of dir (files and directories, "." and ".." excluded) in
// listing order; empty when the directory cannot be read, and the entries
// read so far when reading fails part-way.
std::vector<std::string> listDirectory(const std::string& dir);

} // namespace platform
