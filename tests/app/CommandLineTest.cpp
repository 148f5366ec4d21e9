#include "app/CommandLine.h"
#include "app/Launch.h"

#include <gtest/gtest.h>

using app::chooseActiveSetupPath;
using app::scanActiveSkenesFileOption;

TEST(ActiveSkenesFileOption, LaterMatchReplacesEarlierAndProgramNameCounts)
{
    EXPECT_EQ(scanActiveSkenesFileOption({"tarvonic", "-x", "-activeSkenesFile:a.as"}, ""), "a.as");
    EXPECT_EQ(scanActiveSkenesFileOption({"tarvonic", "-activeSkenesFile:a.as", "-activeSkenesFile:b.as"}, ""),
              "b.as");
    // Every argument that contains the option text counts, wherever it sits.
    EXPECT_EQ(scanActiveSkenesFileOption({"x-activeSkenesFile:prog.as"}, ""), "prog.as");
    EXPECT_EQ(scanActiveSkenesFileOption({"tarvonic", "--other"}, "kept.as"), "kept.as");
}

TEST(ActiveSkenesFileOption, EmptyValueFallsBackToDefaultSetup)
{
    const std::string option = scanActiveSkenesFileOption({"tarvonic", "-activeSkenesFile:"}, "");
    EXPECT_EQ(option, "");
    EXPECT_EQ(chooseActiveSetupPath(option, "/demo/fx", ""), "/demo/fx/_ActiveSkeneSetups/lumenfall.as");
}

TEST(ActiveSetupChoice, CurrentSetupFileWinsOverOption)
{
    EXPECT_EQ(chooseActiveSetupPath("/x/mine.as", "/demo/fx", ""), "/x/mine.as");
    EXPECT_EQ(chooseActiveSetupPath("/x/mine.as", "/demo/fx", "party.as"),
              "/demo/fx/_ActiveSkeneSetups/party.as");
    // The name is taken as it stands, line end and all.
    EXPECT_EQ(chooseActiveSetupPath("", "/demo/fx", "party.as\n"), "/demo/fx/_ActiveSkeneSetups/party.as\n");
}

TEST(CommandLine, DemoFolderOptionsAndMistakes)
{
    using app::parseCommandLine;
    // The setup option counts wherever it sits in an argument.
    const app::CommandLine plain = parseCommandLine({"tarvonic", "x-activeSkenesFile:x.as", "examples/lumenfall"});
    EXPECT_EQ(plain.demoFolder, "examples/lumenfall");
    EXPECT_EQ(plain.error, "");
    EXPECT_FALSE(plain.help || plain.version);

    EXPECT_TRUE(parseCommandLine({"tarvonic", "-h"}).help);
    EXPECT_FALSE(plain.verbose);
    EXPECT_TRUE(parseCommandLine({"tarvonic", "-verbose", "demo"}).verbose);
    EXPECT_TRUE(parseCommandLine({"tarvonic", "demo", "--version"}).version);

    EXPECT_EQ(parseCommandLine({"tarvonic", "--fullscreen", "-x"}).error,
              "unknown option --fullscreen (tarvonic --help lists the options)");
    EXPECT_EQ(parseCommandLine({"tarvonic", "a", "b"}).error, "one demo folder only, not both a and b");
    // A flag matches whole, not as a prefix.
    EXPECT_NE(parseCommandLine({"tarvonic", "--helpme"}).error, "");
}

TEST(CommandLine, NewDemoTakesTheFolderAndPlaysNothing)
{
    using app::parseCommandLine;
    const app::CommandLine line = parseCommandLine({"tarvonic", "--new-demo", "demos/mine"});
    EXPECT_TRUE(line.newDemo);
    EXPECT_EQ(line.demoFolder, "demos/mine");
    EXPECT_EQ(line.error, "");
    EXPECT_EQ(parseCommandLine({"tarvonic", "mine", "--new-demo"}).demoFolder, "mine");

    EXPECT_EQ(parseCommandLine({"tarvonic", "--new-demo"}).error,
              "--new-demo needs the folder to write: tarvonic --new-demo <folder>");
    EXPECT_NE(parseCommandLine({"tarvonic", "--new-demo", "mine", "-capture:out"}).error, "");
    // An earlier mistake is the one reported.
    EXPECT_EQ(parseCommandLine({"tarvonic", "--new-demo", "-x"}).error,
              "unknown option -x (tarvonic --help lists the options)");
    EXPECT_NE(app::helpText().find("\n  --new-demo <folder>  "), std::string::npos) << app::helpText();
}

TEST(CommandLine, CaptureOptionsAndTheirMistakes)
{
    using app::parseCommandLine;
    const app::CommandLine line = parseCommandLine({"tarvonic", "-captureFps:30", "-capture:out", "-captureSize:1920x1080",
                                                    "-captureSeconds:12.5", "-captureFormat:mp4"});
    EXPECT_EQ(line.error, "");
    EXPECT_EQ(line.capture.folder, "out");
    EXPECT_EQ(line.capture.fps, 30);
    EXPECT_EQ(line.capture.width, 1920);
    EXPECT_EQ(line.capture.height, 1080);
    EXPECT_EQ(line.capture.seconds, 12.5);
    EXPECT_EQ(line.capture.format, app::CaptureFormat::Mp4);
    const app::CaptureOptions defaults = parseCommandLine({"tarvonic", "-capture:out"}).capture;
    EXPECT_EQ(defaults.fps, 60);
    EXPECT_EQ(defaults.width * 10000 + defaults.height, 1280 * 10000 + 720);
    EXPECT_EQ(defaults.seconds, 0.0);
    EXPECT_EQ(defaults.format, app::CaptureFormat::Png);

    for (const char* bad : {"-captureFps:0", "-captureFps:24.5", "-captureSize:1921x1080", "-captureSize:1280",
                            "-captureSize:0x0", "-captureSeconds:-1", "-captureSeconds:nan", "-captureSeconds:3s",
                            "-captureFormat:avi", "-capture:"}) {
        const std::string error = parseCommandLine({"tarvonic", "-capture:out", bad}).error;
        EXPECT_EQ(error.rfind(std::string(bad).substr(0, std::string(bad).find(':') + 1), 0), 0u) << bad << ": " << error;
    }
    // Shaping a capture that is not asked for is a mistake too.
    EXPECT_EQ(parseCommandLine({"tarvonic", "-captureFps:30"}).error,
              "the -capture...: options shape a capture: add -capture:<folder>");
}

TEST(DisplayCheck, FindsTheDisplayOfSomePlatformQtWillTry)
{
    app::DisplayEnvironment env;
    env.canOpenX11 = [](const std::string& name) { return name == ":0"; };
    EXPECT_EQ(app::displayProblem(env),
              "no display: DISPLAY is not set (on a machine without one, run tarvonic under xvfb-run -a)");
    env.x11Display = ":7";
    EXPECT_EQ(app::displayProblem(env).rfind("no display: cannot open display :7 (", 0), 0u);
    env.x11Display = ":0";
    EXPECT_EQ(app::displayProblem(env), "");

    env.platform = "wayland;xcb:nograb"; // the first that reaches its display
    EXPECT_EQ(app::displayProblem(env), "");
    env.x11Display.clear();
    EXPECT_EQ(app::displayProblem(env).rfind("no display: WAYLAND_DISPLAY is not set", 0), 0u);
    env.platform = "offscreen"; // what tests use: no display needed
    EXPECT_EQ(app::displayProblem(env), "");
}
