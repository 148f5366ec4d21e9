#include "gpu/MeshCache.h"

#include "gpu/MeshImports.h"
#include "platform/Files.h"

#include <QStandardPaths>
#include <QString>

#include <atomic>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <system_error>
#include <unistd.h>

namespace {

// The entry's layout, all little-endian as the host writes it:
//   "TVMC", u32 version, u32 key length, the key,
//   nine floats (box minimum, maximum, centre), u32 stride, u32 parts,
//   per part: u32 vertices, u32 indices, the vertex bytes, the indices,
//   u64 checksum of everything before it.
const char kMagic[4] = {'T', 'V', 'M', 'C'};
const uint32_t kVersion = 1;
// The last line of a key: the file's size and modification time.
const char kStampLine[] = "file ";

// Not against tampering, only against damage: a word at a time, so that a
// large entry costs little more than reading it.
uint64_t checksum(const uint8_t* bytes, size_t size)
{
    uint64_t h = 1469598103934665603ull;
    size_t i = 0;
    for (; i + 8 <= size; i += 8) {
        uint64_t word;
        std::memcpy(&word, bytes + i, 8);
        h = (h ^ word) * 1099511628211ull;
        h ^= h >> 29;
    }
    for (; i < size; ++i)
        h = (h ^ bytes[i]) * 1099511628211ull;
    return h;
}

void put(std::string& out, const void* p, size_t n)
{
    out.append(static_cast<const char*>(p), n);
}

void putU32(std::string& out, uint32_t v)
{
    put(out, &v, 4);
}

// Reads from a span, refusing any length beyond what is left.
struct Reader {
    const uint8_t* at;
    size_t left;

    bool take(void* to, size_t n)
    {
        if (n > left)
            return false;
        if (n)
            std::memcpy(to, at, n);
        at += n;
        left -= n;
        return true;
    }
    bool u32(uint32_t& v) { return take(&v, 4); }
};

bool validStride(uint32_t stride)
{
    return stride == 44 || stride == 22 || stride == 28;
}

} // namespace

std::string meshCacheFolder()
{
    const QString base = QStandardPaths::writableLocation(QStandardPaths::CacheLocation);
    if (base.isEmpty())
        return {};
    return base.toStdString() + "/meshes";
}

uint64_t meshCacheChecksum(const uint8_t* bytes, size_t size)
{
    return checksum(bytes, size);
}

std::string meshCacheKey(const MeshImportRequest& r, const MeshFileStamp& stamp, const std::string& importer)
{
    std::error_code error;
    const std::filesystem::path absolute = std::filesystem::absolute(r.file, error);
    char options[256];
    std::snprintf(options, sizeof options, "smooth %d angle %.9g flip %d half %d pack %d scale %d centre %d\n",
                  r.smoothNormals, double(r.smoothingAngle), r.flipNormals, r.halfFloats, r.intPack, r.autoScale,
                  r.autoCenter);
    char file[96];
    std::snprintf(file, sizeof file, "%s%llu %llu\n", kStampLine, static_cast<unsigned long long>(stamp.size),
                  static_cast<unsigned long long>(stamp.writeTime));
    return "tarvonic mesh " + std::to_string(kVersion) + "\n" +
           (error ? r.file : absolute.lexically_normal().string()) + "\n" + options + "importer " + importer +
           "\n" + file;
}

std::string meshCachePath(const std::string& folder, const std::string& key)
{
    const size_t stamp = key.rfind(kStampLine);
    const size_t named = stamp == std::string::npos ? key.size() : stamp;
    const uint64_t h = checksum(reinterpret_cast<const uint8_t*>(key.data()), named);
    char name[32];
    std::snprintf(name, sizeof name, "%016llx.mesh", static_cast<unsigned long long>(h));
    return folder + "/" + name;
}

std::string encodeMeshCacheEntry(const std::string& key, const MeshData& data)
{
    std::string out;
    size_t total = 64 + key.size();
    for (const MeshPart& part : data.parts)
        total += 8 + part.vertices.size() + part.indices.size() * 4;
    out.reserve(total);
    put(out, kMagic, 4);
    putU32(out, kVersion);
    putU32(out, uint32_t(key.size()));
    put(out, key.data(), key.size());
    put(out, data.boundsMin, 12);
    put(out, data.boundsMax, 12);
    put(out, data.center, 12);
    putU32(out, data.stride);
    putU32(out, uint32_t(data.parts.size()));
    for (const MeshPart& part : data.parts) {
        putU32(out, part.vertexCount);
        putU32(out, uint32_t(part.indices.size()));
        put(out, part.vertices.data(), part.vertices.size());
        put(out, part.indices.data(), part.indices.size() * 4);
    }
    const uint64_t sum = checksum(reinterpret_cast<const uint8_t*>(out.data()), out.size());
    put(out, &sum, 8);
    return out;
}

bool decodeMeshCacheEntry(const uint8_t* bytes, size_t size, const std::string& key, MeshData& data)
{
    if (!bytes || size < 8)
        return false;
    // The checksum first: damage anywhere ends it before any count is used.
    const size_t body = size - 8;
    uint64_t stored;
    std::memcpy(&stored, bytes + body, 8);
    if (checksum(bytes, body) != stored)
        return false;

    Reader in{bytes, body};
    char magic[4];
    uint32_t version = 0, keyLength = 0;
    if (!in.take(magic, 4) || std::memcmp(magic, kMagic, 4) != 0 || !in.u32(version) || version != kVersion)
        return false;
    if (!in.u32(keyLength) || keyLength != key.size() || keyLength > in.left ||
        std::memcmp(in.at, key.data(), keyLength) != 0)
        return false;
    in.at += keyLength;
    in.left -= keyLength;

    MeshData read;
    uint32_t partCount = 0;
    if (!in.take(read.boundsMin, 12) || !in.take(read.boundsMax, 12) || !in.take(read.center, 12) ||
        !in.u32(read.stride) || !validStride(read.stride) || !in.u32(partCount))
        return false;
    // A part takes its two counts, a triangle's indices and a vertex at the
    // least: a count beyond what that leaves room for is a lie.
    if (partCount > in.left / (8 + 12 + read.stride))
        return false;
    read.parts.reserve(partCount);
    for (uint32_t p = 0; p < partCount; ++p) {
        read.parts.emplace_back();
        MeshPart& part = read.parts.back();
        uint32_t indexCount = 0;
        if (!in.u32(part.vertexCount) || !in.u32(indexCount) || indexCount % 3 != 0 || indexCount == 0)
            return false;
        const uint64_t vertexBytes = uint64_t(part.vertexCount) * read.stride;
        const uint64_t indexBytes = uint64_t(indexCount) * 4;
        if (vertexBytes > in.left || indexBytes > in.left - vertexBytes)
            return false;
        part.vertices.resize(size_t(vertexBytes));
        part.indices.resize(indexCount);
        in.take(part.vertices.data(), size_t(vertexBytes));
        in.take(part.indices.data(), size_t(indexBytes));
        for (uint32_t index : part.indices) {
            if (index >= part.vertexCount)
                return false;
        }
    }
    if (in.left != 0)
        return false;
    data = std::move(read);
    return true;
}

bool readMeshCache(const std::string& folder, const std::string& key, MeshData& data)
{
    if (folder.empty())
        return false;
    std::string bytes;
    if (!platform::readWholeFile(meshCachePath(folder, key), bytes))
        return false;
    return decodeMeshCacheEntry(reinterpret_cast<const uint8_t*>(bytes.data()), bytes.size(), key, data);
}

bool writeMeshCache(const std::string& folder, const std::string& key, const MeshData& data)
{
    if (folder.empty())
        return false;
    std::error_code error;
    std::filesystem::create_directories(folder, error);
    if (error)
        return false;
    const std::string path = meshCachePath(folder, key);
    // A name of its own per writer: two programs (or an abandoned import
    // and a fresh one) may write the same entry at once.
    static std::atomic<unsigned> counter{0};
    const std::string temporary =
        path + ".tmp" + std::to_string(getpid()) + "-" + std::to_string(counter.fetch_add(1));
    const std::string bytes = encodeMeshCacheEntry(key, data);
    {
        std::ofstream out(temporary, std::ios::binary | std::ios::trunc);
        out.write(bytes.data(), std::streamsize(bytes.size()));
        out.close();
        if (!out) {
            std::filesystem::remove(temporary, error);
            return false;
        }
    }
    std::filesystem::rename(temporary, path, error);
    if (error) {
        std::filesystem::remove(temporary, error);
        return false;
    }
    return true;
}
