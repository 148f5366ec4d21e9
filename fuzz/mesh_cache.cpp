// Reads arbitrary bytes as a mesh cache entry.
//
// The bytes are tried twice: as they are, and with the checksum at their
// end made to match, so that the checks behind the checksum (every count
// and length against the bytes there, every index against its part) meet
// the fuzzer's inputs too. The key expected is the one the bytes name, as
// a reader that found the entry under its key would expect it. An entry
// that reads must hold exactly what it says and write back byte for byte.
#include "fuzz_target.h"

#include "gpu/MeshCache.h"

#include <cstdint>
#include <cstring>
#include <string>

namespace {

std::string keyNamedBy(const uint8_t* data, size_t size)
{
    if (size < 12)
        return {};
    uint32_t length;
    std::memcpy(&length, data + 8, 4);
    if (length > size - 12)
        return {};
    return std::string(reinterpret_cast<const char*>(data) + 12, length);
}

void check(const uint8_t* data, size_t size)
{
    const std::string key = keyNamedBy(data, size);
    MeshData mesh;
    mesh.stride = 7; // untouched by an entry that does not read
    if (!decodeMeshCacheEntry(data, size, key, mesh)) {
        fuzz_check(mesh.stride == 7 && mesh.parts.empty(), "a refused entry changed the mesh");
        return;
    }
    size_t bytes = 0;
    for (const MeshPart& part : mesh.parts) {
        fuzz_check(part.vertices.size() == size_t(part.vertexCount) * mesh.stride, "vertex bytes and count differ");
        fuzz_check(!part.indices.empty() && part.indices.size() % 3 == 0, "not whole triangles");
        for (uint32_t index : part.indices)
            fuzz_check(index < part.vertexCount, "an index beyond its part");
        bytes += part.vertices.size() + part.indices.size() * 4;
    }
    fuzz_check(bytes <= size, "more mesh than bytes");
    const std::string back = encodeMeshCacheEntry(key, mesh);
    fuzz_check(back.size() == size && std::memcmp(back.data(), data, size) == 0, "does not write back the same");
}

int run(const uint8_t* data, size_t size)
{
    check(data, size);
    if (size >= 8) {
        std::string fixed(reinterpret_cast<const char*>(data), size);
        const uint64_t sum = meshCacheChecksum(reinterpret_cast<const uint8_t*>(fixed.data()), size - 8);
        std::memcpy(&fixed[size - 8], &sum, 8);
        check(reinterpret_cast<const uint8_t*>(fixed.data()), size);
    }
    return 0;
}

} // namespace

FUZZ_TARGET(mesh_cache, nullptr, run)
