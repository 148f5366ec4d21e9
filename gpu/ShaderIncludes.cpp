#include "gpu/ShaderIncludes.h"

#include "platform/AssetFile.h"

#include <algorithm>
#include <cctype>
#include <cstdlib>
#include <filesystem>

namespace {

// A library that includes one file twice at every level doubles its size
// with each level; past this the author has a mistake, not a shader.
constexpr size_t kMaxExpandedBytes = 16u << 20;

std::string normalPath(const std::string& path)
{
    return std::filesystem::path(path).lexically_normal().generic_string();
}

std::string folderOf(const std::string& path)
{
    const size_t slash = path.find_last_of('/');
    return slash == std::string::npos ? std::string() : path.substr(0, slash + 1);
}

std::string joinPath(const std::string& folder, const std::string& name)
{
    if (folder.empty() || folder.back() == '/')
        return folder + name;
    return folder + "/" + name;
}

// One line of a file, without its line feed.
struct Line {
    size_t begin = 0;
    size_t end = 0; // before the line feed, or the text's end
    bool hasFeed = false;
};

std::vector<Line> splitLines(const std::string& text)
{
    std::vector<Line> lines;
    size_t at = 0;
    while (at < text.size()) {
        const size_t feed = text.find('\n', at);
        Line line;
        line.begin = at;
        line.end = feed == std::string::npos ? text.size() : feed;
        line.hasFeed = feed != std::string::npos;
        lines.push_back(line);
        at = line.hasFeed ? feed + 1 : text.size();
    }
    return lines;
}

size_t skipBlanks(const std::string& text, size_t at, size_t end)
{
    while (at < end && (text[at] == ' ' || text[at] == '\t' || text[at] == '\r'))
        ++at;
    return at;
}

// Where the directive's word starts when the line is a directive ("#",
// blanks allowed around it); npos otherwise.
size_t directiveWord(const std::string& text, const Line& line)
{
    size_t at = skipBlanks(text, line.begin, line.end);
    if (at >= line.end || text[at] != '#')
        return std::string::npos;
    return skipBlanks(text, at + 1, line.end);
}

bool wordAt(const std::string& text, size_t at, size_t end, const char* word)
{
    const size_t n = std::char_traits<char>::length(word);
    if (at + n > end || text.compare(at, n, word) != 0)
        return false;
    return at + n == end || !(std::isalnum(static_cast<unsigned char>(text[at + n])) || text[at + n] == '_');
}

// Follows block comments through a line; true when one is still open at
// its end.
bool blockCommentOpenAfter(const std::string& text, const Line& line, bool open)
{
    for (size_t i = line.begin; i < line.end; ++i) {
        if (open) {
            if (text[i] == '*' && i + 1 < line.end && text[i + 1] == '/') {
                open = false;
                ++i;
            }
        } else if (text[i] == '/' && i + 1 < line.end) {
            if (text[i + 1] == '/')
                return false;
            if (text[i + 1] == '*') {
                open = true;
                ++i;
            }
        }
    }
    return open;
}

class Expander {
public:
    Expander(ExpandedStage& out, const std::string& sceneDir)
        : out_(out)
        , sceneDir_(sceneDir)
    {
    }

    // Appends file's text, with its includes expanded, to the output.
    bool expand(const std::string& path, const std::string& text)
    {
        stack_.push_back(normalPath(path));
        out_.spans.push_back({nextLine_, path, 1});
        bool inComment = false;
        int number = 0;
        for (const Line& line : splitLines(text)) {
            ++number;
            const size_t word = inComment ? std::string::npos : directiveWord(text, line);
            inComment = blockCommentOpenAfter(text, line, inComment);
            if (word == std::string::npos || !wordAt(text, word, line.end, "include")) {
                out_.text.append(text, line.begin, line.end - line.begin + (line.hasFeed ? 1 : 0));
                if (line.hasFeed)
                    ++nextLine_;
                continue;
            }
            if (!include(path, text, line, word + 7, number))
                return false;
        }
        stack_.pop_back();
        return true;
    }

private:
    bool fail(const std::string& file, int line, const std::string& what)
    {
        out_.failed = true;
        out_.errorFile = file;
        out_.errorLine = line;
        out_.errorText = what;
        return false;
    }

    bool include(const std::string& path, const std::string& text, const Line& line, size_t after, int number)
    {
        const size_t open = skipBlanks(text, after, line.end);
        const size_t close = open < line.end && text[open] == '"' ? text.find('"', open + 1) : std::string::npos;
        if (close == std::string::npos || close >= line.end || close == open + 1)
            return fail(path, number, "#include expects a file name in double quotes");
        const std::string name = text.substr(open + 1, close - open - 1);

        std::vector<std::string> candidates = {joinPath(folderOf(path), name)};
        if (!sceneDir_.empty())
            candidates.push_back(joinPath(sceneDir_, name));
        candidates.push_back("fx/_SharedQML/" + name);
        candidates.push_back("fx/" + name);
        std::string found;
        std::string content;
        for (std::string& candidate : candidates) {
            candidate = normalPath(candidate);
            char* data = nullptr;
            size_t size = 0;
            if (loadAssetFile(candidate.c_str(), &data, &size, true)) {
                found = candidate;
                content.assign(data, size);
                delete[] data;
                break;
            }
        }
        if (found.empty()) {
            // Watched all the same: creating the file rebuilds the stage.
            out_.missing = candidates;
            return fail(path, number, "cannot include \"" + name + "\": no such file");
        }
        if (std::find(stack_.begin(), stack_.end(), found) != stack_.end()) {
            std::string chain;
            for (const std::string& file : stack_)
                chain += file + " -> ";
            return fail(path, number, "cannot include \"" + name + "\": it includes itself (" + chain + found + ")");
        }
        noteIncluded(found);

        if (!expand(found, content))
            return false;
        // The includer goes on on a line of its own.
        if (!out_.text.empty() && out_.text.back() != '\n') {
            out_.text += '\n';
            ++nextLine_;
        }
        out_.spans.push_back({nextLine_, path, number + 1});
        if (out_.text.size() > kMaxExpandedBytes)
            return fail(path, number, "cannot include \"" + name + "\": the includes grow past 16 MiB");
        return true;
    }

    void noteIncluded(const std::string& file)
    {
        if (std::find(out_.included.begin(), out_.included.end(), file) == out_.included.end())
            out_.included.push_back(file);
    }

    ExpandedStage& out_;
    std::string sceneDir_;
    int nextLine_ = 1; // the output line the next text starts
    std::vector<std::string> stack_;
};

// A place a log line names: "S:L(C): " (Mesa), "S(L) : " (NVIDIA) or
// "ERROR: S:L: " (AMD). source and line are -1 when it names none.
struct LogPlace {
    int source = -1;
    int line = -1;
    size_t begin = 0;   // the source number's first character
    size_t end = 0;     // after the line number (and its closing parenthesis)
    bool parenthesised = false; // "S(L)" rather than "S:L"
};

LogPlace placeOf(const std::string& line)
{
    LogPlace place;
    size_t at = 0;
    for (const char* prefix : {"ERROR: ", "WARNING: "}) {
        if (line.compare(0, std::char_traits<char>::length(prefix), prefix) == 0)
            at = std::char_traits<char>::length(prefix);
    }
    const auto digitsFrom = [&](size_t from) {
        size_t end = from;
        while (end < line.size() && std::isdigit(static_cast<unsigned char>(line[end])))
            ++end;
        return end;
    };
    const size_t sourceEnd = digitsFrom(at);
    if (sourceEnd == at || sourceEnd >= line.size() || (line[sourceEnd] != ':' && line[sourceEnd] != '('))
        return place;
    const size_t lineEnd = digitsFrom(sourceEnd + 1);
    if (lineEnd == sourceEnd + 1)
        return place;
    place.source = std::atoi(line.c_str() + at);
    place.line = std::atoi(line.c_str() + sourceEnd + 1);
    place.begin = at;
    place.parenthesised = line[sourceEnd] == '(';
    place.end = place.parenthesised && lineEnd < line.size() && line[lineEnd] == ')' ? lineEnd + 1 : lineEnd;
    return place;
}

std::vector<std::string> logLines(const std::string& log)
{
    std::vector<std::string> lines;
    for (const Line& line : splitLines(log))
        lines.push_back(log.substr(line.begin, line.end - line.begin));
    return lines;
}

} // namespace

ExpandedStage expandStageIncludes(const std::string& stagePath, const std::string& text, const std::string& sceneDir)
{
    ExpandedStage out;
    Expander expander(out, sceneDir);
    expander.expand(stagePath, text);
    out.unchanged = out.included.empty() && !out.failed;
    if (out.unchanged)
        out.text = text;
    return out;
}

AuthorLine authorLine(const ExpandedStage& stage, int line)
{
    const ExpandedStage::Span* span = nullptr;
    for (const ExpandedStage::Span& s : stage.spans) {
        if (s.firstLine <= line)
            span = &s;
    }
    if (!span)
        return {stage.spans.empty() ? std::string() : stage.spans.front().file, line};
    return {span->file, span->fileLine + (line - span->firstLine)};
}

std::vector<LogPart> splitLogByFile(const std::string& log, const ExpandedStage& stage)
{
    std::vector<LogPart> parts;
    const auto partFor = [&](const std::string& file) -> LogPart& {
        for (LogPart& part : parts) {
            if (part.file == file)
                return part;
        }
        parts.push_back(LogPart{file, 0, {}});
        return parts.back();
    };
    const std::string stageFile = stage.spans.empty() ? std::string() : stage.spans.front().file;
    for (const std::string& line : logLines(log)) {
        if (line.empty())
            continue;
        const LogPlace place = placeOf(line);
        // Every text went to the compiler as source string 0.
        if (place.source != 0 || place.line <= 0) {
            partFor(stageFile).text += line + "\n";
            continue;
        }
        const AuthorLine at = authorLine(stage, place.line);
        LogPart& part = partFor(at.file);
        if (part.line == 0)
            part.line = at.line;
        part.text += line + "\n";
    }
    return parts;
}

std::string nameFilesInLog(const std::string& log, const ExpandedStage& stage)
{
    std::string named;
    for (const Line& at : splitLines(log)) {
        std::string line = log.substr(at.begin, at.end - at.begin);
        const LogPlace place = placeOf(line);
        if (place.source == 0 && place.line > 0) {
            const AuthorLine author = authorLine(stage, place.line);
            const std::string number = std::to_string(author.line);
            const std::string told = author.file + (place.parenthesised ? "(" + number + ")" : ":" + number);
            line.replace(place.begin, place.end - place.begin, told);
        }
        named += line;
        if (at.hasFeed)
            named += '\n';
    }
    return named;
}
