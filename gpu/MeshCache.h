#pragma once
// The mesh cache: what an import built (gpu/MeshData.h), kept in a file of
// the user's cache folder so that the next load of the same, unchanged file
// reads it instead of importing again. The key names the file by its
// absolute path, size and modification time, the import options and the
// importer's version, so an edited file, other options or another importer
// never find an old entry. One entry per path, options and importer: the
// entry of an edited file's new version takes the old one's place.
//
// An entry is never trusted: the reader checks every count and length
// against the bytes there, every index against its part, and a checksum
// over the whole entry; anything else (missing, stale, truncated, damaged)
// reads as no entry, and the import that follows replaces it. A cache that
// cannot be written only costs the next load its speed.
//
// The folder is "meshes" in QStandardPaths::CacheLocation (which follows
// XDG_CACHE_HOME). Reading and writing may run on any thread.
#include "gpu/MeshData.h"

#include <cstddef>
#include <cstdint>
#include <string>

struct MeshImportRequest;
struct MeshFileStamp;

// The cache folder of this program's user; empty when there is none.
std::string meshCacheFolder();

// The key of an import of request's file as stamp describes it, by the
// importer named (its version: another one may build other meshes).
std::string meshCacheKey(const MeshImportRequest& request, const MeshFileStamp& stamp,
                         const std::string& importer);
// The entry's file in folder, named by the key without the file's size and
// time (which come last in it).
std::string meshCachePath(const std::string& folder, const std::string& key);

// The bytes of an entry, and back. decodeMeshCacheEntry fills data only
// from a whole, undamaged entry written under key; otherwise it returns
// false and leaves data as it was.
std::string encodeMeshCacheEntry(const std::string& key, const MeshData& data);
bool decodeMeshCacheEntry(const uint8_t* bytes, size_t size, const std::string& key, MeshData& data);

// The checksum that ends an entry, over the bytes before it.
uint64_t meshCacheChecksum(const uint8_t* bytes, size_t size);

// The entry under key in folder, as decodeMeshCacheEntry reads it.
bool readMeshCache(const std::string& folder, const std::string& key, MeshData& data);
// Writes the entry so that a reader never sees half of it (a temporary file
// renamed over the entry); false when it could not.
bool writeMeshCache(const std::string& folder, const std::string& key, const MeshData& data);
