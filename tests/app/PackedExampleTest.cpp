// The example demo shipped as a release: its shaders and music only in the
// data pack that the pack tool writes, the loose files gone.
#include "app/AppState.h"
#include "app/Startup.h"
#include "platform/DataPack.h"
#include "time/Music.h"
#include "time/TimeState.h"

#include "support/FreshState.h"
#include "support/LogCapture.h"
#include "support/QtTestApp.h"
#include "support/RecordingNotifier.h"
#include "support/TempDemo.h"

#include <QCoreApplication>
#include <QProcess>
#include <QQuickView>
#include <gtest/gtest.h>

#include <filesystem>
#include <algorithm>

namespace fs = std::filesystem;

namespace {

struct PackedExample : FreshStateTest {
    PackedExample() { ensureQtApp(); }
};

} // namespace

TEST_F(PackedExample, PlaysFromItsPackWithTheLooseShadersAndMusicRemoved)
{
    TempDemo demo;
    fs::copy(std::string(TARVONIC_SOURCE_DIR) + "/examples/lumenfall", demo.root(),
             fs::copy_options::recursive | fs::copy_options::overwrite_existing);
    fs::remove(demo.path("datapack.dat"));
    QProcess tool;
    tool.start(QStringLiteral(TARVONIC_PACK_PROGRAM), {QString::fromStdString(demo.root())});
    ASSERT_TRUE(tool.waitForFinished(20000));
    ASSERT_EQ(tool.exitCode(), 0) << tool.readAllStandardError().toStdString();
    const std::vector<std::string> packed = platform::collectPackFiles(demo.root(), {}, demo.path("datapack.dat"));
    ASSERT_GE(packed.size(), 5u);
    for (const std::string& path : packed)
        fs::remove(demo.path(path));
    demo.write("fx/startDialog.qml", startAtOnceDialog("lumenfall.as"));
    demo.enter();
    RecordingNotifier& boxes = installRecordingNotifier();
    LogCapture log;

    int frames = 0;
    appState().beforeMainLoop = [&] {
        QQuickView* view = appState().mainView;
        QObject::connect(view, &QQuickWindow::frameSwapped, view, [&frames] {
            if (++frames == 20)
                QCoreApplication::exit(0);
        });
    };
    static char name[] = "tarvonic";
    char* argv[] = {name, nullptr};
    EXPECT_EQ(app::runStartup(1, argv), 0);

    EXPECT_TRUE(boxes.boxes.empty()) << boxes.boxes[0].text;
    for (const char* shader : {"found fragment shader from:fx/intro/sky.frag",
                               "found fragment shader from:fx/prism/crystal.frag"})
        EXPECT_TRUE(log.contains(shader)) << shader;
    // Every fragment shader the skenes found came out of the pack and
    // compiled, however many skenes the example holds.
    const std::string found = "found fragment shader from:";
    int fragments = 0;
    for (const std::string& line : log.lines()) {
        if (line.rfind(found, 0) != 0)
            continue;
        ++fragments;
        EXPECT_NE(std::find(packed.begin(), packed.end(), line.substr(found.size())), packed.end()) << line;
    }
    EXPECT_EQ(std::count(log.lines().begin(), log.lines().end(), "successfully compiled .frag"), fragments);
    ASSERT_TRUE(timeState().music);
    EXPECT_TRUE(timeState().music->is_loaded());
    EXPECT_GT(timeState().music->length_ms(), 0u);
    EXPECT_GE(frames, 20);
}
