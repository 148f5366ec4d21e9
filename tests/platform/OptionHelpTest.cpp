// One table of options printed as --help and as a manual page.
#include "platform/OptionHelp.h"

#include <gtest/gtest.h>

using platform::ManPage;
using platform::OptionHelp;

namespace {

const std::vector<OptionHelp> kOptions = {
    {"-capture:", "<folder>", "render into folder"},
    {"--new-demo", " <folder>", "write a new demo"},
    {"-h, --help", "", "print these options and exit"},
};

} // namespace

TEST(OptionHelp, TheListAlignsTheHelpPastTheWidestOption)
{
    EXPECT_EQ(platform::optionListText(kOptions), "  -capture:<folder>    render into folder\n"
                                                  "  --new-demo <folder>  write a new demo\n"
                                                  "  -h, --help           print these options and exit\n");
}

TEST(OptionHelp, TheManualPageHasItsSectionsInOrderAndEveryOption)
{
    ManPage page;
    page.name = "tarvonic";
    page.summary = "play a demo";
    page.synopsis = {"[options] [demo folder]", "--new-demo folder"};
    page.source = "Tarvonic 1.2.3";
    page.description = {platform::paragraph("Plays it.")};
    page.options = kOptions;
    page.sections = {{"Exit status", {platform::item("2", "it cannot start")}},
                     {"Examples", {platform::example("tarvonic mine\ntarvonic --new-demo mine")}}};
    const std::string text = platform::manPageText(page);

    EXPECT_EQ(text.rfind(".TH TARVONIC 1 \"\" \"Tarvonic 1.2.3\" \"User Commands\"\n", 0), 0u) << text;
    size_t at = 0;
    for (const char* part :
         {".SH NAME\ntarvonic \\- play a demo\n", ".SH SYNOPSIS\n.B tarvonic\n[options] [demo folder]\n.br\n.B tarvonic\n"
                                                  "\\-\\-new\\-demo folder\n",
          ".SH DESCRIPTION\n.PP\nPlays it.\n", ".SH OPTIONS\n.TP\n\\fB\\-capture:\\fR\\fI<folder>\\fR\nrender into folder\n",
          ".TP\n\\fB\\-\\-new\\-demo\\fR \\fI<folder>\\fR\nwrite a new demo\n",
          ".TP\n\\fB\\-h\\fR, \\fB\\-\\-help\\fR\nprint these options and exit\n", ".SH EXIT STATUS\n.TP\n2\nit cannot start\n",
          ".SH EXAMPLES\n.PP\n.RS 4\n.nf\ntarvonic mine\ntarvonic \\-\\-new\\-demo mine\n.fi\n.RE\n"}) {
        const size_t found = text.find(part, at);
        ASSERT_NE(found, std::string::npos) << part << "\nin\n" << text;
        at = found;
    }
}

TEST(OptionHelp, NoTextOfThePageIsReadAsARequestOrAnEscape)
{
    ManPage page;
    page.name = "x";
    page.description = {platform::paragraph("  .hidden files\n'quoted\nback\\slash\n\nlast"),
                        platform::example(".profile")};
    const std::string text = platform::manPageText(page);
    EXPECT_NE(text.find("\n\\&.hidden files\n\\&'quoted\nback\\eslash\nlast\n"), std::string::npos) << text;
    EXPECT_NE(text.find("\n.nf\n\\&.profile\n.fi\n"), std::string::npos) << text;
    // Only the page's own requests start lines.
    for (size_t at = text.find("\n."); at != std::string::npos; at = text.find("\n.", at + 1)) {
        const std::string request = text.substr(at + 1, 3);
        EXPECT_TRUE(request == ".TH" || request == ".SH" || request == ".PP" || request == ".B " || request == ".RS" ||
                    request == ".nf" || request == ".fi" || request == ".RE" || request == ".TP" || request == ".br")
            << request;
    }
}
