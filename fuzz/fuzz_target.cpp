#include "fuzz_target.h"

#include <QLoggingCategory>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>

#include <unistd.h>

namespace {

std::vector<std::string>& made_dirs()
{
    static std::vector<std::string> dirs;
    return dirs;
}

void remove_dirs()
{
    for (const std::string& dir : made_dirs()) {
        std::error_code ignored;
        std::filesystem::remove_all(dir, ignored);
    }
}

void (*failure_handler)(const char*) = nullptr;

} // namespace

void fuzz_check(bool ok, const char* what)
{
    if (ok)
        return;
    if (failure_handler) {
        failure_handler(what);
        return;
    }
    std::fprintf(stderr, "fuzz: %s\n", what);
    std::abort();
}

void set_fuzz_failure_handler(void (*handler)(const char* what))
{
    failure_handler = handler;
}

void enter_fuzz_dir()
{
    std::string dir;
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
    if (made_dirs().empty())
        std::atexit(remove_dirs);
    made_dirs().push_back(dir);
    QLoggingCategory::setFilterRules(QStringLiteral("default.debug=false"));
}

std::vector<FuzzTarget>& fuzz_targets()
{
    static std::vector<FuzzTarget> targets;
    return targets;
}

bool register_fuzz_target(const char* name, FuzzSetup setup, FuzzRun run)
{
    fuzz_targets().push_back({name, setup, run});
    return true;
}
