#include "state/SkeneSetups.h"

#include "platform/DirectoryListing.h"
#include "platform/Files.h"

#include <fstream>
#include <iterator>

std::vector<std::string> listSetupFiles(const std::string& dir)
{
    std::vector<std::string> out;
    for (const auto& name : platform::listDirectory(dir)) {
        if (name.find(".as") != std::string::npos && name[0] != '.')
            out.push_back(name);
    }
    return out;
}

std::vector<std::string> listSkeneDirectories(const std::string& dir)
{
    std::vector<std::string> out;
    for (const auto& name : platform::listDirectory(dir)) {
        if (name.find('.') == std::string::npos)
            out.push_back(name);
    }
    return out;
}

std::string readTextFile(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    if (!in)
        return {};
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

bool writeTextFile(const std::string& path, const std::string& text)
{
    return platform::writeFileAtomically(path, text);
}

std::string currentSetupFilePath(const std::string& fxPath)
{
    return fxPath + "/currentActiveScenesSetup.cfg";
}
