#pragma once
// Reads a whole asset into memory: the loose file at a path relative to the
// working directory, or failing that an entry of the data pack
// "datapack.dat", so that a finished demo can ship its shaders and music in
// one file.
//
// Data pack layout: entries back to back up to the end of the file, no
// header. Each entry is the stored path (8-bit characters ending in one NUL
// byte), a 4-byte little-endian unsigned content length, then that many
// content bytes.
#include <cstddef>

// Where loadAssetFile found the asset. Callers need only test for non-zero.
enum AssetSource {
    AssetNotFound = 0,
    AssetFromDataPack = 1,
    AssetFromLooseFile = 2,
};

// Reads the asset at path into a new buffer.
//
// outData is the caller's buffer slot: whatever an earlier call left in it is
// released (delete[]) first, then the slot is cleared. On success it receives
// a buffer allocated with new[] that the caller owns and releases with
// delete[]. outSize, when given, is cleared on entry and receives the content
// length on success. In text mode the buffer holds one more byte, a NUL after
// the content, so it can be used as a C string; outSize does not count it.
//
// The loose file wins. Otherwise the first pack entry whose stored path
// contains path as a substring is returned (so "Plasma.frag" finds
// "fx/plasma/Plasma.frag"). An empty path finds nothing. Only the first 254
// bytes of a stored path are matched (the format's limit); a longer one is
// skipped up to its NUL. A pack that ends
// inside an entry ends the search; no length from the pack is trusted beyond
// what the file holds.
//
// Returns an AssetSource.
int loadAssetFile(const char* path, char** outData, size_t* outSize, bool textMode);
