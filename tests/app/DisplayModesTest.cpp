#include "app/DisplayModes.h"

#include "support/QtTestApp.h"

#include <QCoreApplication>
#include <gtest/gtest.h>

#include <csignal>
#include <cstring>
#include <fstream>
#include <fcntl.h>
#include <string>
#include <sys/wait.h>
#include <unistd.h>

#include <X11/Xlib.h>
#include <X11/extensions/Xrandr.h>

using app::DisplayMode;

namespace {

// A private X server for the tests that change display modes, so that no
// other test running beside them on the shared server sees its screen change.
class PrivateXServer {
public:
    explicit PrivateXServer(const char* screen = "1920x1080x24")
    {
        // Display numbers far from the ones xvfb-run hands out, spread by
        // process so that tests running side by side rarely meet.
        const int base = 300 + int(::getpid() % 400);
        for (int n = base; n < base + 20 && name_.empty(); ++n)
            tryDisplay(n, screen);
    }
    ~PrivateXServer() { stop(); }
    bool running() const { return !name_.empty(); }
    const char* name() const { return name_.c_str(); }

private:
    void tryDisplay(int number, const char* screen)
    {
        const std::string name = ":" + std::to_string(number);
        if (::access(("/tmp/.X" + std::to_string(number) + "-lock").c_str(), F_OK) == 0)
            return;
        pid_ = ::fork();
        if (pid_ == 0) {
            const int devNull = ::open("/dev/null", O_WRONLY);
            ::dup2(devNull, 1);
            ::dup2(devNull, 2);
            ::execl("/usr/bin/Xvfb", "Xvfb", name.c_str(), "-screen", "0", screen, "-nolisten", "tcp", "-noreset",
                    static_cast<char*>(nullptr));
            ::_exit(127);
        }
        if (pid_ < 0)
            return;
        // Ready once it accepts a connection; gone when the number was taken.
        for (int waited = 0; waited < 100; ++waited) {
            if (::waitpid(pid_, nullptr, WNOHANG) == pid_) {
                pid_ = -1;
                return;
            }
            if (lockOwner(number) == pid_) {
                if (Display* d = XOpenDisplay(name.c_str())) {
                    XCloseDisplay(d);
                    name_ = name;
                    return;
                }
            }
            ::usleep(100000);
        }
        stop();
    }
    // The server that holds display number writes its process id into the
    // lock file: the one way to know that a server there is ours.
    static pid_t lockOwner(int number)
    {
        std::ifstream lock("/tmp/.X" + std::to_string(number) + "-lock");
        long pid = -1;
        lock >> pid;
        return lock ? pid_t(pid) : -1;
    }
    void stop()
    {
        if (pid_ > 0) {
            ::kill(pid_, SIGTERM);
            ::waitpid(pid_, nullptr, 0);
        }
        pid_ = -1;
    }

    pid_t pid_ = -1;
    std::string name_;
};

// Test-side view of the server's one output, through our own connection.
class XrandrProbe {
public:
    explicit XrandrProbe(const char* name)
        : display_(XOpenDisplay(name))
    {
    }
    ~XrandrProbe()
    {
        if (display_)
            XCloseDisplay(display_);
    }
    bool ok() const { return display_ != nullptr; }

    // Offers a mode of this size and refresh rate on the output.
    void addMode(int width, int height, int refreshHz)
    {
        const std::string name = std::to_string(width) + "x" + std::to_string(height) + "_"
                                 + std::to_string(refreshHz);
        XRRModeInfo info;
        std::memset(&info, 0, sizeof info);
        info.width = unsigned(width);
        info.height = unsigned(height);
        info.hTotal = unsigned(width + 100);
        info.vTotal = unsigned(height + 10);
        info.dotClock = (unsigned long)refreshHz * info.hTotal * info.vTotal;
        info.name = const_cast<char*>(name.c_str());
        info.nameLength = unsigned(name.size());
        const RRMode mode = XRRCreateMode(display_, root(), &info);
        XRRScreenResources* res = XRRGetScreenResourcesCurrent(display_, root());
        XRRAddOutputMode(display_, res->outputs[0], mode);
        XRRFreeScreenResources(res);
        XSync(display_, False);
    }

    // Size of the mode the output's crtc shows now.
    DisplayMode currentMode()
    {
        DisplayMode out;
        XRRScreenResources* res = XRRGetScreenResourcesCurrent(display_, root());
        XRRCrtcInfo* crtc = XRRGetCrtcInfo(display_, res, res->crtcs[0]);
        out = {int(crtc->width), int(crtc->height)};
        XRRFreeCrtcInfo(crtc);
        XRRFreeScreenResources(res);
        return out;
    }

    // The screen size as a fresh connection sees it.
    DisplayMode screenSize()
    {
        XSync(display_, False);
        Display* fresh = XOpenDisplay(DisplayString(display_));
        const DisplayMode out{DisplayWidth(fresh, 0), DisplayHeight(fresh, 0)};
        XCloseDisplay(fresh);
        return out;
    }

    // Makes the output show the first mode of this size and shrinks the
    // screen to it, like a desktop running below the largest mode.
    void showMode(int width, int height)
    {
        XRRScreenResources* res = XRRGetScreenResourcesCurrent(display_, root());
        XRROutputInfo* output = XRRGetOutputInfo(display_, res, res->outputs[0]);
        XRRCrtcInfo* crtc = XRRGetCrtcInfo(display_, res, output->crtc);
        for (int i = 0; i < output->nmode; ++i) {
            for (int k = 0; k < res->nmode; ++k) {
                if (res->modes[k].id == output->modes[i] && int(res->modes[k].width) == width
                    && int(res->modes[k].height) == height) {
                    XRRSetCrtcConfig(display_, res, output->crtc, CurrentTime, 0, 0, res->modes[k].id,
                                     crtc->rotation, crtc->outputs, crtc->noutput);
                    XRRSetScreenSize(display_, root(), width, height, width / 4, height / 4);
                    i = output->nmode;
                    break;
                }
            }
        }
        XRRFreeCrtcInfo(crtc);
        XRRFreeOutputInfo(output);
        XRRFreeScreenResources(res);
        XSync(display_, False);
    }

private:
    Window root() const { return DefaultRootWindow(display_); }
    Display* display_ = nullptr;
};

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

TEST(SelectedResolution, SixteenByNineRuleAfterTheSelection)
{
    int width = 1280, height = 720;
    app::applySelectedResolution("1024x768", width, height);
    height = width * 9 / 16; // what start-up does next
    EXPECT_EQ(width, 1024);
    EXPECT_EQ(height, 576);
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
