#include "app/CommandLine.h"

#include <algorithm>

#ifndef TARVONIC_VERSION
#define TARVONIC_VERSION "unknown"
#endif

namespace app {

const char* const kActiveSkenesFileOption = "-activeSkenesFile:";

namespace {

// One option. A name that ends in ':' takes the text after it as its value.
struct Option {
    const char* name;
    const char* alias; // another spelling, or null
    const char* value; // how --help shows the value, or null
    const char* help;  // one line
    // Takes the value; returns one line when it cannot be used.
    std::string (*apply)(CommandLine& line, const std::string& value);
    // Counts wherever the name occurs in an argument, not only at its start:
    // setups have always been chosen that way.
    bool anywhere = false;
};

const Option kOptions[] = {
    {kActiveSkenesFileOption, nullptr, "<path>", "the active skene setup to start with (relative to the demo folder)",
     // Start-up reads it itself, from every argument that holds it.
     [](CommandLine&, const std::string&) { return std::string(); }, true},
    {"--help", "-h", nullptr, "print these options and exit",
     [](CommandLine& line, const std::string&) {
         line.help = true;
         return std::string();
     }},
    {"--version", nullptr, nullptr, "print the version and exit",
     [](CommandLine& line, const std::string&) {
         line.version = true;
         return std::string();
     }},
};

bool takesValue(const std::string& name)
{
    return !name.empty() && name.back() == ':';
}

// True when arg is this spelling of the option; value gets what follows.
bool matches(const Option& option, const char* name, const std::string& arg, std::string& value)
{
    if (!name)
        return false;
    const std::string n = name;
    if (!takesValue(n)) {
        value.clear();
        return arg == n;
    }
    const size_t at = option.anywhere ? arg.find(n) : (arg.compare(0, n.size(), n) == 0 ? 0 : std::string::npos);
    if (at == std::string::npos)
        return false;
    value = arg.substr(at + n.size());
    return true;
}

const Option* findOption(const std::string& arg, std::string& value)
{
    for (const Option& option : kOptions) {
        if (matches(option, option.name, arg, value) || matches(option, option.alias, arg, value))
            return &option;
    }
    return nullptr;
}

std::string optionColumn(const Option& option)
{
    std::string text = option.alias ? std::string(option.alias) + ", " : std::string();
    text += option.name;
    if (option.value)
        text += option.value;
    return text;
}

} // namespace

CommandLine parseCommandLine(const std::vector<std::string>& args)
{
    CommandLine line;
    for (size_t i = 1; i < args.size(); ++i) {
        const std::string& arg = args[i];
        std::string value;
        std::string error;
        if (const Option* option = findOption(arg, value)) {
            error = option->apply(line, value);
        } else if (!arg.empty() && arg[0] == '-') {
            error = "unknown option " + arg + " (tarvonic --help lists the options)";
        } else if (!line.demoFolder.empty()) {
            error = "one demo folder only, not both " + line.demoFolder + " and " + arg;
        } else {
            line.demoFolder = arg;
        }
        if (line.error.empty())
            line.error = error;
    }
    return line;
}

std::string helpText()
{
    size_t width = 0;
    for (const Option& option : kOptions)
        width = std::max(width, optionColumn(option).size());
    std::string text = "Usage: tarvonic [options] [demo folder]\n"
                       "Plays the demo whose root folder (the one that holds fx/) is given, else the one in\n"
                       "the working directory.\n\n";
    for (const Option& option : kOptions) {
        const std::string column = optionColumn(option);
        text += "  " + column + std::string(width - column.size() + 2, ' ') + option.help + "\n";
    }
    text += "\ntarvonic-pack writes a demo's datapack.dat (tarvonic-pack --help).\n";
    return text;
}

std::string versionText()
{
    return std::string("tarvonic ") + TARVONIC_VERSION;
}

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
