#pragma once
// What failed to build while the demo ran: shader stages that did not
// compile, programs that did not link, skene QML that did not load. With
// the start dialog's "Errors in the edit view" on, the code that builds
// them adds them here instead of raising a modal box, so the demo never
// waits for the author and no window takes the keyboard; the edit view
// lists them, newest first. A file's entries go when it builds again.
#include <cstdint>
#include <string>
#include <vector>

struct BuildError {
    std::string file; // as the author names it, relative to the demo folder
    int line = 0;     // the first line the text blames, 1-based; 0 when none
    std::string text; // the compiler's or the QML engine's own words
};

class BuildErrors {
public:
    // True: errors go to the list. False (the default): to a modal box.
    bool besideDemo() const { return besideDemo_; }
    void setBesideDemo(bool on) { besideDemo_ = on; }

    // Puts the error first. The same file, line and text reported again
    // (every failed rebuild reports it anew) moves up instead of doubling.
    void report(BuildError error);
    // Drops every entry of file; nothing when it has none.
    void clearFile(const std::string& file);
    void clear();

    const std::vector<BuildError>& entries() const { return entries_; }
    // Moves with every change, so a view refreshes only when it has to.
    uint64_t revision() const { return revision_; }

private:
    bool besideDemo_ = false;
    std::vector<BuildError> entries_;
    uint64_t revision_ = 0;
};

// The running demo's list, made by its owner (app/ProcessState.h).
BuildErrors& buildErrors();
