// tarvonic-pack: writes a demo's data pack, "datapack.dat", from its root
// folder, so that a finished demo ships its shaders and music in one file.
//   tarvonic-pack [options] [demo folder] [pattern ...]
// Exit codes: 0 when the pack is written; 1 when it cannot be (a path too
// long for the pack, an unreadable file, nothing selected, a write that
// fails); 2 for a command line it cannot use or a folder that is no demo.
#include "platform/DataPack.h"

#include <cstdio>
#include <filesystem>
#include <string>
#include <system_error>
#include <vector>

#ifndef TARVONIC_VERSION
#define TARVONIC_VERSION "unknown"
#endif

namespace {

const char* const kOutOption = "-out:";

void printHelp()
{
    std::string defaults;
    for (const std::string& pattern : platform::defaultPackPatterns())
        defaults += " " + pattern;
    std::printf(
        "Usage: tarvonic-pack [options] [demo folder] [pattern ...]\n"
        "Writes datapack.dat in the demo folder (the one that holds fx/; default: the working\n"
        "directory) from the files the patterns select, by default:%s\n"
        "A pattern with a '/' matches the path from the demo folder (a folder: all it holds), one\n"
        "without matches file names in every folder, one starting with '!' leaves out what it\n"
        "matches. Patterns given replace the defaults, unless all of them leave out.\n"
        "The player reads shader stages and music.mp3 from the pack; other files stay loose.\n\n"
        "  -out:<path>  write the pack there instead\n"
        "  -h, --help   print these options and exit\n"
        "  --version    print the version and exit\n",
        defaults.c_str());
}

int usageError(const std::string& line)
{
    std::fprintf(stderr, "tarvonic-pack: %s\n", line.c_str());
    return 2;
}

// Only these come from the pack; anything else packed is dead weight.
bool playerReadsFromPack(const std::string& path)
{
    static const char* const kRead[] = {".vert", ".geom", ".frag", ".cs"};
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
    std::string folder;
    std::string out;
    std::vector<std::string> patterns;
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        if (arg == "-h" || arg == "--help") {
            printHelp();
            return 0;
        }
        if (arg == "--version") {
            std::printf("tarvonic-pack %s\n", TARVONIC_VERSION);
            return 0;
        }
        if (arg.compare(0, std::string(kOutOption).size(), kOutOption) == 0) {
            out = arg.substr(std::string(kOutOption).size());
            if (out.empty())
                return usageError("-out: needs a path");
        } else if (!arg.empty() && arg[0] == '-') {
            return usageError("unknown option " + arg + " (tarvonic-pack --help lists the options)");
        } else if (folder.empty()) {
            folder = arg;
        } else {
            patterns.push_back(arg);
        }
    }
    if (folder.empty())
        folder = ".";
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
            std::fprintf(stderr, "tarvonic-pack: note: %s is packed, but the player reads it only as a loose file\n",
                         path.c_str());
    }
    std::printf("%s: %zu files, %zu bytes\n", out.c_str(), paths.size(), bytes);
    return 0;
}
