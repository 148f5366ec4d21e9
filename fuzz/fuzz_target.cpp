#include "fuzz_dir.h"

#include <QLoggingCategory>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>

#include <unistd.h>

namespace {

std::string dir;

void remove_dir()
{
    std::error_code ignored;
    std::filesystem::remove_all(dir, ignored);
}

} // namespace

void enter_fuzz_dir()
{
    for (const char* base : {"/dev/shm", "/tmp"}) {
        std::string pattern = std::string(base) + "/tarvonic-fuzz-XXXXXX";
        if (::mkdtemp(pattern.data())) {
            dir = pattern;
            break;
        }
    }
    if (dir.empty() || ::chdir(dir.c_str()) != 0) {
        std::perror("fuzz: no scratch directory");
        std::abort();
    }
    std::atexit(remove_dir);
    QLoggingCategory::setFilterRules(QStringLiteral("default.debug=false"));
}
