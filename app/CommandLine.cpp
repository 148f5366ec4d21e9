#include "app/CommandLine.h"

namespace app {

const char* const kActiveSkenesFileOption = "-activeSkenesFile:";

std::string scanActiveSkenesFileOption(const std::vector<std::string>& args, std::string path)
{
    const std::string option = kActiveSkenesFileOption;
    for (const auto& arg : args) {
        const size_t at = arg.find(option);
        if (at != std::string::npos)
            path = arg.substr(at + option.size());
    }
    return path;
}

std::string chooseActiveSetupPath(const std::string& optionPath, const std::string& fxPath,
                                  const std::string& currentSetupName)
{
    std::string path = optionPath;
    if (path.empty())
        path = fxPath + "/_ActiveSkeneSetups/lumenfall.as";
    if (!currentSetupName.empty())
        path = fxPath + "/_ActiveSkeneSetups/" + currentSetupName;
    return path;
}

} // namespace app
