// Which skenes count as saved, over demo folders laid out as authors lay
// them out: a skene's own QML, its Mesh* components, the shared folder.
#include "host/SkeneWatch.h"

#include "support/TempDemo.h"

#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <string>
#include <vector>

namespace {

using Names = std::vector<std::string>;

struct Watch : testing::Test {
    Watch()
    {
        demo.write("fx/intro/Skene.qml", "Scene {}");
        demo.write("fx/intro/Title.qml", "Item {}");
        demo.write("fx/intro/sky.frag", "void main() {}");
        demo.write("fx/intro/qmldir", "MeshRock ./MeshRock/Mesh.qml\n");
        demo.write("fx/intro/.Skene.qml.swp", "");
        demo.write("fx/intro/MeshRock/Mesh.qml", "Item {}");
        demo.write("fx/intro/Textures/Panel.qml", "Item {}");
        demo.write("fx/outro/Skene.qml", "import \"../_SharedQML\"\nScene { Glow {} }");
        demo.write("fx/outro/fade.js", "function f() {}");
        demo.write("fx/_SharedQML/Glow.qml", "Item {}");
        demo.write("fx/_SharedQML/Parts/Ring.qml", "Item {}");
        demo.write("fx/_SharedQML/glow.frag", "void main() {}");
        fx = demo.root() + "/fx/";
    }

    // Another write time for the file, as a later save gives it.
    void touch(const std::string& relative)
    {
        const std::string path = demo.path(relative);
        std::filesystem::last_write_time(path, std::filesystem::last_write_time(path) + std::chrono::seconds(++saves * 2));
    }

    TempDemo demo;
    std::string fx;
    int saves = 0;
};

} // namespace

TEST_F(Watch, ASkeneIsMadeOfItsQmlItsScriptsAndItsMeshComponents)
{
    SkeneWatch watch;
    watch.watch(fx, "intro");
    watch.watch(fx, "outro");
    Names intro, outro;
    for (const auto& f : watch.filesOf("intro"))
        intro.push_back(f.first);
    for (const auto& f : watch.filesOf("outro"))
        outro.push_back(f.first);
    EXPECT_EQ(intro, (Names{"intro/Skene.qml", "intro/Title.qml", "intro/MeshRock/Mesh.qml"}));
    EXPECT_EQ(outro, (Names{"outro/fade.js", "outro/Skene.qml"}));
    EXPECT_TRUE(watch.changedSkenes().empty());
}

TEST_F(Watch, SavedAddedAndRemovedFilesCountOnceShadersAndTheRestNever)
{
    SkeneWatch watch;
    watch.watch(fx, "intro");
    watch.watch(fx, "outro");

    touch("fx/intro/sky.frag");
    touch("fx/intro/qmldir");
    touch("fx/intro/Textures/Panel.qml");
    demo.write("fx/intro/.Title.qml.tmp", "");
    EXPECT_TRUE(watch.changedSkenes().empty());

    touch("fx/intro/MeshRock/Mesh.qml");
    EXPECT_EQ(watch.changedSkenes(), Names{"intro"});
    EXPECT_TRUE(watch.changedSkenes().empty()); // reported once

    demo.write("fx/outro/Extra.qml", "Item {}");
    EXPECT_EQ(watch.changedSkenes(), Names{"outro"});
    std::filesystem::remove(demo.path("fx/intro/Title.qml"));
    touch("fx/outro/Skene.qml");
    EXPECT_EQ(watch.changedSkenes(), (Names{"intro", "outro"}));
}

TEST_F(Watch, ASharedSaveReachesTheSkenesThatNameTheSharedFolder)
{
    SkeneWatch watch;
    watch.watch(fx, "intro");
    watch.watch(fx, "outro");
    touch("fx/_SharedQML/Parts/Ring.qml");
    EXPECT_EQ(watch.changedSkenes(), Names{"outro"});
    touch("fx/_SharedQML/glow.frag");
    EXPECT_TRUE(watch.changedSkenes().empty());

    // When no skene names it, it may come through an import path: all.
    watch.forget("outro");
    demo.write("fx/third/Skene.qml", "Scene {}");
    watch.watch(fx, "third");
    touch("fx/_SharedQML/Glow.qml");
    EXPECT_EQ(watch.changedSkenes(), (Names{"intro", "third"}));
}

TEST_F(Watch, ForgottenAndClearedSkenesAreNotLookedAt)
{
    SkeneWatch watch;
    watch.watch(fx, "intro");
    watch.watch(fx, "outro");
    watch.forget("intro");
    EXPECT_FALSE(watch.watches("intro"));
    touch("fx/intro/Skene.qml");
    EXPECT_TRUE(watch.changedSkenes().empty());
    watch.clear();
    EXPECT_TRUE(watch.empty());
    touch("fx/outro/Skene.qml");
    EXPECT_TRUE(watch.changedSkenes().empty());
}
