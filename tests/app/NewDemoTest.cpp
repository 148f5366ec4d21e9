// tarvonic --new-demo as an author starts a demo of their own: the template
// copied whole into a new or empty folder and nowhere else, the commands to
// run next, and a demo that plays at once.
#include "app/NewDemo.h"

#include "support/TempDemo.h"

#include <QColor>
#include <QImage>
#include <QProcess>
#include <QProcessEnvironment>
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <set>
#include <string>
#include <vector>

namespace fs = std::filesystem;

namespace {

const std::string kTemplate = std::string(TARVONIC_SOURCE_DIR) + "/share/template";
const std::string kExample = std::string(TARVONIC_SOURCE_DIR) + "/examples/lumenfall";

struct Outcome {
    int code = -1;
    std::string out;
    std::string err;
};

// Runs the program in dir; a display only when asked for, as writing a demo
// must not need one.
Outcome runTarvonic(const QStringList& args, const std::string& dir, bool withDisplay = false)
{
    QProcess program;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    if (!withDisplay) {
        env.remove(QStringLiteral("DISPLAY"));
        env.remove(QStringLiteral("WAYLAND_DISPLAY"));
    }
    program.setProcessEnvironment(env);
    program.setWorkingDirectory(QString::fromStdString(dir));
    program.start(QStringLiteral(TARVONIC_PROGRAM), args);
    Outcome run;
    if (!program.waitForFinished(120000))
        return run;
    run.code = program.exitStatus() == QProcess::NormalExit ? program.exitCode() : -1;
    run.out = program.readAllStandardOutput().toStdString();
    run.err = program.readAllStandardError().toStdString();
    return run;
}

std::string readFile(const fs::path& path)
{
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
}

// Every file under root, as paths from it.
std::set<std::string> filesUnder(const fs::path& root)
{
    std::set<std::string> files;
    for (const auto& entry : fs::recursive_directory_iterator(root)) {
        if (entry.is_regular_file())
            files.insert(entry.path().lexically_relative(root).generic_string());
    }
    return files;
}

// Distinct colours of an image, counted on a coarse grid.
size_t coloursIn(const QImage& image)
{
    std::set<QRgb> colours;
    for (int y = 0; y < image.height(); y += 3)
        for (int x = 0; x < image.width(); x += 3)
            colours.insert(image.pixel(x, y));
    return colours.size();
}

} // namespace

TEST(NewDemo, WritesTheTemplateIntoANewFolderAndSaysWhatToRunNext)
{
    TempDemo here;
    const Outcome run = runTarvonic({"--new-demo", "demos/mine"}, here.root());
    ASSERT_EQ(run.code, 0) << run.err;
    EXPECT_EQ(run.err, "");

    const std::set<std::string> expected = filesUnder(kTemplate);
    ASSERT_TRUE(expected.count("fx/main.qml") && expected.count("music.mp3")) << "no template at " << kTemplate;
    EXPECT_EQ(filesUnder(here.path("demos/mine")), expected);
    for (const std::string& file : expected) {
        EXPECT_EQ(readFile(here.path("demos/mine/" + file)), readFile(kTemplate + "/" + file)) << file;
        EXPECT_NE(run.out.find("\n  " + file + "\n"), std::string::npos) << file;
    }
    EXPECT_EQ(run.out.rfind("New demo in demos/mine:\n", 0), 0u) << run.out;
    const std::string program = TARVONIC_PROGRAM;
    EXPECT_NE(run.out.find("\n  " + program + " demos/mine\n"), std::string::npos) << run.out;
    EXPECT_NE(run.out.find("\n  " + program + " demos/mine -capture:demos/mine-video\n"), std::string::npos)
        << run.out;
}

TEST(NewDemo, AnEmptyFolderIsFilledAndOneThatHoldsAnythingIsRefused)
{
    TempDemo here;
    here.makeDir("empty");
    EXPECT_EQ(runTarvonic({"--new-demo", "empty"}, here.root()).code, 0);
    EXPECT_TRUE(fs::is_regular_file(here.path("empty/fx/startDialog.qml")));

    here.write("used/notes.txt", "mine");
    const Outcome used = runTarvonic({"--new-demo", "used"}, here.root());
    EXPECT_EQ(used.code, 2);
    EXPECT_EQ(used.out, "");
    EXPECT_EQ(used.err, "used is not empty: --new-demo writes into a new or empty folder\n");
    EXPECT_EQ(filesUnder(here.path("used")), std::set<std::string>{"notes.txt"});
    EXPECT_EQ(readFile(here.path("used/notes.txt")), "mine");

    const Outcome file = runTarvonic({"--new-demo", "used/notes.txt"}, here.root());
    EXPECT_EQ(file.code, 2);
    EXPECT_EQ(std::count(file.err.begin(), file.err.end(), '\n'), 1) << file.err;
    EXPECT_EQ(readFile(here.path("used/notes.txt")), "mine");
}

TEST(NewDemo, AFailurePartWayLeavesNothingBehind)
{
    TempDemo skeleton;
    skeleton.write("fx/main.qml", "import QtQuick 2.15\nItem {}\n");
    skeleton.write("fx/a/Skene.qml", "import QtQuick 2.15\nItem {}\n");
    // Sorted last and unreadable even for root: reading a process's memory
    // at address 0 fails.
    fs::create_symlink("/proc/self/mem", skeleton.path("zz-unreadable"));
    TempDemo here;

    const app::NewDemoResult result = app::writeNewDemo(skeleton.root(), here.path("new/demo"));
    EXPECT_EQ(result.code, 1);
    EXPECT_NE(result.error.find("zz-unreadable"), std::string::npos) << result.error;
    EXPECT_FALSE(fs::exists(here.path("new")));

    here.makeDir("kept");
    EXPECT_EQ(app::writeNewDemo(skeleton.root(), here.path("kept")).code, 1);
    EXPECT_TRUE(fs::is_directory(here.path("kept")));
    EXPECT_TRUE(fs::is_empty(here.path("kept")));
}

TEST(NewDemo, TheCommandsItSuggestsSurviveAShell)
{
    const std::string report = app::newDemoReport("build/tarvonic", "my demo/", {"fx/main.qml"});
    EXPECT_NE(report.find("\n  build/tarvonic 'my demo/'\n"), std::string::npos) << report;
    EXPECT_NE(report.find("\n  build/tarvonic 'my demo/' '-capture:my demo-video'\n"), std::string::npos) << report;
    const std::string quote = app::newDemoReport("tarvonic", "it's", {});
    EXPECT_NE(quote.find("\n  tarvonic 'it'\\''s'\n"), std::string::npos) << quote;
}

// The example's shell views are the ones a new demo starts from; the two
// sets must not drift apart.
TEST(NewDemo, ItsShellViewsAreTheExamplesAndItsSetupsNameItsSkene)
{
    for (const char* view : {"main.qml", "startDialog.qml", "startingRockets.qml", "mainEdit.qml",
                             "DebugInfoOverDemo.qml", "Button.qml", "Toggle.qml"})
        EXPECT_EQ(readFile(kTemplate + "/fx/" + view), readFile(kExample + "/fx/" + view)) << view;
    for (const char* setup : {"lumenfall.as", "sync-one-editor.as", "sync-per-skene.as"}) {
        const std::string text = readFile(kTemplate + "/fx/_ActiveSkeneSetups/" + setup);
        EXPECT_EQ(text, std::string("skene:opening\0port:1\0\n", 22)) << setup;
    }
    EXPECT_TRUE(fs::is_regular_file(kTemplate + "/fx/opening/Skene.qml"));
    EXPECT_TRUE(fs::is_regular_file(kTemplate + "/sync/sync_opening.spin.track"));
}

TEST(NewDemo, ANewDemoPlaysAtOnce)
{
    TempDemo here;
    ASSERT_EQ(runTarvonic({"--new-demo", "mine"}, here.root()).code, 0);
    const Outcome capture = runTarvonic(
        {"mine", "-capture:video", "-captureSeconds:1", "-captureFps:10", "-captureSize:160x90"}, here.root(), true);
    ASSERT_EQ(capture.code, 0) << capture.err;
    EXPECT_EQ(capture.err.find("rror"), std::string::npos) << capture.err;

    std::vector<QImage> frames;
    for (int n = 0; n < 10; ++n) {
        const std::string name = "video/frame_00000" + std::to_string(n) + ".png";
        frames.emplace_back(QString::fromStdString(here.path(name)));
        ASSERT_EQ(frames.back().size(), QSize(160, 90)) << name;
    }
    EXPECT_FALSE(fs::exists(here.path("video/frame_000010.png")));
    for (const QImage& frame : frames) {
        // The sky's gradient and the lit faces of the cube, not one flat
        // colour; the cube's amber in the middle over the sky's blue corner.
        EXPECT_GT(coloursIn(frame), 20u);
        const QColor middle = frame.pixelColor(80, 45);
        const QColor corner = frame.pixelColor(2, 2);
        EXPECT_GT(middle.red(), 2 * middle.blue());
        EXPECT_GT(corner.blue(), corner.red());
    }
    // The track turns the cube: the picture changes from frame to frame.
    EXPECT_NE(frames.front(), frames.back());
}
