#pragma once
// `#include "path"` in skene shader stages. Authors build on shader
// libraries whose files include one another; the GL compiler knows no
// includes, so a stage that has any is joined into one text here before it
// compiles, along with a table of which lines of that text came from which
// file, so that the compiler's messages can be told in the files the author
// wrote. (No #line directives: some compilers drop their source numbers in
// the messages they print.)
//
// A quoted path is looked up beside the including file, then in the
// skene's folder, then in fx/_SharedQML/, then in fx/, each as a loose file
// or a data pack entry. Includes nest. A file included twice is included
// twice: include guards (#ifndef/#define) are the library's business, as
// conditionals are not evaluated here. An include inside a comment is no
// include; one inside a disabled #if block still is.
#include <string>
#include <vector>

struct ExpandedStage {
    // True when the stage had no include: text is the stage's text, byte
    // for byte.
    bool unchanged = true;
    // What the compiler gets.
    std::string text;
    // Where the lines of text came from: from line firstLine of text on,
    // the lines are those of file from fileLine on, up to the next span.
    struct Span {
        int firstLine;
        std::string file;
        int fileLine;
    };
    std::vector<Span> spans;
    // Every file that was included, once each, in the order first met.
    std::vector<std::string> included;
    // Where a missing include was looked for: watched like the included
    // files, so that making the file rebuilds the stage.
    std::vector<std::string> missing;
    // Set when an include could not be expanded (a missing file, a cycle, a
    // name without quotes): the including file, the 1-based line of the
    // directive, and what went wrong. text is then of no use.
    bool failed = false;
    std::string errorFile;
    int errorLine = 0;
    std::string errorText;
};

// Expands the includes of a stage read from stagePath, whose skene folder is
// sceneDir (may be empty).
ExpandedStage expandStageIncludes(const std::string& stagePath, const std::string& text,
                                  const std::string& sceneDir);

// The file and line the author wrote for line of the compiled text (the
// stage's file and line itself for a stage without includes).
struct AuthorLine {
    std::string file;
    int line = 0;
};
AuthorLine authorLine(const ExpandedStage& stage, int line);

// One compiler log, cut by the file its lines blame.
struct LogPart {
    std::string file;
    int line = 0;     // the first line it blames in that file, 1-based; 0 when none
    std::string text; // those lines of the log, as the compiler wrote them
};

// Cuts the log of stage's compile by file. Lines that name no place go with
// the stage's file. Parts come in the order their files are first blamed.
std::vector<LogPart> splitLogByFile(const std::string& log, const ExpandedStage& stage);

// The log with each place it names ("0:12(5)", "0(12)") told as the
// author's file and line ("lib/noise.glsl:3(5)"), for a reader who never
// saw the joined text.
std::string nameFilesInLog(const std::string& log, const ExpandedStage& stage);
