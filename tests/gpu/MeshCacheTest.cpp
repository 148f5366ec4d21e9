// The mesh cache: an entry gives back exactly what a fresh import builds,
// and an entry that is damaged, cut short, stale or lying about its lengths
// is ignored and replaced.
#include "gpu/MeshCache.h"

#include "gpu/MeshImports.h"
#include "platform/Files.h"

#include "support/TempDemo.h"
#include "support/TestCache.h"

#include <gtest/gtest.h>

#include <chrono>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <string>
#include <thread>

namespace fs = std::filesystem;

namespace {

// Two objects, so two parts, one of them with normals and uvs.
const char* const kTwoParts =
    "o first\nv 0 0 0\nv 4 0 0\nv 4 2 0\nv 0 2 0\nvt 0 0\nvt 1 0\nvt 1 1\nvt 0 1\n"
    "vn 0 0 1\nf 1/1/1 2/2/1 3/3/1 4/4/1\n"
    "o second\nv 0 0 1\nv 1 0 1\nv 0 1 1\nf 5 6 7\n";

bool sameData(const MeshData& a, const MeshData& b)
{
    if (std::memcmp(a.boundsMin, b.boundsMin, sizeof a.boundsMin) != 0 ||
        std::memcmp(a.boundsMax, b.boundsMax, sizeof a.boundsMax) != 0 ||
        std::memcmp(a.center, b.center, sizeof a.center) != 0 || a.stride != b.stride ||
        a.parts.size() != b.parts.size())
        return false;
    for (size_t i = 0; i < a.parts.size(); ++i) {
        if (a.parts[i].vertexCount != b.parts[i].vertexCount || a.parts[i].vertices != b.parts[i].vertices ||
            a.parts[i].indices != b.parts[i].indices)
            return false;
    }
    return true;
}

std::string readBytes(const std::string& path)
{
    std::string bytes;
    platform::readWholeFile(path, bytes);
    return bytes;
}

void writeBytes(const std::string& path, const std::string& bytes)
{
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(bytes.data(), std::streamsize(bytes.size()));
}

// The key an entry was written under (it follows the magic, the version
// and the key's length).
std::string keyOf(const std::string& entry)
{
    if (entry.size() < 12)
        return {};
    uint32_t length;
    std::memcpy(&length, &entry[8], 4);
    return entry.substr(12, length);
}

// The entry's checksum made right again after an edit, so that the reader's
// other checks are what must catch it.
void resum(std::string& entry)
{
    const uint64_t sum = meshCacheChecksum(reinterpret_cast<const uint8_t*>(entry.data()), entry.size() - 8);
    std::memcpy(&entry[entry.size() - 8], &sum, 8);
}

struct MeshCacheFixture : ::testing::Test {
    void SetUp() override
    {
        demo.enter();
        demo.write("two.obj", kTwoParts);
        folder = demo.path("cache");
        request.file = "two.obj";
        request.cacheFolder = folder;
    }
    // The one entry the cache holds.
    std::string onlyEntry() const
    {
        std::string found;
        int count = 0;
        for (const auto& e : fs::directory_iterator(folder)) {
            found = e.path().string();
            ++count;
        }
        EXPECT_EQ(count, 1);
        return found;
    }
    MeshData fresh(const MeshImportRequest& r)
    {
        MeshImportRequest uncached = r;
        uncached.cacheFolder.clear();
        MeshData data;
        std::string error;
        EXPECT_TRUE(importMeshData(uncached, data, error)) << error;
        return data;
    }
    TempDemo demo;
    std::string folder;
    MeshImportRequest request;
};

} // namespace

TEST(MeshCacheTests, RunInAFolderOfTheirOwn)
{
    const char* home = std::getenv("XDG_CACHE_HOME");
    ASSERT_NE(home, nullptr);
    EXPECT_STREQ(home, isolateUserCache());
    EXPECT_EQ(meshCacheFolder().rfind(home, 0), 0u) << meshCacheFolder();
}

TEST_F(MeshCacheFixture, AnEntryGivesTheSameBytesAsAFreshImportInEveryStorageForm)
{
    for (int form = 0; form < 3; ++form) {
        request.halfFloats = form > 0;
        request.intPack = form == 2;
        const MeshData expected = fresh(request);
        ASSERT_EQ(expected.parts.size(), 2u);

        MeshData cold, warm;
        std::string error;
        ASSERT_TRUE(importMeshData(request, cold, error)) << error;
        EXPECT_TRUE(sameData(cold, expected)) << "form " << form;
        ASSERT_TRUE(importMeshData(request, warm, error)) << error;
        EXPECT_TRUE(sameData(warm, expected)) << "form " << form;
    }
    // One entry per storage form: the options are part of the key.
    int entries = 0;
    for (const auto& e : fs::directory_iterator(folder))
        entries += e.path().extension() == ".mesh";
    EXPECT_EQ(entries, 3);
}

TEST_F(MeshCacheFixture, AWarmLoadReadsTheEntryInsteadOfImporting)
{
    MeshData first;
    std::string error;
    ASSERT_TRUE(importMeshData(request, first, error));
    const std::string entry = onlyEntry();
    // An entry that says something else than the file: only a load that
    // read the entry can give this back.
    const std::string bytes = readBytes(entry);
    const std::string key = keyOf(bytes);
    MeshData marked;
    ASSERT_TRUE(decodeMeshCacheEntry(reinterpret_cast<const uint8_t*>(bytes.data()), bytes.size(), key, marked));
    marked.boundsMax[0] = 123.0f;
    writeBytes(entry, encodeMeshCacheEntry(key, marked));

    MeshData warm;
    ASSERT_TRUE(importMeshData(request, warm, error));
    EXPECT_FLOAT_EQ(warm.boundsMax[0], 123.0f);
}

TEST_F(MeshCacheFixture, DamagedTruncatedStaleOrLyingEntriesAreIgnoredAndReplaced)
{
    const MeshData expected = fresh(request);
    MeshData data;
    std::string error;
    ASSERT_TRUE(importMeshData(request, data, error));
    const std::string entry = onlyEntry();
    const std::string good = readBytes(entry);
    const std::string key = keyOf(good);
    const size_t keyLength = key.size();
    auto decodes = [&](const std::string& bytes) {
        MeshData out;
        return decodeMeshCacheEntry(reinterpret_cast<const uint8_t*>(bytes.data()), bytes.size(), key, out);
    };
    ASSERT_TRUE(decodes(good));

    // Every cut-short entry, and one with a byte more.
    for (size_t size = 0; size < good.size(); ++size)
        ASSERT_FALSE(decodes(good.substr(0, size))) << size;
    EXPECT_FALSE(decodes(good + '\0'));
    // Any flipped byte.
    for (size_t i = 0; i < good.size(); i += 7) {
        std::string damaged = good;
        damaged[i] = char(damaged[i] ^ 0x20);
        ASSERT_FALSE(decodes(damaged)) << i;
    }
    // Another key's entry.
    MeshData out;
    EXPECT_FALSE(decodeMeshCacheEntry(reinterpret_cast<const uint8_t*>(good.data()), good.size(), key + "x", out));

    // Lengths that lie, behind a checksum made to match: the vertex count of
    // the first part, the part count, an index beyond its part.
    const size_t parts = 12 + keyLength + 36 + 4;
    const size_t firstVertices = parts + 4;
    for (uint32_t lie : {0xffffffffu, 0x10000000u, 5u}) {
        std::string lying = good;
        std::memcpy(&lying[firstVertices], &lie, 4);
        resum(lying);
        EXPECT_FALSE(decodes(lying)) << "vertex count " << lie;
        lying = good;
        std::memcpy(&lying[parts], &lie, 4);
        resum(lying);
        EXPECT_FALSE(decodes(lying)) << "part count " << lie;
    }
    std::string badIndex = good;
    const uint32_t vertices = expected.parts[0].vertexCount;
    const size_t firstIndex = firstVertices + 8 + vertices * expected.stride;
    std::memcpy(&badIndex[firstIndex], &vertices, 4);
    resum(badIndex);
    EXPECT_FALSE(decodes(badIndex));
    std::string badStride = good;
    const uint32_t stride = 40;
    std::memcpy(&badStride[parts - 4], &stride, 4);
    resum(badStride);
    EXPECT_FALSE(decodes(badStride));

    // A damaged entry on disk: the load imports and writes a sound one.
    std::string damaged = good;
    damaged[good.size() / 2] = char(damaged[good.size() / 2] ^ 1);
    writeBytes(entry, damaged);
    ASSERT_TRUE(importMeshData(request, data, error));
    EXPECT_TRUE(sameData(data, expected));
    EXPECT_EQ(readBytes(entry), good);
    writeBytes(entry, good.substr(0, good.size() / 3));
    ASSERT_TRUE(importMeshData(request, data, error));
    EXPECT_TRUE(sameData(data, expected));
    EXPECT_EQ(readBytes(entry), good);

    // A changed file (its size and time) misses the old entry, and its new
    // entry takes the old one's place.
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
    demo.write("two.obj", "v 0 0 0\nv 8 0 0\nv 0 8 0\nf 1 2 3\n");
    ASSERT_TRUE(importMeshData(request, data, error));
    ASSERT_EQ(data.parts.size(), 1u);
    EXPECT_FLOAT_EQ(data.boundsMax[0], 8.0f);
    EXPECT_EQ(onlyEntry(), entry);
    EXPECT_NE(keyOf(readBytes(entry)), key);
    ASSERT_TRUE(importMeshData(request, data, error));
    EXPECT_FLOAT_EQ(data.boundsMax[0], 8.0f);
}

TEST_F(MeshCacheFixture, ACacheThatCannotBeWrittenOnlyCostsTheSpeed)
{
    const MeshData expected = fresh(request);
    // A file where the folder would be.
    demo.write("blocked", "not a folder");
    request.cacheFolder = demo.path("blocked") + "/meshes";
    MeshData data;
    std::string error;
    ASSERT_TRUE(importMeshData(request, data, error));
    EXPECT_TRUE(sameData(data, expected));
    ASSERT_TRUE(importMeshData(request, data, error));
    EXPECT_TRUE(sameData(data, expected));
    EXPECT_FALSE(writeMeshCache(request.cacheFolder, "key", expected));

    // A missing file is never looked up nor kept.
    request.cacheFolder = folder;
    request.file = "missing.obj";
    EXPECT_FALSE(importMeshData(request, data, error));
    EXPECT_FALSE(fs::exists(folder));
}

TEST(MeshCacheKey, NamesThePathTheStampTheOptionsAndTheImporter)
{
    MeshImportRequest r;
    r.file = "fx/a/m.obj";
    const MeshFileStamp stamp{10, 20};
    const std::string key = meshCacheKey(r, stamp, "5.2.5");
    EXPECT_NE(key.find((fs::current_path() / "fx/a/m.obj").string()), std::string::npos) << key;
    EXPECT_NE(key.find("5.2.5"), std::string::npos);
    EXPECT_NE(meshCacheKey(r, {11, 20}, "5.2.5"), key);
    EXPECT_NE(meshCacheKey(r, {10, 21}, "5.2.5"), key);
    EXPECT_NE(meshCacheKey(r, stamp, "5.3.0"), key);
    for (int option = 0; option < 7; ++option) {
        MeshImportRequest other = r;
        switch (option) {
        case 0: other.smoothNormals = true; break;
        case 1: other.smoothingAngle = 30.0f; break;
        case 2: other.flipNormals = true; break;
        case 3: other.halfFloats = true; break;
        case 4: other.intPack = true; break;
        case 5: other.autoScale = false; break;
        default: other.autoCenter = false; break;
        }
        EXPECT_NE(meshCacheKey(other, stamp, "5.2.5"), key) << option;
    }
    // One entry per path, options and importer: a newer file replaces it.
    EXPECT_EQ(meshCachePath("/c", key), meshCachePath("/c", meshCacheKey(r, {11, 21}, "5.2.5")));
    EXPECT_NE(meshCachePath("/c", key), meshCachePath("/c", meshCacheKey(r, stamp, "5.3.0")));
    MeshImportRequest half = r;
    half.halfFloats = true;
    EXPECT_NE(meshCachePath("/c", key), meshCachePath("/c", meshCacheKey(half, stamp, "5.2.5")));
    MeshImportRequest elsewhere = r;
    elsewhere.file = "fx/b/m.obj";
    EXPECT_NE(meshCachePath("/c", key), meshCachePath("/c", meshCacheKey(elsewhere, stamp, "5.2.5")));
    EXPECT_EQ(meshCachePath("/c", key).rfind("/c/", 0), 0u);
}
