#include "app/CommandLine.h"

#include <algorithm>
#include <charconv>
#include <cmath>

#ifndef TARVONIC_VERSION
#define TARVONIC_VERSION "unknown"
#endif

namespace app {

const char* const kActiveSkenesFileOption = "-activeSkenesFile:";

namespace {

// A whole decimal number in lo..hi.
bool readInt(const std::string& text, int lo, int hi, int& value)
{
    int v = 0;
    const char* end = text.data() + text.size();
    const auto [at, error] = std::from_chars(text.data(), end, v);
    if (error != std::errc() || at != end || v < lo || v > hi)
        return false;
    value = v;
    return true;
}

// The widest texture common GPUs make.
constexpr int kMaxCaptureSide = 16384;

std::string setCaptureFolder(CommandLine& line, const std::string& value)
{
    if (value.empty())
        return "-capture: needs a folder: -capture:<folder>";
    line.capture.folder = value;
    return {};
}

std::string setCaptureFps(CommandLine& line, const std::string& value)
{
    if (!readInt(value, 1, 1000, line.capture.fps))
        return "-captureFps: takes whole frames per second from 1 to 1000, not \"" + value + "\"";
    return {};
}

std::string setCaptureSize(CommandLine& line, const std::string& value)
{
    // Even sides: video encoders halve the colour resolution.
    const size_t x = value.find('x');
    int w = 0, h = 0;
    if (x == std::string::npos || !readInt(value.substr(0, x), 2, kMaxCaptureSide, w) ||
        !readInt(value.substr(x + 1), 2, kMaxCaptureSide, h) || w % 2 != 0 || h % 2 != 0)
        return "-captureSize: takes <width>x<height>, even numbers from 2 to " + std::to_string(kMaxCaptureSide) +
               " (e.g. 1920x1080), not \"" + value + "\"";
    line.capture.width = w;
    line.capture.height = h;
    return {};
}

std::string setCaptureSeconds(CommandLine& line, const std::string& value)
{
    double s = 0.0;
    const char* end = value.data() + value.size();
    const auto [at, error] = std::from_chars(value.data(), end, s);
    if (error != std::errc() || at != end || !std::isfinite(s) || s <= 0.0 || s > 86400.0)
        return "-captureSeconds: takes a length in seconds above 0 (e.g. 12.5), not \"" + value + "\"";
    line.capture.seconds = s;
    return {};
}

std::string setCaptureFormat(CommandLine& line, const std::string& value)
{
    if (value == "png")
        line.capture.format = CaptureFormat::Png;
    else if (value == "mp4")
        line.capture.format = CaptureFormat::Mp4;
    else
        return "-captureFormat: takes png or mp4, not \"" + value + "\"";
    return {};
}

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
    {"-capture:", nullptr, "<folder>",
     "render the demo into folder (frame_000000.png ..., audio.wav), then exit",
     setCaptureFolder},
    {"-captureFps:", nullptr, "<n>", "frames a second of the capture (default 60)", setCaptureFps},
    {"-captureSize:", nullptr, "<w>x<h>", "size of the captured frames, even numbers (default 1280x720)", setCaptureSize},
    {"-captureSeconds:", nullptr, "<s>", "length of the capture (default: the music's length)", setCaptureSeconds},
    {"-captureFormat:", nullptr, "png|mp4",
     "mp4: frames piped to ffmpeg, no frame files (default png)",
     setCaptureFormat},
    {"-verbose", nullptr, nullptr, "also log every key and track the sync editors send (off: an editor's resend floods)",
     [](CommandLine& line, const std::string&) {
         line.verbose = true;
         return std::string();
     }},
    {"--new-demo", nullptr, " <folder>",
     "write a new demo that plays at once into folder (new or empty), then exit",
     [](CommandLine& line, const std::string&) {
         line.newDemo = true;
         return std::string();
     }},
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

std::vector<platform::OptionHelp> optionHelp()
{
    return platform::optionHelpRows(kOptions);
}

} // namespace

CommandLine parseCommandLine(const std::vector<std::string>& args)
{
    CommandLine line;
    bool shapesCapture = false;
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
        if (arg.compare(0, 8, "-capture") == 0)
            shapesCapture = true;
    }
    if (line.error.empty() && shapesCapture && !line.capture.active())
        line.error = "the -capture...: options shape a capture: add -capture:<folder>";
    if (line.error.empty() && line.newDemo && line.demoFolder.empty())
        line.error = "--new-demo needs the folder to write: tarvonic --new-demo <folder>";
    if (line.error.empty() && line.newDemo && shapesCapture)
        line.error = "--new-demo writes a demo and plays nothing: capture it in a second run";
    return line;
}

std::string helpText()
{
    return "Usage: tarvonic [options] [demo folder]\n"
           "       tarvonic --new-demo <folder>\n"
           "Plays the demo whose root folder (the one that holds fx/) is given, else the one in\n"
           "the working directory.\n\n" +
           platform::optionListText(optionHelp()) +
           "\nA capture muxes capture.mp4 when ffmpeg is on PATH; without a display, run it under xvfb-run -a.\n"
           "tarvonic-pack writes a demo's datapack.dat (tarvonic-pack --help).\n";
}

std::string versionText()
{
    return std::string("tarvonic ") + TARVONIC_VERSION;
}

platform::ManPage manPage()
{
    using platform::example;
    using platform::item;
    using platform::paragraph;
    platform::ManPage page;
    page.name = "tarvonic";
    page.summary = "play and edit a real-time demo";
    page.synopsis = {"[options] [demo folder]", "--new-demo folder"};
    page.source = std::string("Tarvonic ") + TARVONIC_VERSION;
    page.description = {
        paragraph("tarvonic plays the demo whose root folder (the one that holds fx/) it is given, or the one in the working "
         "directory, and makes that folder its working directory: every path of a demo is relative to its root. "
         "A start dialog chooses the skene setup, the resolution, full screen, the edit view and the sync-editor "
         "modes; Enter starts, Escape quits."),
        paragraph("A demo is a folder of skenes, fx/<skene>/Skene.qml with their shaders and meshes, that draw every frame "
         "in step with music.mp3. Their parameters follow sync tracks, read from sync/sync_<track>.track or edited "
         "live in sync editors (sync_editor), which the demo starts and connects to on TCP ports 1338 and up."),
        paragraph("With -capture: the demo plays from its track files on a fixed clock, without the start dialog, and every "
         "frame is written as a PNG file with the music as audio.wav, joined into capture.mp4 when ffmpeg is on "
         "PATH. Without a display, run it under xvfb-run -a."),
    };
    page.options = optionHelp();
    page.sections = {
        {"Exit status",
         {item("0", "the demo ended, or a capture wrote every frame and the audio"),
          item("1", "the demo has no skene folder, or --new-demo could not write the demo"),
          item("2",
           "it cannot start: an option it cannot use, a folder without fx/, no display, a capture folder it cannot "
           "make, or --new-demo given a folder that is not empty (one line on the standard error stream says which)"),
          item("3", "a shell view (fx/startDialog.qml, fx/main.qml, ...) is missing or does not load"),
          item("4", "a capture could not write a frame, the audio or the video, or its window was closed")}},
        {"Files",
         {item("fx/_ActiveSkeneSetups/*.as",
           "the skene setups; lumenfall.as when no other is chosen"),
          item("fx/currentActiveScenesSetup.cfg", "the setup chosen in the start dialog last time"),
          item("/usr/share/tarvonic/examples/lumenfall",
           "the example demo, when installed from the package")}},
        {"Examples",
         {example("tarvonic --new-demo mydemo\n"
           "tarvonic mydemo\n"
           "xvfb-run -a tarvonic mydemo -capture:mydemo-video -captureSeconds:5")}},
        {"See also", {paragraph("sync_editor(1), tarvonic-pack(1)")}},
    };
    return page;
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
