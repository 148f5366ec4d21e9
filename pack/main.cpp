// tarvonic-pack: writes a demo's data pack, "datapack.dat", from its root
// folder, so that a finished demo ships its shaders and music in one file.
//   tarvonic-pack [options] [demo folder] [pattern ...]
// Exit codes: 0 when the pack is written; 1 when it cannot be (a path too
// long for the pack, an unreadable file, nothing selected, a write that
// fails); 2 for a command line it cannot use or a folder that is no demo.
#include "pack/PackOptions.h"
#include "platform/DataPack.h"

#include <cstdio>
#include <filesystem>
#include <string>
#include <system_error>
#include <vector>

namespace {

int usageError(const std::string& line)
{
    std::fprintf(stderr, "tarvonic-pack: %s\n", line.c_str());
    return 2;
}

// Only these come from the pack; anything else packed is dead weight.
bool playerReadsFromPack(const std::string& path)
{
    static const char* const kRead[] = {".vert", ".geom", ".frag", ".cs", ".glsl"};
    for (const char* extension : kRead) {
        const std::string e = extension;
        if (path.size() > e.size() && path.compare(path.size() - e.size(), e.size(), e) == 0)
            return true;
    }
    return path == "music.mp3";
}

} // namespace

int main(int argc, char** argv)
{
    const pack::PackOptions options = pack::parsePackOptions(std::vector<std::string>(argv, argv + argc));
    if (options.help) {
        std::fputs(pack::helpText().c_str(), stdout);
        return 0;
    }
    if (options.version) {
        std::printf("%s\n", pack::versionText().c_str());
        return 0;
    }
    if (!options.error.empty())
        return usageError(options.error);
    const std::string& folder = options.folder;
    const std::vector<std::string>& patterns = options.patterns;
    std::string out = options.out;
    std::error_code error;
    if (!std::filesystem::is_directory(std::filesystem::path(folder) / "fx", error))
        return usageError("no fx/ folder in " + folder + ": name a demo's root folder, e.g. examples/lumenfall");
    if (out.empty())
        out = (std::filesystem::path(folder) / "datapack.dat").string();

    const std::vector<std::string> paths = platform::collectPackFiles(folder, patterns, out);
    if (paths.empty()) {
        std::fprintf(stderr, "tarvonic-pack: no file in %s matches; nothing written\n", folder.c_str());
        return 1;
    }
    std::string why;
    size_t bytes = 0;
    if (!platform::writeDataPack(folder, paths, out, why, &bytes)) {
        std::fprintf(stderr, "tarvonic-pack: %s; nothing written\n", why.c_str());
        return 1;
    }
    for (const std::string& path : paths) {
        std::printf("  %s\n", path.c_str());
        if (!playerReadsFromPack(path))
            std::fprintf(stderr, "tarvonic-pack: note: %s is packed, but the player reads it only as a loose file, unless a shader stage includes it\n",
                         path.c_str());
    }
    std::printf("%s: %zu files, %zu bytes\n", out.c_str(), paths.size(), bytes);
    return 0;
}
