#include "state/SkeneSetups.h"

#include "platform/DirectoryListing.h"
#include "platform/Files.h"

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
    std::string text;
    platform::readWholeFile(path, text);
    return text;
}

bool writeTextFile(const std::string& path, const std::string& text)
{
    return platform::writeFileAtomically(path, text);
}

std::string currentSetupFilePath(const std::string& fxPath)
{
    return fxPath + "/currentActiveScenesSetup.cfg";
}
