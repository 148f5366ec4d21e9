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

// The whole content of the regular file at path. False, with content
// empty, when it cannot be opened or read or is no regular file: a folder
// opens for reading on Linux, and reading it through a stream throws.
bool readWholeFile(const std::string& path, std::string& content);

// Writes data as the whole content of path so that a full disk or a crash
// never leaves a truncated file behind: the content goes to a hidden
// temporary file beside the target (its name begins with ".", so no listing
// of ours offers it), reaches the disk, and is renamed over the target.
// A symbolic link is written through to the file it points to, an existing
// file keeps its permission bits, and a file that exists but is not
// writable (by permission, or because it has no write bit at all) is
// refused: false, and nothing changes. False too when it could not write.
// Waits for the background writes below first, so writes to one file land
// in call order.
bool writeFileAtomically(const std::string& path, const std::string& data);

// Hands the same write to a background writer and returns at once: the
// caller pays for copying data, not for creating, flushing and renaming the
// file. Writes happen in call order; until one is done readers see the
// previous file, and a crash at any point leaves either the old content or
// the new. A write that is refused or fails is reported on the standard
// error stream ("could not save <path>: <reason>") and changes nothing.
void writeFileAtomicallyInBackground(const std::string& path, const std::string& data);

// Returns once every background write has reached its place (at once when
// none is pending). The program calls it before it ends.
void finishBackgroundWrites();

} // namespace platform

namespace platform {

// Last-write time of root/path as a 64-bit count of 100-nanosecond units;
// 0 when there is no such file. Paths of any length.
uint64_t fileWriteTime(const std::string& path);

} // namespace platform
