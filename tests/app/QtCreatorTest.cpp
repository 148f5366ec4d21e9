#include "app/QtCreator.h"

#include "app/AppState.h"
#include "state/DemoFolders.h"

#include "support/FreshState.h"
#include "support/QtTestApp.h"
#include "support/TempDemo.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <sstream>

namespace {

struct QtCreatorLaunch : FreshStateTest {
    void SetUp() override
    {
        ensureQtApp();
        demoFolders().rootDir = demo.root();
        // An editor of our own that notes the file it was asked to open.
        tools.write("qtcreator", "#!/bin/sh\nprintf '%s' \"$2\" > \"$(dirname \"$0\")/opened.tmp\"\n"
                                 "mv \"$(dirname \"$0\")/opened.tmp\" \"$(dirname \"$0\")/opened\"\n");
        std::filesystem::permissions(tools.path("qtcreator"), std::filesystem::perms::owner_all);
        appState().qtCreatorDir = tools.root() + "/";
    }
    // The path the editor was started with; empty when it was not.
    std::string opened()
    {
        const std::string note = tools.path("opened");
        if (!waitUntil([&] { return std::filesystem::exists(note); }))
            return {};
        std::ifstream in(note);
        std::stringstream text;
        text << in.rdbuf();
        std::filesystem::remove(note);
        return text.str();
    }
    TempDemo demo;
    TempDemo tools;
};

} // namespace

TEST_F(QtCreatorLaunch, OpensThePathThatWasFoundReadable)
{
    demo.write("fx/intro/Skene.qml", "Item {}\n");
    ASSERT_TRUE(app::openInEditor("fx/intro/Skene.qml"));
    EXPECT_EQ(opened(), demo.path("fx/intro/Skene.qml"));

    // An absolute path outside the root opens as it stands.
    TempDemo elsewhere;
    elsewhere.write("shared.frag", "void main() {}\n");
    ASSERT_TRUE(app::openInEditor(elsewhere.path("shared.frag")));
    EXPECT_EQ(opened(), elsewhere.path("shared.frag"));

    EXPECT_FALSE(app::openInEditor("fx/intro/missing.qml"));
}
