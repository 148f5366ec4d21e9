#include "app/InstalledData.h"

#include <filesystem>
#include <system_error>

namespace app {

namespace {

namespace fs = std::filesystem;

// A demo's folder, which holds fx/; empty when path is none.
std::string demoFolderAt(const fs::path& path)
{
    std::error_code error;
    if (!fs::is_directory(path / "fx", error))
        return {};
    return path.lexically_normal().string();
}

fs::path shareFolder(const std::string& programDir)
{
    return fs::path(programDir) / ".." / "share" / "tarvonic";
}

} // namespace

std::string demoTemplateFolder(const std::string& programDir)
{
    std::string found;
    if (!programDir.empty())
        found = demoFolderAt(shareFolder(programDir) / "template");
#ifdef TARVONIC_SOURCE_TEMPLATE
    if (found.empty())
        found = demoFolderAt(TARVONIC_SOURCE_TEMPLATE);
#endif
    return found;
}

std::string installedExampleDemo(const std::string& programDir)
{
    return programDir.empty() ? std::string() : demoFolderAt(shareFolder(programDir) / "examples" / "lumenfall");
}

} // namespace app
