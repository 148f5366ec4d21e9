#include "app/NewDemo.h"

#include "app/InstalledData.h"
#include "platform/Files.h"
#include "platform/Process.h"

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <system_error>

namespace app {

namespace {

namespace fs = std::filesystem;

// The template's files in a fixed order, so that the report reads the same
// on every machine.
bool listTemplate(const fs::path& root, std::vector<std::string>& files)
{
    std::error_code error;
    for (fs::recursive_directory_iterator it(root, error), end; !error && it != end; it.increment(error)) {
        if (it->is_regular_file(error))
            files.push_back(it->path().lexically_relative(root).generic_string());
    }
    std::sort(files.begin(), files.end());
    return !error && !files.empty();
}

bool copyFile(const fs::path& from, const fs::path& to)
{
    std::string content;
    if (!platform::readWholeFile(from.string(), content))
        return false;
    std::ofstream out(to, std::ios::binary | std::ios::trunc);
    out.write(content.data(), std::streamsize(content.size()));
    out.close();
    return bool(out);
}

// What was made, so that a failure can take it back, deepest first.
struct Undo {
    std::vector<fs::path> made;
    void rollBack()
    {
        std::error_code ignored;
        for (auto it = made.rbegin(); it != made.rend(); ++it)
            fs::remove(*it, ignored);
    }
};

// Makes dir and the folders above it that are missing, each recorded.
bool makeFolders(const fs::path& dir, Undo& undo)
{
    std::error_code error;
    if (dir.empty() || fs::is_directory(dir, error))
        return true;
    if (!makeFolders(dir.parent_path(), undo))
        return false;
    if (!fs::create_directory(dir, error))
        return false;
    undo.made.push_back(dir);
    return true;
}

// Spelled so that a shell passes it on as one word.
std::string shellWord(const std::string& text)
{
    const bool plain = !text.empty() && std::all_of(text.begin(), text.end(), [](unsigned char c) {
        return std::isalnum(c) || std::string("_-./+:=@%,").find(char(c)) != std::string::npos;
    });
    if (plain)
        return text;
    std::string quoted = "'";
    for (const char c : text)
        quoted += c == '\'' ? std::string("'\\''") : std::string(1, c);
    return quoted + "'";
}

// Where the suggested capture goes: beside the demo, named after it.
std::string captureFolderFor(const std::string& folder)
{
    std::string base = fs::path(folder).lexically_normal().generic_string();
    while (base.size() > 1 && base.back() == '/')
        base.pop_back();
    const std::string name = fs::path(base).filename().string();
    if (name.empty() || name == "." || name == ".." || base == "/")
        return "demo-video";
    return base + "-video";
}

} // namespace

NewDemoResult writeNewDemo(const std::string& templateFolder, const std::string& folder)
{
    NewDemoResult result;
    const fs::path target(folder);
    std::error_code error;
    const fs::file_status status = fs::status(target, error);
    if (fs::exists(status) && !fs::is_directory(status)) {
        result.code = 2;
        result.error = folder + " is a file: --new-demo writes into a new or empty folder";
        return result;
    }
    if (fs::is_directory(status) && !fs::is_empty(target, error)) {
        result.code = 2;
        result.error = folder + " is not empty: --new-demo writes into a new or empty folder";
        return result;
    }

    std::vector<std::string> files;
    if (!listTemplate(templateFolder, files)) {
        result.code = 1;
        result.error = "the demo template " + templateFolder + " cannot be read";
        return result;
    }
    Undo undo;
    for (const std::string& file : files) {
        const fs::path to = target / file;
        if (!makeFolders(to.parent_path(), undo) || !copyFile(fs::path(templateFolder) / file, to)) {
            // A half-written file is removed with the rest.
            undo.made.push_back(to);
            undo.rollBack();
            result.code = 1;
            result.error = "cannot write " + to.string() + "; nothing written";
            return result;
        }
        undo.made.push_back(to);
    }
    result.files = files;
    return result;
}

std::string newDemoReport(const std::string& program, const std::string& folder,
                          const std::vector<std::string>& files)
{
    const std::string play = shellWord(program) + " " + shellWord(folder);
    std::string text = "New demo in " + folder + ":\n";
    for (const std::string& file : files)
        text += "  " + file + "\n";
    text += "Next, play it (Enter in the start dialog starts it; pick sync-per-skene.as\n"
            "with Page Down to edit its track live in a sync editor):\n"
            "  " + play + "\n"
            "and make a video of it (without a display, put xvfb-run -a in front):\n"
            "  " + play + " " + shellWord("-capture:" + captureFolderFor(folder)) + "\n";
    return text;
}

int runNewDemo(const std::string& program, const std::string& folder)
{
    const std::string templateFolder = demoTemplateFolder(platform::executableDirectory());
    if (templateFolder.empty()) {
        std::fprintf(stderr, "no demo template beside the program (share/tarvonic/template): reinstall tarvonic\n");
        return 1;
    }
    const NewDemoResult result = writeNewDemo(templateFolder, folder);
    if (result.code != 0) {
        std::fprintf(stderr, "%s\n", result.error.c_str());
        return result.code;
    }
    std::fputs(newDemoReport(program, folder, result.files).c_str(), stdout);
    return 0;
}

} // namespace app
