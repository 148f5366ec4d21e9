#include "platform/DataPack.h"

#include "platform/Files.h"

#include <fnmatch.h>

#include <algorithm>
#include <cstdint>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <system_error>

namespace fs = std::filesystem;

namespace platform {

namespace {

bool matchesPattern(const std::string& pattern, const std::string& path)
{
    if (pattern.find('/') == std::string::npos) {
        const size_t slash = path.rfind('/');
        const std::string name = slash == std::string::npos ? path : path.substr(slash + 1);
        return fnmatch(pattern.c_str(), name.c_str(), 0) == 0;
    }
    const std::string anchored = pattern[0] == '/' ? pattern.substr(1) : pattern;
    if (fnmatch(anchored.c_str(), path.c_str(), FNM_PATHNAME) == 0)
        return true;
    // A pattern that names a folder takes in everything under it.
    for (size_t slash = path.find('/'); slash != std::string::npos; slash = path.find('/', slash + 1)) {
        if (fnmatch(anchored.c_str(), path.substr(0, slash).c_str(), FNM_PATHNAME) == 0)
            return true;
    }
    return false;
}

bool selected(const std::vector<std::string>& patterns, const std::string& path)
{
    bool anyAdding = false;
    bool added = false;
    for (const std::string& pattern : patterns) {
        if (pattern.empty())
            continue;
        if (pattern[0] == '!') {
            if (matchesPattern(pattern.substr(1), path))
                return false;
        } else {
            anyAdding = true;
            added = added || matchesPattern(pattern, path);
        }
    }
    if (anyAdding)
        return added;
    for (const std::string& pattern : defaultPackPatterns()) {
        if (matchesPattern(pattern, path))
            return true;
    }
    return false;
}

bool packOrderLess(const std::string& a, const std::string& b)
{
    if (a.size() != b.size())
        return a.size() < b.size();
    return a < b;
}

// The whole file, or false when it cannot be read or does not fit a 32-bit
// length.
bool readWholeFile(const fs::path& file, std::string& content, std::string& why)
{
    std::error_code error;
    const uintmax_t size = fs::file_size(file, error);
    if (error) {
        why = error.message();
        return false;
    }
    if (size > UINT32_MAX) {
        why = "4 GiB or more, too large for the pack";
        return false;
    }
    std::ifstream in(file, std::ios::binary);
    if (!in) {
        why = "cannot be opened";
        return false;
    }
    content.assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
    if (in.bad()) {
        why = "cannot be read";
        return false;
    }
    // It may have grown since its size was taken.
    if (content.size() > UINT32_MAX) {
        why = "4 GiB or more, too large for the pack";
        return false;
    }
    return true;
}

} // namespace

const std::vector<std::string>& defaultPackPatterns()
{
    static const std::vector<std::string> patterns = {"*.vert", "*.geom", "*.frag", "*.cs", "*.glsl", "/music.mp3"};
    return patterns;
}

std::vector<std::string> collectPackFiles(const std::string& root, const std::vector<std::string>& patterns,
                                          const std::string& skip)
{
    std::vector<std::string> paths;
    // Relative paths are taken from the folder itself, not from "root/".
    fs::path base = fs::path(root).lexically_normal();
    if (!base.has_filename() && base.has_parent_path())
        base = base.parent_path();
    std::error_code error;
    const bool skipExists = !skip.empty() && fs::exists(skip, error);
    fs::recursive_directory_iterator it(base, fs::directory_options::skip_permission_denied, error);
    for (; !error && it != fs::recursive_directory_iterator(); it.increment(error)) {
        const fs::directory_entry& entry = *it;
        const std::string name = entry.path().filename().string();
        if (!name.empty() && name[0] == '.') {
            if (entry.is_directory(error))
                it.disable_recursion_pending();
            continue;
        }
        if (!entry.is_regular_file(error))
            continue;
        if (skipExists && fs::equivalent(entry.path(), skip, error))
            continue;
        const std::string relative = entry.path().lexically_relative(base).generic_string();
        if (selected(patterns, relative))
            paths.push_back(relative);
    }
    std::sort(paths.begin(), paths.end(), packOrderLess);
    return paths;
}

bool writeDataPack(const std::string& root, const std::vector<std::string>& paths, const std::string& packPath,
                   std::string& error, size_t* totalBytes)
{
    // Every name first: a refused one must not leave half a pack behind.
    for (const std::string& path : paths) {
        if (path.empty()) {
            error = "an empty path cannot be stored in the pack";
            return false;
        }
        if (path.size() > kMaxPackNameLength) {
            error = path + ": path of " + std::to_string(path.size()) + " bytes is too long for the pack (" +
                    std::to_string(kMaxPackNameLength) + " at most: the player could not find it)";
            return false;
        }
    }

    std::string pack;
    std::string content;
    for (const std::string& path : paths) {
        std::string why;
        if (!readWholeFile(fs::path(root) / path, content, why)) {
            error = path + ": " + why;
            return false;
        }
        const uint32_t length = uint32_t(content.size());
        pack += path;
        pack.push_back('\0');
        for (int shift = 0; shift < 32; shift += 8)
            pack.push_back(char((length >> shift) & 0xff));
        pack += content;
    }
    if (!writeFileAtomically(packPath, pack)) {
        error = packPath + ": cannot be written";
        return false;
    }
    if (totalBytes)
        *totalBytes = pack.size();
    return true;
}

} // namespace platform
