// The program as a demo author starts it: its command line, the folder it
// runs in, and what it says when it cannot start.
#include "gpu/MeshImports.h"

#include "support/TempDemo.h"
#include "support/TestCache.h"

#include <QElapsedTimer>
#include <QProcess>
#include <QProcessEnvironment>
#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
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

TEST(Program, EndsCleanlyWhileAMeshStillImports)
{
    isolateUserCache();
    TempDemo demo;
    // A demo in the start dialog's view, which asks for a mesh that takes
    // a second or more to import and ends the program a moment later.
    auto writeDialog = [&](const char* mesh) {
        demo.write("fx/startDialog.qml", std::string(R"(
import QtQuick 2.15
import QuellinDemoSystem 1.0
Item {
    width: 64; height: 36
    Rocket { id: rocket }
    Demo {
        anchors.fill: parent
        Scene { sceneEnabled: true; DrawMesh { smoothNormals: true; file: ")") + mesh + R"(" } }
    }
    Timer { interval: 100; running: true; onTriggered: rocket.exitDemo() }
}
)");
    };
    demo.write("fx/intro/Skene.qml", "import QtQuick 2.15\nItem {}\n");
    // 500 x 500 quads: a million triangles.
    std::string obj;
    char line[96];
    const int n = 500;
    for (int i = 0; i <= n; ++i) {
        for (int j = 0; j <= n; ++j) {
            const double u = 6.283185307 * i / n, v = 6.283185307 * j / n;
            std::snprintf(line, sizeof line, "v %.5f %.5f %.5f\n", (3 + std::cos(v)) * std::cos(u),
                          (3 + std::cos(v)) * std::sin(u), std::sin(v));
            obj += line;
        }
    }
    for (int i = 0; i < n; ++i) {
        for (int j = 0; j < n; ++j) {
            const int a = i * (n + 1) + j + 1, b = a + n + 1;
            std::snprintf(line, sizeof line, "f %d %d %d\nf %d %d %d\n", a, b, b + 1, a, b + 1, a + 1);
            obj += line;
        }
    }
    demo.write("torus.obj", obj);

    // What the import takes, and the same run without a mesh.
    QElapsedTimer timer;
    timer.start();
    MeshImportRequest request;
    request.file = demo.path("torus.obj");
    request.smoothNormals = true;
    MeshData data;
    std::string error;
    ASSERT_TRUE(importMeshData(request, data, error)) << error;
    const qint64 importMs = timer.elapsed();
    writeDialog("");
    timer.restart();
    const Outcome plain = runTarvonic({QString::fromStdString(demo.root())}, demo.root(), true);
    const qint64 plainMs = timer.elapsed();
    ASSERT_EQ(plain.code, 0) << plain.err;

    writeDialog("torus.obj");
    timer.restart();
    const Outcome run = runTarvonic({QString::fromStdString(demo.root())}, demo.root(), true);
    const qint64 runMs = timer.elapsed();
    EXPECT_EQ(run.code, 0) << run.err;
    EXPECT_NE(run.err.find("loading mesh file:\ntorus.obj\n"), std::string::npos) << run.err;
    // It ended with the import still running, and did not wait for it.
    EXPECT_EQ(run.err.find("loaded file:torus.obj"), std::string::npos) << run.err;
    EXPECT_LT(runMs, plainMs + importMs * 3 / 4)
        << "import " << importMs << " ms, without the mesh " << plainMs << " ms";
}
