// The pack writer against the loader that reads it, and the pack tool as a
// demo author runs it.
#include "platform/AssetFile.h"
#include "platform/DataPack.h"

#include "support/TempDemo.h"

#include <QProcess>
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

using platform::collectPackFiles;
using platform::writeDataPack;

namespace {

std::string readFile(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

// A demo whose shader and music names contain one another, so that the
// loader's substring match would find the wrong entry in a careless order.
void writeDemo(const TempDemo& demo)
{
    demo.write("fx/prism/crystal.frag", "void main() { crystal(); }");
    demo.write("fx/prism/crystal.vert", "void main() { gl_Position = vec4(0.0); }");
    demo.write("fx/prism/crystal.obj", "v 0 0 0");
    demo.write("fx/prism/empty.geom", "");
    demo.write("fx/_SharedQML/lib/noise.glsl", "float noise(vec2 p);");
    demo.write("fx/old/fx/prism/crystal.frag", "void main() { old(); }");
    demo.write("fx/old/music.mp3", std::string("\xff\xfb\x00 old", 7));
    demo.write("music.mp3", std::string("\xff\xfb\x90\x00 music\x00\x01", 13));
    demo.write(".git/hooks/x.frag", "hidden");
    demo.write("sync/sync_prism.spin.track", "track");
}

} // namespace

TEST(DataPack, PatternsAddAnchorAndTakeOut)
{
    TempDemo demo;
    writeDemo(demo);
    EXPECT_EQ(collectPackFiles(demo.root(), {"*.obj", "/fx/*/*.frag"}),
              (std::vector<std::string>{"fx/prism/crystal.obj", "fx/prism/crystal.frag"}));
    // Only taking out keeps the default selection; a folder goes whole.
    EXPECT_EQ(collectPackFiles(demo.root(), {"!fx/old", "!*.geom"}),
              (std::vector<std::string>{"music.mp3", "fx/prism/crystal.frag", "fx/prism/crystal.vert",
                                        "fx/_SharedQML/lib/noise.glsl"}));
    // The pack being written is never packed into itself.
    demo.write("datapack.dat", "earlier pack");
    EXPECT_EQ(collectPackFiles(demo.root(), {"*.dat"}, demo.path("datapack.dat")), std::vector<std::string>{});
}

TEST(DataPack, LoaderReadsBackEveryEntryByItsOwnName)
{
    TempDemo demo;
    writeDemo(demo);
    // The default selection, each path before the longer ones that contain it.
    const std::vector<std::string> paths = collectPackFiles(demo.root() + "/", {});
    EXPECT_EQ(paths, (std::vector<std::string>{"music.mp3", "fx/prism/empty.geom", "fx/prism/crystal.frag",
                                               "fx/prism/crystal.vert", "fx/_SharedQML/lib/noise.glsl",
                                               "fx/old/fx/prism/crystal.frag"}));
    std::string error;
    size_t bytes = 0;
    TempDemo player; // the pack alone, no loose files beside it
    ASSERT_TRUE(writeDataPack(demo.root(), paths, player.path("datapack.dat"), error, &bytes)) << error;
    EXPECT_EQ(bytes, std::filesystem::file_size(player.path("datapack.dat")));

    player.enter();
    for (const std::string& path : paths) {
        char* data = nullptr;
        size_t size = 0;
        EXPECT_EQ(loadAssetFile(path.c_str(), &data, &size, false), AssetFromDataPack) << path;
        EXPECT_EQ(std::string(data, size), readFile(demo.path(path))) << path;
        delete[] data;
    }
}

TEST(DataPack, RefusesAPathTheLoaderCouldNotFindAndKeepsTheEarlierPack)
{
    TempDemo demo;
    const std::string longPath = "fx/" + std::string(251 - 5, 'a') + ".frag"; // 254 bytes: fits
    const std::string tooLong = "fx/" + std::string(252 - 5, 'a') + ".frag";  // 255 bytes
    ASSERT_EQ(longPath.size(), 254u);
    demo.write(longPath, "fits");
    demo.write(tooLong, "too long");
    demo.write("datapack.dat", "earlier pack");

    std::string error;
    EXPECT_TRUE(writeDataPack(demo.root(), {longPath}, demo.path("fits.dat"), error)) << error;
    EXPECT_FALSE(writeDataPack(demo.root(), {longPath, tooLong}, demo.path("datapack.dat"), error));
    EXPECT_EQ(error.rfind(tooLong + ": path of 255 bytes is too long for the pack", 0), 0u) << error;
    EXPECT_EQ(readFile(demo.path("datapack.dat")), "earlier pack");

    EXPECT_FALSE(writeDataPack(demo.root(), {"fx/missing.frag"}, demo.path("datapack.dat"), error));
    EXPECT_EQ(error.rfind("fx/missing.frag: ", 0), 0u) << error;
}

TEST(DataPackTool, RefusesALongPathWithExitCodeOneAndWritesNothing)
{
    TempDemo demo;
    // File names stop at 255 bytes; the path goes past 254 in two.
    demo.write("fx/" + std::string(130, 'b') + "/" + std::string(130, 'c') + ".frag", "too long");
    QProcess tool;
    tool.start(QStringLiteral(TARVONIC_PACK_PROGRAM), {QString::fromStdString(demo.root())});
    ASSERT_TRUE(tool.waitForFinished(20000));
    EXPECT_EQ(tool.exitCode(), 1);
    const QByteArray message = tool.readAllStandardError();
    EXPECT_TRUE(message.endsWith("too long for the pack (254 at most: the player could not find it); nothing written\n"))
        << message.toStdString();
    EXPECT_FALSE(std::filesystem::exists(demo.path("datapack.dat")));
}
