// The program as a demo author starts it: its command line, the folder it
// runs in, and what it says when it cannot start.
#include "support/TempDemo.h"

#include <QProcess>
#include <QProcessEnvironment>
#include <gtest/gtest.h>

#include <string>

namespace {

struct Outcome {
    int code = -1;
    std::string out;
    std::string err;
};

// Runs the program in dir. Without a display it must answer all the same.
Outcome runTarvonic(const QStringList& args, const std::string& dir, bool withDisplay = false)
{
    QProcess program;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    if (!withDisplay) {
        env.remove(QStringLiteral("DISPLAY"));
        env.remove(QStringLiteral("WAYLAND_DISPLAY"));
        env.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("xcb"));
    }
    program.setProcessEnvironment(env);
    program.setWorkingDirectory(QString::fromStdString(dir));
    program.start(QStringLiteral(TARVONIC_PROGRAM), args);
    Outcome run;
    if (!program.waitForFinished(60000))
        return run;
    run.code = program.exitStatus() == QProcess::NormalExit ? program.exitCode() : -1;
    run.out = program.readAllStandardOutput().toStdString();
    run.err = program.readAllStandardError().toStdString();
    return run;
}

} // namespace

TEST(Program, HelpAndVersionNeedNoDisplayNorDemo)
{
    TempDemo nowhere;
    const Outcome help = runTarvonic({"--help"}, nowhere.root());
    EXPECT_EQ(help.code, 0);
    EXPECT_EQ(help.err, "");
    EXPECT_EQ(help.out.rfind("Usage: tarvonic [options] [demo folder]\n", 0), 0u) << help.out;
    for (const char* line : {"\n  -activeSkenesFile:<path>  ", "\n  -h, --help  ", "\n  --version  "})
        EXPECT_NE(help.out.find(line), std::string::npos) << line;

    const Outcome version = runTarvonic({"--version"}, nowhere.root());
    EXPECT_EQ(version.code, 0);
    EXPECT_EQ(version.out.rfind("tarvonic ", 0), 0u);
    EXPECT_EQ(version.out.find('\n'), version.out.size() - 1);
}

TEST(Program, WhenItCannotStartItSaysWhyInOneLine)
{
    TempDemo nowhere;
    const Outcome here = runTarvonic({}, nowhere.root());
    EXPECT_EQ(here.code, 2);
    EXPECT_EQ(here.err, "no fx/ folder here: run tarvonic in a demo's root folder, e.g. examples/lumenfall\n");

    const Outcome named = runTarvonic({"elsewhere"}, nowhere.root());
    EXPECT_EQ(named.code, 2);
    EXPECT_EQ(named.err.rfind("cannot enter the demo folder elsewhere: ", 0), 0u) << named.err;

    nowhere.makeDir("fx");
    const Outcome headless = runTarvonic({}, nowhere.root());
    EXPECT_EQ(headless.code, 2);
    EXPECT_EQ(headless.err,
              "no display: DISPLAY is not set (on a machine without one, run tarvonic under xvfb-run -a)\n");
}

TEST(Program, RunsTheDemoInTheNamedFolder)
{
    TempDemo demo;
    demo.write("fx/startDialog.qml", R"(
import QtQuick 2.15
import QuellinDemoSystem 1.0
Item {
    Rocket { id: rocket }
    Component.onCompleted: rocket.exitDemo()
}
)");
    demo.write("fx/intro/Skene.qml", "import QtQuick 2.15\nItem {}\n");
    TempDemo elsewhere;
    // exitDemo ends the program with 0 from the dialog: it loaded the
    // named demo's start dialog although started somewhere else.
    const Outcome run = runTarvonic({QString::fromStdString(demo.root())}, elsewhere.root(), true);
    EXPECT_EQ(run.code, 0) << run.err;
}
