#include "pack/PackOptions.h"

#include "platform/DataPack.h"

#ifndef TARVONIC_VERSION
#define TARVONIC_VERSION "unknown"
#endif

namespace pack {

namespace {

enum class Action { Help, Version, Out };

struct Option {
    const char* name; // ends in ':' when the value follows in the same argument
    const char* alias;
    const char* value;
    const char* help;
    Action action;
};

const Option kOptions[] = {
    {"-out:", nullptr, "<path>", "write the pack there instead of <demo folder>/datapack.dat", Action::Out},
    {"--help", "-h", nullptr, "print these options and exit", Action::Help},
    {"--version", nullptr, nullptr, "print the version and exit", Action::Version},
};

// The option arg spells, with what follows its name in value.
const Option* findOption(const std::string& arg, std::string& value)
{
    for (const Option& option : kOptions) {
        const std::string name = option.name;
        if (name.back() == ':' && arg.compare(0, name.size(), name) == 0) {
            value = arg.substr(name.size());
            return &option;
        }
        if (arg == name || (option.alias && arg == option.alias)) {
            value.clear();
            return &option;
        }
    }
    return nullptr;
}

std::vector<platform::OptionHelp> optionHelp()
{
    return platform::optionHelpRows(kOptions);
}

std::string defaultPatterns()
{
    std::string text;
    for (const std::string& pattern : platform::defaultPackPatterns())
        text += (text.empty() ? "" : " ") + pattern;
    return text;
}

} // namespace

PackOptions parsePackOptions(const std::vector<std::string>& args)
{
    PackOptions o;
    bool folderGiven = false;
    // The first argument that asks for help, the version or cannot be used
    // decides; what follows it is not read.
    for (size_t i = 1; i < args.size(); ++i) {
        const std::string& arg = args[i];
        std::string value;
        if (const Option* option = findOption(arg, value)) {
            switch (option->action) {
            case Action::Help:
                o.help = true;
                return o;
            case Action::Version:
                o.version = true;
                return o;
            case Action::Out:
                if (value.empty()) {
                    o.error = "-out: needs a path";
                    return o;
                }
                o.out = value;
                break;
            }
        } else if (!arg.empty() && arg[0] == '-') {
            o.error = "unknown option " + arg + " (tarvonic-pack --help lists the options)";
            return o;
        } else if (!folderGiven) {
            o.folder = arg;
            folderGiven = true;
        } else {
            o.patterns.push_back(arg);
        }
    }
    if (o.folder.empty())
        o.folder = ".";
    return o;
}

std::string helpText()
{
    return "Usage: tarvonic-pack [options] [demo folder] [pattern ...]\n"
           "Writes datapack.dat in the demo folder (the one that holds fx/; default: the working\n"
           "directory) from the files the patterns select, by default: " +
           defaultPatterns() +
           "\n"
           "A pattern with a '/' matches the path from the demo folder (a folder: all it holds), one\n"
           "without matches file names in every folder, one starting with '!' leaves out what it\n"
           "matches. Patterns given replace the defaults, unless all of them leave out.\n"
           "The player reads shader stages, the files they include and music.mp3 from the pack; other\n"
           "files stay loose.\n\n" +
           platform::optionListText(optionHelp());
}

std::string versionText()
{
    return std::string("tarvonic-pack ") + TARVONIC_VERSION;
}

platform::ManPage manPage()
{
    using platform::example;
    using platform::item;
    using platform::paragraph;
    platform::ManPage page;
    page.name = "tarvonic-pack";
    page.summary = "put a demo's shaders and music into its data pack";
    page.synopsis = {"[options] [demo folder] [pattern ...]"};
    page.source = std::string("Tarvonic ") + TARVONIC_VERSION;
    page.description = {
        paragraph("tarvonic-pack writes datapack.dat in the demo folder (the one that holds fx/; by default the "
                  "working directory) from the files the patterns select, by default " +
                  defaultPatterns() +
                  ". The player reads a shader stage, a file a stage includes or music.mp3 from the pack when "
                  "there is no loose file of that name; meshes and images are always read as loose files. A finished "
                  "demo ships with the pack in place of its loose shader files and music."),
        paragraph("A pattern with a '/' matches the path from the demo folder (one that matches a folder takes in "
                  "all it holds; a leading '/' only anchors it), one without matches file names in every folder, "
                  "and one that starts with '!' leaves out what it matches. Patterns given replace the default "
                  "ones unless all of them leave out. Hidden files and folders are never packed."),
        paragraph("Entries are stored shortest path first, so that the player, which takes the first entry whose "
                  "path contains the one it asks for, finds each by its own path. The pack is written through a "
                  "temporary file: a failure leaves an earlier pack as it was."),
    };
    page.options = optionHelp();
    page.sections = {
        {"Exit status",
         {item("0", "the pack is written; it lists the files it packed"),
          item("1", "nothing is written: a path longer than 254 bytes, a file it cannot read, no file selected, or "
                    "a write that fails"),
          item("2", "a command line it cannot use, or a folder without fx/")}},
        {"Examples",
         {example("tarvonic-pack mydemo\n"
                  "tarvonic-pack mydemo 'fx/*/*.frag' /music.mp3\n"
                  "tarvonic-pack mydemo '!fx/old' -out:release/datapack.dat")}},
        {"See also", {paragraph("tarvonic(1)")}},
    };
    return page;
}

} // namespace pack
