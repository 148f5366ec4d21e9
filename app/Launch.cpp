#include "app/Launch.h"

#include "app/AppState.h"
#include "app/Capture.h"
#include "app/CommandLine.h"
#include "app/InstalledData.h"
#include "app/NewDemo.h"
#include "app/ProcessState.h"
#include "app/Startup.h"
#include "platform/Process.h"
#include "sync/SyncLog.h"

#include <QLoggingCategory>
#include <QStringList>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <system_error>
#include <vector>

// Last: Xlib's macros must not meet the headers above.
#include <X11/Xlib.h>

namespace app {

namespace {

// The example to name: the installed one when there is one, else the
// checkout's, from where the program usually runs in it.
std::string exampleDemo()
{
    const std::string installed = installedExampleDemo(platform::executableDirectory());
    return installed.empty() ? "examples/lumenfall" : installed;
}

const char* const kHeadlessHint = "on a machine without one, run tarvonic under xvfb-run -a";

int cannotStart(const std::string& line)
{
    std::fprintf(stderr, "%s\n", line.c_str());
    return kExitCannotStart;
}

bool canOpenX11(const std::string& name)
{
    Display* display = XOpenDisplay(name.c_str());
    if (!display)
        return false;
    XCloseDisplay(display);
    return true;
}

std::string variable(const char* name)
{
    const char* value = std::getenv(name);
    return value ? value : "";
}

// What keeps one platform plugin from its display; empty when nothing does.
std::string platformProblem(const std::string& platform, const DisplayEnvironment& env)
{
    // A plugin name may carry options: "xcb:nograb".
    const std::string name = platform.substr(0, platform.find(':'));
    if (name == "xcb") {
        if (env.x11Display.empty())
            return "DISPLAY is not set";
        if (env.canOpenX11 && !env.canOpenX11(env.x11Display))
            return "cannot open display " + env.x11Display;
        return {};
    }
    if (name.compare(0, 7, "wayland") == 0)
        return env.waylandDisplay.empty() ? "WAYLAND_DISPLAY is not set" : std::string();
    // offscreen, minimal, eglfs, vnc and the like: nothing to reach from here.
    return {};
}

// The demo folder becomes the working directory: every path of a demo
// (skenes, shaders, tracks, music, the pack) is relative to its root.
std::string enterDemoFolder(const CommandLine& line)
{
    std::error_code error;
    if (!line.demoFolder.empty()) {
        std::filesystem::current_path(line.demoFolder, error);
        if (error)
            return "cannot enter the demo folder " + line.demoFolder + ": " + error.message();
    }
    if (std::filesystem::is_directory("fx", error))
        return {};
    if (line.demoFolder.empty())
        return "no fx/ folder here: run tarvonic in a demo's root folder, e.g. " + exampleDemo();
    return "no fx/ folder in " + line.demoFolder + ": name a demo's root folder, e.g. " + exampleDemo();
}

} // namespace

DisplayEnvironment currentDisplayEnvironment()
{
    DisplayEnvironment env;
    env.platform = variable("QT_QPA_PLATFORM");
    env.x11Display = variable("DISPLAY");
    env.waylandDisplay = variable("WAYLAND_DISPLAY");
    env.canOpenX11 = canOpenX11;
    return env;
}

std::string displayProblem(const DisplayEnvironment& env)
{
    // Qt tries each plugin of a ";"-separated list in turn.
    std::vector<std::string> platforms;
    size_t from = 0;
    while (from <= env.platform.size()) {
        const size_t end = std::min(env.platform.find(';', from), env.platform.size());
        if (end > from)
            platforms.push_back(env.platform.substr(from, end - from));
        from = end + 1;
    }
    if (platforms.empty())
        platforms.push_back("xcb");

    std::string first;
    for (const std::string& platform : platforms) {
        const std::string problem = platformProblem(platform, env);
        if (problem.empty())
            return {};
        if (first.empty())
            first = problem;
    }
    return "no display: " + first + " (" + kHeadlessHint + ")";
}

int runProgram(int argc, char** argv)
{
    const CommandLine line = parseCommandLine(std::vector<std::string>(argv, argv + argc));
    if (line.help) {
        std::fputs(helpText().c_str(), stdout);
        return 0;
    }
    if (line.version) {
        std::printf("%s\n", versionText().c_str());
        return 0;
    }
    if (!line.error.empty())
        return cannotStart(line.error);
    if (line.newDemo)
        return runNewDemo(argv[0], line.demoFolder);
    // The capture folder is named from where the program was started.
    CaptureOptions capture = line.capture;
    QStringList logRules;
    if (capture.active()) {
        const std::string problem = readyCaptureFolder(capture);
        if (!problem.empty())
            return cannotStart(problem);
        // The progress line must stay readable among the debug lines of
        // every frame; warnings and QML errors still show.
        logRules << QStringLiteral("default.debug=false");
    }
    if (line.verbose)
        logRules << QString::fromLatin1(kSyncTrafficOnRule);
    if (!logRules.isEmpty())
        QLoggingCategory::setFilterRules(logRules.join(QLatin1Char('\n')));
    const std::string notADemo = enterDemoFolder(line);
    if (!notADemo.empty())
        return cannotStart(notADemo);
    // Qt would print its plugin message and abort; one line of ours instead.
    const std::string noDisplay = displayProblem(currentDisplayEnvironment());
    if (!noDisplay.empty())
        return cannotStart(noDisplay);
    // The demo's state lives as long as the program runs the demo.
    ProcessState state;
    appState().capture = capture;
    return runStartup(argc, argv);
}

} // namespace app
