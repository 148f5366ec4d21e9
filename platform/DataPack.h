#pragma once
// Writes the data pack that loadAssetFile reads (its layout is in
// AssetFile.h): the files a finished demo loads through the loader, the
// shader stages and the music, in one file beside the program's inputs.
#include <cstddef>
#include <string>
#include <vector>

namespace platform {

// The longest stored path the pack can hold: 254 bytes before its NUL.
constexpr size_t kMaxPackNameLength = 254;

// What a pack holds unless told otherwise: every shader stage file and the
// demo's music.
const std::vector<std::string>& defaultPackPatterns();

// The files under root (a demo's root folder) that patterns select, as
// '/'-separated paths relative to root, in pack order.
//
// A pattern with a '/' in it is matched with shell wildcards ('*' stops at
// '/') against the whole relative path, a leading '/' only anchoring it,
// and takes in everything under a folder it matches; a pattern without a
// '/' is matched against the file name in any folder. A
// pattern that starts with '!' takes out what it matches. Without any
// pattern that adds files, the default ones do. Hidden files and folders
// (names starting with '.') and the file at skip (the pack being written)
// are left out.
//
// Pack order is shorter paths first, then byte order. The loader returns the
// first entry whose path contains the one asked for, so each path has to
// come before the longer ones that contain it ("music.mp3" before
// "fx/old/music.mp3") to be found by its own name.
std::vector<std::string> collectPackFiles(const std::string& root, const std::vector<std::string>& patterns,
                                          const std::string& skip = std::string());

// Writes the files root/path for each of paths, stored under path and in the
// order given, as a data pack at packPath. The pack is written through a
// temporary file, so a failure leaves an earlier pack as it was.
//
// Writes nothing and returns false, with one line in error that names the
// file, when a path is empty or longer than kMaxPackNameLength bytes (the
// loader could not find it), when a file cannot be read or holds 4 GiB or
// more, or when the pack cannot be written. totalBytes receives the pack's
// size on success.
bool writeDataPack(const std::string& root, const std::vector<std::string>& paths, const std::string& packPath,
                   std::string& error, size_t* totalBytes = nullptr);

} // namespace platform
