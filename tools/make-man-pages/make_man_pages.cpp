// Writes the manual pages of the three programs into a folder, from the
// same option tables that their --help prints, so that the pages cannot
// drift from what the programs accept. The build runs it.
//   make_man_pages <folder>   (writes tarvonic.1, sync_editor.1, tarvonic-pack.1)
#include "app/CommandLine.h"
#include "pack/PackOptions.h"
#include "platform/OptionHelp.h"
#include "tracker/lib/EditorOptions.h"

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <string>

namespace {

bool writePage(const std::filesystem::path& folder, const platform::ManPage& page)
{
    const std::filesystem::path file = folder / (page.name + ".1");
    std::ofstream out(file, std::ios::binary | std::ios::trunc);
    out << platform::manPageText(page);
    out.close();
    if (!out)
        std::fprintf(stderr, "make_man_pages: cannot write %s\n", file.string().c_str());
    return bool(out);
}

} // namespace

int main(int argc, char** argv)
{
    if (argc != 2) {
        std::fprintf(stderr, "usage: make_man_pages <folder>\n");
        return 2;
    }
    const std::filesystem::path folder = argv[1];
    std::error_code error;
    std::filesystem::create_directories(folder, error);
    const bool written =
        writePage(folder, app::manPage()) && writePage(folder, tracker::manPage()) && writePage(folder, pack::manPage());
    return written ? 0 : 1;
}
