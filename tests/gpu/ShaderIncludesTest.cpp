#include "gpu/ShaderIncludes.h"

#include "support/TempDemo.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <cstdio>

namespace {

std::string packEntry(const std::string& name, const std::string& content)
{
    std::string e = name;
    e.push_back('\0');
    const uint32_t n = uint32_t(content.size());
    for (int i = 0; i < 4; ++i)
        e.push_back(char((n >> (8 * i)) & 0xff));
    return e + content;
}

} // namespace

TEST(ShaderIncludes, AStageWithoutIncludesIsLeftByteForByte)
{
    TempDemo demo;
    demo.enter();
    // An include in a comment is no include; no final line feed.
    const std::string text = "#version 430\r\n// #include \"x\"\n/* a\n#include \"y\"\n*/ void main() {}";
    const ExpandedStage stage = expandStageIncludes("fx/a/s.frag", text, "fx/a/");
    EXPECT_TRUE(stage.unchanged);
    EXPECT_FALSE(stage.failed);
    EXPECT_EQ(stage.text, text);
    EXPECT_TRUE(stage.included.empty());
}

TEST(ShaderIncludes, LooksBesideTheIncluderThenSkeneThenSharedThenFx)
{
    TempDemo demo;
    demo.enter();
    demo.write("fx/lib/n.glsl", "fx\n");
    demo.write("fx/_SharedQML/lib/n.glsl", "shared\n");
    demo.write("fx/intro/lib/n.glsl", "skene\n");
    demo.write("fx/intro/shaders/lib/n.glsl", "beside\n");
    const std::string text = "#version 430\n#include \"lib/n.glsl\"\nvoid main() {}\n";
    const auto found = [&] {
        const ExpandedStage s = expandStageIncludes("fx/intro/shaders/s.frag", text, "fx/intro/");
        return s.included.empty() ? std::string() : s.included[0];
    };
    EXPECT_EQ(found(), "fx/intro/shaders/lib/n.glsl");
    std::remove(demo.path("fx/intro/shaders/lib/n.glsl").c_str());
    EXPECT_EQ(found(), "fx/intro/lib/n.glsl");
    std::remove(demo.path("fx/intro/lib/n.glsl").c_str());
    EXPECT_EQ(found(), "fx/_SharedQML/lib/n.glsl");
    std::remove(demo.path("fx/_SharedQML/lib/n.glsl").c_str());
    EXPECT_EQ(found(), "fx/lib/n.glsl");
}

TEST(ShaderIncludes, TheTableTellsEachLineItsFileAndParentFoldersResolve)
{
    TempDemo demo;
    demo.enter();
    demo.write("fx/common/a.glsl", "float a;\nfloat b;"); // no final line feed
    const ExpandedStage s = expandStageIncludes(
        "fx/intro/s.frag", "#version 430\n#include \"../common/a.glsl\" // why\nvoid main() {}\n", "fx/intro/");
    ASSERT_FALSE(s.failed) << s.errorText;
    EXPECT_FALSE(s.unchanged);
    EXPECT_EQ(s.text, "#version 430\nfloat a;\nfloat b;\nvoid main() {}\n");
    EXPECT_EQ(s.included, (std::vector<std::string>{"fx/common/a.glsl"}));
    const auto at = [&](int line) {
        const AuthorLine a = authorLine(s, line);
        return a.file + ":" + std::to_string(a.line);
    };
    EXPECT_EQ(at(1), "fx/intro/s.frag:1");
    EXPECT_EQ(at(2), "fx/common/a.glsl:1");
    EXPECT_EQ(at(3), "fx/common/a.glsl:2");
    EXPECT_EQ(at(4), "fx/intro/s.frag:3");
}

TEST(ShaderIncludes, IncludesComeFromTheDataPack)
{
    TempDemo demo;
    demo.enter();
    demo.write("datapack.dat", packEntry("fx/_SharedQML/lib/p.glsl", "packed\n"));
    const ExpandedStage s = expandStageIncludes("fx/intro/s.frag", "#include \"lib/p.glsl\"\n", "fx/intro/");
    ASSERT_FALSE(s.failed) << s.errorText;
    EXPECT_NE(s.text.find("packed\n"), std::string::npos);
    EXPECT_EQ(s.included, (std::vector<std::string>{"fx/_SharedQML/lib/p.glsl"}));
}

TEST(ShaderIncludes, ANameWithoutQuotesIsAnErrorAtItsLine)
{
    TempDemo demo;
    demo.enter();
    const ExpandedStage s = expandStageIncludes("fx/a/s.frag", "#version 430\n#include <x.glsl>\n", "fx/a/");
    EXPECT_TRUE(s.failed);
    EXPECT_EQ(s.errorFile, "fx/a/s.frag");
    EXPECT_EQ(s.errorLine, 2);
}

TEST(ShaderLog, SplitsByFileInEachDriversFormat)
{
    ExpandedStage stage;
    stage.spans = {{1, "s.frag", 1}, {3, "lib.glsl", 1}, {10, "s.frag", 4}};
    const auto parts = splitLogByFile("0:4(5): error: `x' undeclared\n"
                                      "0(12) : error C1008: undefined variable\n"
                                      "ERROR: 0:9: something\n"
                                      "error: no place\n"
                                      "3:2(1): error: a source never given\n",
                                      stage);
    ASSERT_EQ(parts.size(), 2u);
    EXPECT_EQ(parts[0].file, "lib.glsl");
    EXPECT_EQ(parts[0].line, 2);
    EXPECT_EQ(parts[0].text, "0:4(5): error: `x' undeclared\nERROR: 0:9: something\n");
    EXPECT_EQ(parts[1].file, "s.frag");
    EXPECT_EQ(parts[1].line, 6);
    EXPECT_EQ(parts[1].text,
              "0(12) : error C1008: undefined variable\nerror: no place\n3:2(1): error: a source never given\n");

    EXPECT_EQ(nameFilesInLog("0:4(5): error: a\nERROR: 0:12: b\n0(2) : c", stage),
              "lib.glsl:2(5): error: a\nERROR: s.frag:6: b\ns.frag(2) : c");
}
