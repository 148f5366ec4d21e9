#include "support/TestCache.h"

#include <cstdlib>
#include <filesystem>
#include <string>
#include <system_error>

namespace {

struct CacheFolder {
    CacheFolder()
    {
        std::string pattern = (std::filesystem::temp_directory_path() / "tarvonic-cache-XXXXXX").string();
        if (::mkdtemp(pattern.data()))
            path = pattern;
        else
            path = "/nonexistent/tarvonic-test-cache"; // unwritable: only the speed is lost
        ::setenv("XDG_CACHE_HOME", path.c_str(), 1);
    }
    ~CacheFolder()
    {
        std::error_code error;
        if (path.rfind("/nonexistent", 0) != 0)
            std::filesystem::remove_all(path, error);
    }
    std::string path;
};

// Made before any test runs, whichever support file a test binary links.
const char* const made = isolateUserCache();

} // namespace

const char* isolateUserCache()
{
    static CacheFolder folder;
    return folder.path.c_str();
}
