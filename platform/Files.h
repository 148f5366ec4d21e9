#pragma once
// File-system helpers shared by the subsystems.
#include <cstdint>
#include <string>

namespace platform {

// The process's working directory. On failure returns false and stores the
// errno value in error.
bool currentDirectory(std::string& dir, int& error);

// True when path can be opened for reading.
bool canOpenForReading(const std::string& path);

// Writes data as the whole content of path through a temporary file in the
// same directory that is renamed over the old file, so a full disk or a
// crash never leaves a truncated file behind. False when it could not.
bool writeFileAtomically(const std::string& path, const std::string& data);

} // namespace platform

namespace platform {

// Last-write time of root/path as a 64-bit count of 100-nanosecond units;
// 0 when there is no such file. Paths of any length.
uint64_t fileWriteTime(const std::string& path);

} // namespace platform
