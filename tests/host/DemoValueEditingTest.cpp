#include "host/DemoQML.h"

#include "platform/Clock.h"
#include "state/DemoFolders.h"
#include "state/PendingEdit.h"
#include "sync/Rocket.h"

#include "support/FreshState.h"
#include "support/LogCapture.h"
#include "support/QtTestApp.h"
#include "support/TempDemo.h"

#include <QSignalSpy>
#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

struct ValueEditing : FreshStateTest {
    ValueEditing() { ensureQtApp(); }
};

// The lines logged after the first line equal to start, up to count lines.
std::vector<std::string> linesAfter(const LogCapture& log, const std::string& start, size_t count)
{
    const auto& lines = log.lines();
    for (size_t i = 0; i < lines.size(); ++i) {
        if (lines[i] == start)
            return std::vector<std::string>(lines.begin() + long(i), lines.begin() + long(std::min(lines.size(), i + count)));
    }
    return {};
}

} // namespace

TEST_F(ValueEditing, ModifySkeneValueRecordsTheEditForTheNextFrameAndLogsItsParts)
{
    DemoQML demo;
    LogCapture log;
    Rocket::instance().note_change_at(platform::millisecondClock() - 100000);
    demo.modifySkeneValue("prism", "/0:=RocketScene/1:=Camera/0:=viewAngle:/:=40", "ignored", "55");

    const PendingEdit& edit = pendingEdit();
    EXPECT_EQ(edit.targetPath, "/0:=RocketScene/1:=Camera");
    EXPECT_EQ(edit.propertyName, "viewAngle"); // the path's name wins
    EXPECT_EQ(edit.value, "55");
    EXPECT_EQ(edit.skeneName, "prism");
    EXPECT_EQ(linesAfter(log, "Found the paramPos:", 8),
              (std::vector<std::string>{"Found the paramPos:", ":/:=40", "Modified path to item is:",
                                        "/0:=RocketScene/1:=Camera", "parsed paramName:", "viewAngle",
                                        "parsed old paramValue:", "40"}));
    EXPECT_EQ(linesAfter(log, "modifySkeneValue called for propertyValue:", 2),
              (std::vector<std::string>{"modifySkeneValue called for propertyValue:", "\"55\""}));
    // An edit is a change: a paused demo does not keep its old image.
    EXPECT_LT(platform::millisecondClock() - Rocket::instance().last_change_ms(), 10000u);

    // Without a name in the path, the argument names the property.
    demo.modifySkeneValue("prism", "/0:=RocketScene/1:=Camera/3:/", "x", "1");
    EXPECT_EQ(edit.targetPath, "/0:=RocketScene/1:=Camera");
    EXPECT_EQ(edit.propertyName, "x");
}

TEST_F(ValueEditing, UnusablePathsChangeNothingAndSayWhy)
{
    DemoQML demo;
    demo.modifySkeneValue("prism", "/0:=RocketScene/1:=Camera/0:=viewAngle:/", "", "55");
    LogCapture log;
    demo.modifySkeneValue("prism", "/0:=RocketScene/1:=Camera", "viewAngle", "1");
    demo.modifySkeneValue("prism", "/0:=viewAngle:/", "viewAngle", "2");
    demo.modifySkeneValue("zenith", "/0:=RocketScene/1:=Camera/4:/", "", "3");

    const PendingEdit& edit = pendingEdit();
    EXPECT_EQ(edit.targetPath, "/0:=RocketScene/1:=Camera");
    EXPECT_EQ(edit.propertyName, "viewAngle");
    EXPECT_EQ(edit.value, "55");
    EXPECT_EQ(edit.skeneName, "prism");
    EXPECT_TRUE(log.contains("modifySkeneValue changed nothing: the path has no \":/\""));
    EXPECT_TRUE(log.contains("modifySkeneValue changed nothing: no \"/\" comes before its \":/\""));
    EXPECT_TRUE(log.contains("modifySkeneValue changed nothing: no property name for /0:=RocketScene/1:=Camera"));
}

TEST_F(ValueEditing, PathResolvesSkeneFilesAndAnnouncesMissingOnes)
{
    TempDemo files;
    files.write("fx/prism/crystal.obj", "o");
    demoFolders().rootDir = files.root();
    DemoQML demo;
    QSignalSpy missing(&demo, &DemoQML::fileNotFound);
    const QString url = QString::fromStdString("file://" + files.root() + "/fx/prism/crystal.obj");

    EXPECT_EQ(demo.path("fx\\prism\\crystal.obj", "prism"), url);
    // A full path keeps its own place, not one below the root.
    EXPECT_EQ(demo.path(QString::fromStdString(files.path("fx/prism/crystal.obj")), "prism"), url);
    EXPECT_EQ(demo.path("fx/prism/none.obj", ""), QString()); // no skene: no signal
    EXPECT_EQ(missing.count(), 0);
    EXPECT_EQ(demo.path("fx/prism/none.obj", "prism"), QString());
    ASSERT_EQ(missing.count(), 1);
    EXPECT_EQ(missing[0][0].toString(), "fx/prism/none.obj");
    EXPECT_EQ(missing[0][1].toString(), "prism");
}
