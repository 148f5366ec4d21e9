#include "app/CommandLine.h"

#include <gtest/gtest.h>

using app::chooseActiveSetupPath;
using app::scanActiveSkenesFileOption;

TEST(ActiveSkenesFileOption, LaterMatchReplacesEarlierAndProgramNameCounts)
{
    EXPECT_EQ(scanActiveSkenesFileOption({"tarvonic", "-x", "-activeSkenesFile:a.as"}, ""), "a.as");
    EXPECT_EQ(scanActiveSkenesFileOption({"tarvonic", "-activeSkenesFile:a.as", "-activeSkenesFile:b.as"}, ""),
              "b.as");
    // Every argument that contains the option text counts, wherever it sits.
    EXPECT_EQ(scanActiveSkenesFileOption({"x-activeSkenesFile:prog.as"}, ""), "prog.as");
    EXPECT_EQ(scanActiveSkenesFileOption({"tarvonic", "--other"}, "kept.as"), "kept.as");
}

TEST(ActiveSkenesFileOption, EmptyValueFallsBackToDefaultSetup)
{
    const std::string option = scanActiveSkenesFileOption({"tarvonic", "-activeSkenesFile:"}, "");
    EXPECT_EQ(option, "");
    EXPECT_EQ(chooseActiveSetupPath(option, "/demo/fx", ""), "/demo/fx/_ActiveSkeneSetups/lumenfall.as");
}

TEST(ActiveSetupChoice, CurrentSetupFileWinsOverOption)
{
    EXPECT_EQ(chooseActiveSetupPath("/x/mine.as", "/demo/fx", ""), "/x/mine.as");
    EXPECT_EQ(chooseActiveSetupPath("/x/mine.as", "/demo/fx", "party.as"),
              "/demo/fx/_ActiveSkeneSetups/party.as");
    // The name is taken as it stands, line end and all.
    EXPECT_EQ(chooseActiveSetupPath("", "/demo/fx", "party.as\n"), "/demo/fx/_ActiveSkeneSetups/party.as\n");
}
