// The data pack tool's command line.
#include "pack/PackOptions.h"

#include <gtest/gtest.h>

using pack::parsePackOptions;

TEST(PackOptions, FolderThenPatternsAndTheOutput)
{
    const pack::PackOptions o = parsePackOptions({"tarvonic-pack", "demo", "fx/*.frag", "-out:x.dat", "!fx/old"});
    EXPECT_EQ(o.error, "");
    EXPECT_EQ(o.folder, "demo");
    EXPECT_EQ(o.out, "x.dat");
    EXPECT_EQ(o.patterns, (std::vector<std::string>{"fx/*.frag", "!fx/old"}));
    EXPECT_EQ(parsePackOptions({"tarvonic-pack"}).folder, ".");
}

TEST(PackOptions, TheFirstArgumentThatDecidesEndsTheReading)
{
    EXPECT_EQ(parsePackOptions({"tarvonic-pack", "-out:"}).error, "-out: needs a path");
    EXPECT_EQ(parsePackOptions({"tarvonic-pack", "-z", "--help"}).error,
              "unknown option -z (tarvonic-pack --help lists the options)");
    const pack::PackOptions help = parsePackOptions({"tarvonic-pack", "-h", "-z"});
    EXPECT_TRUE(help.help);
    EXPECT_EQ(help.error, "");
    EXPECT_TRUE(parsePackOptions({"tarvonic-pack", "demo", "--version"}).version);
    EXPECT_NE(pack::helpText().find("\n  -out:<path>  write the pack there"), std::string::npos) << pack::helpText();
}
