#include "gpu/ShaderPreprocess.h"

#include "support/CerrCapture.h"
#include "support/TempDemo.h"

#include <gtest/gtest.h>

namespace {

struct Preprocess : testing::Test {
    void SetUp() override { demo.enter(); }
    std::string expanded(std::string source)
    {
        expandIncludes(source);
        return source;
    }
    TempDemo demo;
    CerrCapture cerr;
};

} // namespace

TEST_F(Preprocess, IncludesExpandInOrderAndKeepTheRestOfTheLine)
{
    const std::string plain = "#version 410\n#include\"a.h\"\nvoid main() {}\n";
    EXPECT_EQ(expanded(plain), plain);

    demo.write("fx/a.h", "A1\nA2\n"); // ends with a line feed: one empty line more
    demo.write("fx/b.h", "B");
    EXPECT_EQ(expanded("start\n#include \"a.h\" // tail\nmid\n#include \"b.h\"\nend\n"),
              "start\nA1\nA2\n\n // tail\nmid\nB\n\nend\n");
    EXPECT_EQ(cerr.text(), "");
}

TEST_F(Preprocess, IncludedTextIsNotSearchedAgain)
{
    demo.write("fx/outer.h", "#include \"inner.h\"");
    demo.write("fx/inner.h", "inner");
    EXPECT_EQ(expanded("#include \"outer.h\""), "#include \"inner.h\"\n");
}

TEST_F(Preprocess, LongLinesAreIncludedWhole)
{
    const std::string line(5000, 'x');
    demo.write("fx/long.h", line + "\n" + line);
    EXPECT_EQ(expanded("#include \"long.h\""), line + "\n" + line + "\n");
}

TEST_F(Preprocess, AMissingFileIsReportedAndItsDirectiveRemoved)
{
    EXPECT_EQ(expanded("a\n#include \"gone.h\"b\n"), "a\nb\n");
    // A folder of that name opens on Linux; reading it must not throw.
    demo.makeDir("fx/dir.h");
    EXPECT_EQ(expanded("#include \"dir.h\""), "");
    EXPECT_EQ(cerr.text(), "Couldn't include shader file: gone.h\nCouldn't include shader file: dir.h\n");
}

TEST_F(Preprocess, ADirectiveWithoutClosingQuoteStaysForTheCompiler)
{
    demo.write("fx/open.h", "never");
    // The quote on the next line must not close the name.
    const std::string source = "#include \"open.h\nf(\"x\");\n#include ";
    EXPECT_EQ(expanded(source), source);
    EXPECT_EQ(cerr.text(), "Couldn't include shader file: open.h\nCouldn't include shader file: \n");
}

TEST_F(Preprocess, ThePlaceholderBecomesADirectiveAfterInclusion)
{
    demo.write("fx/p.h", "hash define P 1");
    std::string source = "#include \"p.h\"\nhash if P\nhashif hash\nhash endif";
    preprocessShaderSource(source);
    EXPECT_EQ(source, "#define P 1\n\n#if P\nhashif hash\n#endif");

    std::string grows = "aaa";
    replaceAll(grows, "a", "aa"); // goes on after each replacement
    EXPECT_EQ(grows, "aaaaaa");
    replaceAll(grows, "", "b");
    EXPECT_EQ(grows, "aaaaaa");
}
