// The data pack from both ends.
//
// Input byte 0, even: the rest is a datapack.dat as found on a disk. Each
// path asked for is compared with what a plain reading of the format gives
// (the first entry, in pack order, whose stored path, cut at 254 bytes,
// contains it; a pack that ends inside an entry ends the search there), in
// text and binary mode.
//
// Odd: the rest describes files (records of a name length, a content
// length, the name and the content). They are written under src/, packed
// with the pack writer, and every one of them must come back from the pack
// by its own path with its own bytes.
#include "fuzz_target.h"

#include "platform/AssetFile.h"
#include "platform/DataPack.h"

#include <algorithm>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <set>
#include <string>
#include <vector>

namespace {

const char pack_name[] = "datapack.dat";

struct Entry {
    std::string name; // as matched: at most 254 bytes
    size_t offset;    // of the content
    size_t length;
};

// The entries a reader may look at: those before the first one that the
// file cuts short.
std::vector<Entry> plain_reading(const std::string& pack)
{
    std::vector<Entry> entries;
    size_t at = 0;
    while (at < pack.size()) {
        const size_t nul = pack.find('\0', at);
        if (nul == std::string::npos || pack.size() - (nul + 1) < 4)
            break;
        const auto* p = reinterpret_cast<const unsigned char*>(pack.data() + nul + 1);
        const size_t length = size_t(p[0]) | size_t(p[1]) << 8 | size_t(p[2]) << 16 | size_t(p[3]) << 24;
        const size_t content = nul + 5;
        if (length > pack.size() - content)
            break;
        entries.push_back({pack.substr(at, std::min<size_t>(nul - at, platform::kMaxPackNameLength)), content, length});
        at = content + length;
    }
    return entries;
}

void check_load(const std::string& path, const std::string& pack, const std::vector<Entry>& entries)
{
    const Entry* expected = nullptr;
    if (!path.empty()) {
        for (const Entry& e : entries) {
            if (e.name.find(path) != std::string::npos) {
                expected = &e;
                break;
            }
        }
    }
    for (bool text : {false, true}) {
        char* data = new char[3]; // a buffer of an earlier call, released by the loader
        size_t size = 7;
        const int result = loadAssetFile(path.c_str(), &data, &size, text);
        if (!expected) {
            fuzz_check(result == AssetNotFound && data == nullptr && size == 0, "found what the pack does not hold");
            continue;
        }
        fuzz_check(result == AssetFromDataPack, "missed an entry of the pack");
        fuzz_check(size == expected->length && data != nullptr, "wrong length");
        fuzz_check(std::memcmp(data, pack.data() + expected->offset, size) == 0, "wrong content");
        fuzz_check(!text || data[size] == '\0', "text without its NUL");
        delete[] data;
    }
}

void read_pack(const uint8_t* data, size_t size)
{
    const std::string pack(reinterpret_cast<const char*>(data), size);
    {
        std::ofstream out(pack_name, std::ios::binary | std::ios::trunc);
        out.write(pack.data(), std::streamsize(pack.size()));
    }
    const std::vector<Entry> entries = plain_reading(pack);
    // Paths that the pack's own names suggest (whole, a tail, a middle) and
    // a few fixed ones. A path without NUL only: it is a C string.
    std::set<std::string> paths = {"a", "music.mp3", "fx/x.frag", ""};
    for (const Entry& e : entries) {
        const std::string& name = e.name;
        paths.insert(name);
        if (name.size() > 2) {
            paths.insert(name.substr(name.size() / 2));
            paths.insert(name.substr(1, name.size() - 2));
        }
    }
    for (const std::string& path : paths) {
        // A loose file of that name would win over the pack.
        if (path != pack_name && !std::filesystem::exists(path))
            check_load(path, pack, entries);
    }
}

// A name the writer takes and the file system can hold: letters, digits,
// '.', '_' and '/' between non-empty parts that do not begin with '.'.
std::string file_name(const std::string& raw)
{
    static const char allowed[] = "abcdefgh0123._/";
    std::string name;
    for (char c : raw)
        name += allowed[size_t(static_cast<unsigned char>(c)) % (sizeof allowed - 1)];
    std::string clean;
    size_t start = 0;
    while (start <= name.size()) {
        size_t end = name.find('/', start);
        if (end == std::string::npos)
            end = name.size();
        std::string part = name.substr(start, end - start);
        while (!part.empty() && part[0] == '.')
            part[0] = 'x';
        if (!part.empty())
            clean += (clean.empty() ? "" : "/") + part;
        start = end + 1;
    }
    return clean;
}

void write_and_read_pack(const uint8_t* data, size_t size)
{
    std::error_code ignored;
    std::filesystem::remove_all("src", ignored);
    std::filesystem::create_directory("src");
    std::vector<std::string> paths;
    std::vector<std::string> contents;
    size_t at = 0;
    while (at + 2 <= size && paths.size() < 16) {
        const size_t name_length = 1 + data[at] % 40;
        const size_t content_length = data[at + 1];
        at += 2;
        if (size - at < name_length)
            break;
        const std::string name = file_name(std::string(reinterpret_cast<const char*>(data + at), name_length));
        at += name_length;
        const size_t take = std::min(content_length, size - at);
        const std::string content(reinterpret_cast<const char*>(data + at), take);
        at += take;
        // One file per path; a path cannot be a file and a folder at once.
        bool clash = name.empty();
        for (const std::string& p : paths)
            clash = clash || p == name || p.rfind(name + "/", 0) == 0 || name.rfind(p + "/", 0) == 0;
        if (clash)
            continue;
        const std::filesystem::path file = std::filesystem::path("src") / name;
        std::filesystem::create_directories(file.parent_path(), ignored);
        std::ofstream(file, std::ios::binary) << content;
        paths.push_back(name);
        contents.push_back(content);
    }
    if (paths.empty())
        return;

    // Everything, in the order the pack tool puts it.
    std::vector<std::string> all = platform::collectPackFiles("src", {"*"});
    std::vector<std::string> sorted = paths;
    std::sort(sorted.begin(), sorted.end());
    std::vector<std::string> listed = all;
    std::sort(listed.begin(), listed.end());
    fuzz_check(listed == sorted, "the pack tool did not list every file");

    std::string error;
    size_t total = 0;
    fuzz_check(platform::writeDataPack("src", all, pack_name, error, &total), "the pack was not written");
    size_t expected_total = 0;
    for (size_t i = 0; i < paths.size(); ++i)
        expected_total += paths[i].size() + 5 + contents[i].size();
    fuzz_check(total == expected_total, "the pack has the wrong size");
    for (size_t i = 0; i < paths.size(); ++i) {
        char* got = nullptr;
        size_t got_size = 0;
        fuzz_check(loadAssetFile(paths[i].c_str(), &got, &got_size, false) == AssetFromDataPack,
                   "a packed file is not found by its own path");
        fuzz_check(got_size == contents[i].size() && std::memcmp(got, contents[i].data(), got_size) == 0,
                   "a packed file comes back with other bytes");
        delete[] got;
    }
}

void setup()
{
    enter_fuzz_dir();
}

int run(const uint8_t* data, size_t size)
{
    if (size == 0)
        return 0;
    if (data[0] % 2 == 0)
        read_pack(data + 1, size - 1);
    else
        write_and_read_pack(data + 1, size - 1);
    return 0;
}

} // namespace

FUZZ_TARGET(data_pack, setup, run)
