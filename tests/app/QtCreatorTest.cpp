#include "app/QtCreator.h"

#include "app/AppState.h"
#include "state/DemoFolders.h"
#include "state/SkeneSetups.h"

#include "support/FreshState.h"
#include "support/QtTestApp.h"
#include "support/TempDemo.h"

#include <gtest/gtest.h>

#include <filesystem>

TEST(QtCreatorLaunch, OpensThePathThatWasFoundReadable)
{
    resetProcessState();
    ensureQtApp();
    TempDemo demo, tools, elsewhere;
    demo.write("fx/intro/Skene.qml", "Item {}\n");
    elsewhere.write("shared.frag", "void main() {}\n");
    demoFolders().rootDir = demo.root();
    // An editor of our own that notes the file it was asked to open.
    tools.write("qtcreator", "#!/bin/sh\nprintf '%s' \"$2\" > \"$0.tmp\" && mv \"$0.tmp\" \"$0.opened\"\n");
    std::filesystem::permissions(tools.path("qtcreator"), std::filesystem::perms::owner_all);
    appState().qtCreatorDir = tools.root() + "/";
    const auto opened = [&] {
        const std::string note = tools.path("qtcreator.opened");
        waitUntil([&] { return std::filesystem::exists(note); });
        const std::string path = readTextFile(note);
        std::filesystem::remove(note);
        return path;
    };

    ASSERT_TRUE(app::openInEditor("fx/intro/Skene.qml"));
    EXPECT_EQ(opened(), demo.path("fx/intro/Skene.qml"));
    // An absolute path outside the root opens as it stands.
    ASSERT_TRUE(app::openInEditor(elsewhere.path("shared.frag")));
    EXPECT_EQ(opened(), elsewhere.path("shared.frag"));
    EXPECT_FALSE(app::openInEditor("fx/intro/missing.qml"));
    // At a line: the editor's "<file>:<line>"; a line of 0 is the file alone.
    ASSERT_TRUE(app::openInEditor("fx/intro/Skene.qml", 12));
    EXPECT_EQ(opened(), demo.path("fx/intro/Skene.qml") + ":12");
    ASSERT_TRUE(app::openInEditor("fx/intro/Skene.qml", 0));
    EXPECT_EQ(opened(), demo.path("fx/intro/Skene.qml"));
    EXPECT_FALSE(app::openInEditor("fx/intro/missing.qml", 3));
}
