#include "platform/DirectoryListing.h"

#include <algorithm>
#include <filesystem>
#include <system_error>

namespace platform {

namespace {
unsigned char upperAscii(unsigned char c)
{
    return (c >= 'a' && c <= 'z') ? static_cast<unsigned char>(c - 'a' + 'A') : c;
}
} // namespace

bool listingOrderLess(const std::string& a, const std::string& b)
{
    const size_t n = std::min(a.size(), b.size());
    for (size_t i = 0; i < n; ++i) {
        const unsigned char ca = upperAscii(static_cast<unsigned char>(a[i]));
        const unsigned char cb = upperAscii(static_cast<unsigned char>(b[i]));
        if (ca != cb)
            return ca < cb;
    }
    if (a.size() != b.size())
        return a.size() < b.size();
    return a < b; // names that differ only in case keep a stable order
}

std::vector<std::string> listDirectory(const std::string& dir)
{
    std::vector<std::string> names;
    std::error_code ec;
    // A listing can also fail part-way (a network share that goes away, a
    // disk error); the iterator's ++ would throw then. What was read counts.
    for (std::filesystem::directory_iterator it(dir, ec), end; !ec && it != end; it.increment(ec))
        names.push_back(it->path().filename().string());
    std::sort(names.begin(), names.end(), listingOrderLess);
    return names;
}

} // namespace platform
