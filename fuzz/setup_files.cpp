// The active skene setup files and the current-setup file.
//
// The input is a setup file. Checks that every entry read has a name that
// a setup file can hold and a rocket index above 0; that writing the
// entries and reading them back gives the same entries; that the file read
// from a disk gives what the bytes give; and that the current-setup file
// gives back the name written into it (the input, short of a last line end
// that the reader drops by design).
#include "fuzz_target.h"

#include "platform/Installed.h"
#include "state/ActiveSkeneList.h"
#include "state/SkeneSetups.h"

#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

namespace {

bool same(const std::vector<ActiveSkene>& a, const std::vector<ActiveSkene>& b)
{
    if (a.size() != b.size())
        return false;
    for (size_t i = 0; i < a.size(); ++i) {
        if (a[i].name != b[i].name || a[i].rocketIndex != b[i].rocketIndex)
            return false;
    }
    return true;
}

void setup()
{
    enter_fuzz_dir();
    std::filesystem::create_directories("fx/_ActiveSkeneSetups");
}

int run(const uint8_t* data, size_t size)
{
    const std::string bytes(reinterpret_cast<const char*>(data), size);
    const std::vector<ActiveSkene> entries = parseActiveSkenes(bytes);
    for (const ActiveSkene& e : entries) {
        fuzz_check(isStorableSkeneName(e.name), "an entry whose name a setup file cannot hold");
        fuzz_check(e.rocketIndex > 0, "an entry without a rocket");
    }
    const std::string written = formatActiveSkenes(entries);
    fuzz_check(same(parseActiveSkenes(written), entries), "entries changed on the way through a file");

    // The same through the files, as start-up and the edit view use them.
    const std::string path = setupFilePath("fx", "fuzz.as");
    {
        std::ofstream out(path, std::ios::binary | std::ios::trunc);
        out << bytes;
    }
    // A list of its own, as start-up makes one.
    Owned<ActiveSkeneList> list;
    activeSkeneList().setupPath = path;
    fuzz_check(readActiveSkenes() && same(activeSkeneList().entries, entries), "the file reads otherwise");
    fuzz_check(writeActiveSkenes() && readTextFile(path) == written, "the list was written otherwise");

    fuzz_check(writeCurrentSetupName("fx", bytes), "the current setup was not written");
    std::string name = bytes;
    if (!name.empty() && name.back() == '\n')
        name.pop_back();
    if (!name.empty() && name.back() == '\r')
        name.pop_back();
    fuzz_check(readCurrentSetupName("fx") == name, "the current setup reads otherwise");
    return 0;
}

} // namespace

FUZZ_TARGET(setup_files, setup, run)
