#include "app/DisplayModes.h"

#include "support/PrivateXServer.h"
#include "support/QtTestApp.h"

#include <QCoreApplication>
#include <gtest/gtest.h>

#include <csignal>
#include <string>
#include <sys/wait.h>
#include <unistd.h>

using app::DisplayMode;

namespace {

std::string text(DisplayMode m)
{
    return std::to_string(m.width) + "x" + std::to_string(m.height);
}

#define REQUIRE_PRIVATE_SERVER(server)                                                                   \
    if (!(server).running())                                                                           \
        GTEST_SKIP() << "Xvfb could not be started";

} // namespace

TEST(SelectedResolution, SplitsAtRunsOfXAndReadsLeadingDigits)
{
    struct Case {
        const char* text;
        int width;
        int height;
    } cases[] = {
        {"1024x768", 1024, 768},   {"1920xx1200", 1920, 1200}, {"x1280x720x", 1280, 720},
        {"800", 800, 0},           {"1280x720 (60Hz)", 1280, 720}, {"1280x7a20", 1280, 7},
        {"1920x-1080", 1920, 0},
    };
    for (const Case& c : cases) {
        int width = 1280, height = 720;
        app::applySelectedResolution(c.text, width, height);
        EXPECT_EQ(width, c.width) << c.text;
        EXPECT_EQ(height, c.height) << c.text;
    }
}

TEST(SelectedResolution, WithoutLeadingNumberSizeStays)
{
    for (const char* t : {"", "x", "xxx", "abcx768", "0x600", "99999999999999999999x1080", "70000x1080"}) {
        int width = 1280, height = 720;
        app::applySelectedResolution(t, width, height);
        EXPECT_EQ(width, 1280) << t;
        EXPECT_EQ(height, 720) << t;
    }
}

TEST(ResolutionList, EachSizeOnceInReportedOrder)
{
    const std::vector<DisplayMode> modes = {{1920, 1080}, {1280, 720}, {1920, 1080}, {1024, 768},
                                            {1280, 720},  {800, 600},  {1280, 1024}};
    EXPECT_EQ(app::resolutionTexts(modes),
              (std::vector<std::string>{"1920x1080", "1280x720", "1024x768", "800x600", "1280x1024"}));
    EXPECT_TRUE(app::resolutionTexts({}).empty());
}

TEST(ResolutionList, ProgramDisplayListsItsOutputModes)
{
    ensureQtApp();
    std::vector<DisplayMode> modes;
    ASSERT_TRUE(app::listXrandrModes(nullptr, modes));
    ASSERT_FALSE(modes.empty());
    EXPECT_EQ(app::listResolutions(), app::resolutionTexts(modes));
}

TEST(XrandrModes, ListsOutputModesInOrderAndDeduplicatesRefreshRates)
{
    PrivateXServer server;
    REQUIRE_PRIVATE_SERVER(server);
    XrandrProbe probe(server.name());
    ASSERT_TRUE(probe.ok()) << server.name();
    probe.addMode(1280, 720, 60);
    probe.addMode(1280, 720, 50);
    probe.addMode(1024, 768, 60);
    std::vector<DisplayMode> modes;
    ASSERT_TRUE(app::listXrandrModes(server.name(), modes));
    std::vector<std::string> raw;
    for (const DisplayMode& m : modes)
        raw.push_back(text(m));
    EXPECT_EQ(raw, (std::vector<std::string>{"1920x1080", "1280x720", "1280x720", "1024x768"}));
    EXPECT_EQ(app::resolutionTexts(modes), (std::vector<std::string>{"1920x1080", "1280x720", "1024x768"}));

    EXPECT_FALSE(app::listXrandrModes(":4242", modes)); // no such display
    EXPECT_TRUE(modes.empty());
}

TEST(XrandrModes, SwitchesToOfferedModeAndRestoresIt)
{
    PrivateXServer server;
    REQUIRE_PRIVATE_SERVER(server);
    XrandrProbe probe(server.name());
    ASSERT_TRUE(probe.ok()) << server.name();
    probe.addMode(1280, 720, 60);

    ASSERT_TRUE(app::switchXrandrMode(server.name(), 1280, 720));
    EXPECT_TRUE(app::displayModeSwitched());
    EXPECT_EQ(text(probe.currentMode()), "1280x720");

    app::restoreDisplayMode();
    EXPECT_FALSE(app::displayModeSwitched());
    EXPECT_EQ(text(probe.currentMode()), "1920x1080");
    app::restoreDisplayMode(); // a second restore changes nothing
    EXPECT_EQ(text(probe.currentMode()), "1920x1080");
}

TEST(XrandrModes, RefusesSizeNotOfferedAndKeepsCurrentSizeWithoutSwitch)
{
    PrivateXServer server;
    REQUIRE_PRIVATE_SERVER(server);
    XrandrProbe probe(server.name());
    ASSERT_TRUE(probe.ok()) << server.name();

    EXPECT_FALSE(app::switchXrandrMode(server.name(), 1234, 567));
    EXPECT_FALSE(app::switchXrandrMode(server.name(), 0, 0));
    EXPECT_FALSE(app::displayModeSwitched());
    EXPECT_EQ(text(probe.currentMode()), "1920x1080");

    // The size shown now needs no switch, so there is nothing to restore.
    EXPECT_TRUE(app::switchXrandrMode(server.name(), 1920, 1080));
    EXPECT_FALSE(app::displayModeSwitched());

    EXPECT_FALSE(app::switchXrandrMode(":4242", 1920, 1080));
}

TEST(XrandrModes, GrowsScreenForLargerModeAndShrinksItBack)
{
    PrivateXServer server("2560x1440x24");
    REQUIRE_PRIVATE_SERVER(server);
    XrandrProbe probe(server.name());
    ASSERT_TRUE(probe.ok()) << server.name();
    probe.addMode(1280, 720, 60);
    probe.addMode(1920, 1080, 60);
    probe.showMode(1280, 720);
    ASSERT_EQ(text(probe.currentMode()), "1280x720");
    ASSERT_EQ(text(probe.screenSize()), "1280x720");

    ASSERT_TRUE(app::switchXrandrMode(server.name(), 1920, 1080));
    EXPECT_EQ(text(probe.currentMode()), "1920x1080");
    EXPECT_EQ(text(probe.screenSize()), "1920x1080");

    app::restoreDisplayMode();
    EXPECT_EQ(text(probe.currentMode()), "1280x720");
    EXPECT_EQ(text(probe.screenSize()), "1280x720");
}

TEST(XrandrModes, WithoutXrandrOnlyTheScreenSizeIsShown)
{
    PrivateXServer server("1920x1080x24", false);
    REQUIRE_PRIVATE_SERVER(server);
    std::vector<DisplayMode> modes;
    EXPECT_FALSE(app::listXrandrModes(server.name(), modes));
    EXPECT_TRUE(app::switchXrandrMode(server.name(), 1920, 1080));
    EXPECT_EQ(app::fullScreenOrigin().x, 0);
    EXPECT_EQ(app::fullScreenOrigin().y, 0);
    EXPECT_FALSE(app::switchXrandrMode(server.name(), 1280, 720));
    EXPECT_FALSE(app::displayModeSwitched());
}

TEST(XrandrModes, FullScreenOriginIsWhereTheOutputStarts)
{
    PrivateXServer server("2560x1440x24");
    REQUIRE_PRIVATE_SERVER(server);
    XrandrProbe probe(server.name());
    ASSERT_TRUE(probe.ok()) << server.name();
    probe.addMode(1280, 720, 60);
    probe.addMode(1024, 768, 60);
    probe.placeMode(1280, 720, 640, 360);
    ASSERT_EQ(text(probe.currentMode()), "1280x720");

    ASSERT_TRUE(app::switchXrandrMode(server.name(), 1280, 720)); // shown already
    EXPECT_EQ(app::fullScreenOrigin().x, 640);
    EXPECT_EQ(app::fullScreenOrigin().y, 360);
    ASSERT_TRUE(app::switchXrandrMode(server.name(), 1024, 768)); // switched in place
    EXPECT_EQ(app::fullScreenOrigin().x, 640);
    EXPECT_EQ(app::fullScreenOrigin().y, 360);
    app::restoreDisplayMode();
}

TEST(XrandrModes, SecondSignalEndsTheProcessWhileTheGuiThreadHangs)
{
    PrivateXServer server;
    REQUIRE_PRIVATE_SERVER(server);
    {
        XrandrProbe probe(server.name());
        ASSERT_TRUE(probe.ok()) << server.name();
        probe.addMode(1280, 720, 60);
    }
    const pid_t child = ::fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        static int argc = 1;
        static char name[] = "hanging-child";
        static char* argv[] = {name, nullptr};
        QCoreApplication application(argc, argv);
        if (!app::switchXrandrMode(server.name(), 1280, 720))
            ::_exit(3);
        // The event loop never runs again: the restore cannot happen.
        ::kill(::getpid(), SIGINT);
        ::kill(::getpid(), SIGINT);
        for (int i = 0; i < 200; ++i)
            ::usleep(100000);
        ::_exit(4); // still alive after 20 s
    }
    int status = 0;
    ASSERT_EQ(::waitpid(child, &status, 0), child);
    ASSERT_TRUE(WIFSIGNALED(status)) << "exit code " << WEXITSTATUS(status);
    EXPECT_EQ(WTERMSIG(status), SIGINT);
    app::restoreDisplayMode();
}

TEST(XrandrModes, TerminationSignalRestoresModeThenEndsProcess)
{
    PrivateXServer server;
    REQUIRE_PRIVATE_SERVER(server);
    {
        XrandrProbe probe(server.name());
        ASSERT_TRUE(probe.ok()) << server.name();
        probe.addMode(1280, 720, 60);
    }
    for (const int sig : {SIGTERM, SIGINT}) {
        const pid_t child = ::fork();
        ASSERT_GE(child, 0);
        if (child == 0) {
            static int argc = 1;
            static char name[] = "signal-child";
            static char* argv[] = {name, nullptr};
            QCoreApplication application(argc, argv);
            if (!app::switchXrandrMode(server.name(), 1280, 720))
                ::_exit(3);
            ::kill(::getpid(), sig);
            application.exec();
            ::_exit(4); // the signal should have ended the process
        }
        int status = 0;
        ASSERT_EQ(::waitpid(child, &status, 0), child);
        ASSERT_TRUE(WIFSIGNALED(status)) << "exit code " << WEXITSTATUS(status);
        EXPECT_EQ(WTERMSIG(status), sig);
        XrandrProbe probe(server.name());
        EXPECT_EQ(text(probe.currentMode()), "1920x1080");
    }
}
