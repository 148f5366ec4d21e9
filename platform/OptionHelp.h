#pragma once
// The help of a command-line program, written once as a table of its options
// and printed two ways: the aligned list that --help prints, and the manual
// page that is installed. Each program keeps its table beside the parser that
// reads it, so neither text can drift from what the program accepts.
#include <string>
#include <utility>
#include <vector>

namespace platform {

// One option as the help shows it.
struct OptionHelp {
    std::string spellings; // "--help" or "-h, --help"
    // What follows the name, as typed: "<folder>" right after "-capture:",
    // " <folder>" after a space; empty when the option takes no value.
    std::string value;
    std::string help; // one line
};

// The help rows of an option table whose rows have a name, an alias (or
// null), a value text (or null) and a help line: "-h, --help".
template <class Table>
std::vector<OptionHelp> optionHelpRows(const Table& options)
{
    std::vector<OptionHelp> rows;
    for (const auto& option : options) {
        std::string spellings = option.alias ? std::string(option.alias) + ", " + option.name : option.name;
        rows.push_back({std::move(spellings), option.value ? option.value : "", option.help});
    }
    return rows;
}

// One line per option: two spaces, the spellings and value, then the help in
// a column aligned two spaces past the widest of them.
std::string optionListText(const std::vector<OptionHelp>& options);

// A block of a manual page's section.
struct ManBlock {
    enum Kind {
        Paragraph, // filled text
        Example,   // lines shown as typed (commands), one per "\n"
        Item,      // a term and its text, indented below it
    };
    Kind kind = Paragraph;
    std::string text;
    std::string term; // Item only
};

inline ManBlock paragraph(std::string text)
{
    return {ManBlock::Paragraph, std::move(text), {}};
}
inline ManBlock example(std::string lines)
{
    return {ManBlock::Example, std::move(lines), {}};
}
inline ManBlock item(std::string term, std::string text)
{
    return {ManBlock::Item, std::move(text), std::move(term)};
}

struct ManSection {
    std::string title; // "EXIT STATUS"
    std::vector<ManBlock> blocks;
};

// A manual page in section 1. Its sections come in this order: NAME,
// SYNOPSIS, DESCRIPTION, OPTIONS (from the table), then the others.
struct ManPage {
    std::string name;     // the program: "tarvonic"
    std::string summary;  // what NAME says after the dash
    // Each way to call it, after the name: "[options] [demo folder]".
    std::vector<std::string> synopsis;
    std::string source;   // "Tarvonic 0.1.0"
    std::vector<ManBlock> description;
    std::vector<OptionHelp> options;
    std::vector<ManSection> sections;
};

// The page in the man(7) macros. All text is escaped: a backslash prints as
// one, every '-' is a minus sign (so options copied from the page work), and
// a line of text never starts a request. No date, so that the page is the
// same from build to build.
std::string manPageText(const ManPage& page);

} // namespace platform
