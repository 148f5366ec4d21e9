#include "support/TempDemo.h"

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <stdexcept>
#include <unistd.h>

namespace fs = std::filesystem;

TempDemo::TempDemo()
{
    std::string pattern = (fs::temp_directory_path() / "tarvonic-test-XXXXXX").string();
    if (!::mkdtemp(pattern.data()))
        throw std::runtime_error("mkdtemp failed");
    root_ = pattern;
}

TempDemo::~TempDemo()
{
    if (!previousDir_.empty())
        (void)::chdir(previousDir_.c_str());
    std::error_code ec;
    fs::remove_all(root_, ec);
}

void TempDemo::write(const std::string& relative, const std::string& content) const
{
    const fs::path p = fs::path(root_) / relative;
    fs::create_directories(p.parent_path());
    std::ofstream out(p, std::ios::binary);
    out << content;
}

void TempDemo::makeDir(const std::string& relative) const
{
    fs::create_directories(fs::path(root_) / relative);
}

void TempDemo::enter()
{
    if (previousDir_.empty())
        previousDir_ = fs::current_path().string();
    fs::current_path(root_);
}

std::string startAtOnceDialog(const std::string& setup)
{
    return R"(
import QtQuick 2.15
import QuellinDemoSystem 1.0
Item {
    Rocket { id: rocket }
    Component.onCompleted: {
        rocket.setEditViewEnabled(false)
        rocket.setRocketEnabled(false)
        rocket.setSelectedResolution("640x360")
        rocket.setActiveSkeneSetup(")" + setup + R"(")
        rocket.startDemo()
    }
}
)";
}
