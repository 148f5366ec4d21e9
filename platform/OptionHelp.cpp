#include "platform/OptionHelp.h"

#include <algorithm>
#include <cctype>

namespace platform {

namespace {

std::string column(const OptionHelp& option)
{
    return option.spellings + option.value;
}

// Text inside a line: a backslash would start an escape, and a plain '-' is
// a hyphen that some terminals show as another character.
std::string escape(const std::string& text)
{
    std::string out;
    for (const char c : text) {
        if (c == '\\')
            out += "\\e";
        else if (c == '-')
            out += "\\-";
        else
            out += c;
    }
    return out;
}

// A whole line of text: one that starts with '.' or '\'' would be read as a
// request.
std::string escapeLine(const std::string& line)
{
    const std::string escaped = escape(line);
    if (!escaped.empty() && (escaped[0] == '.' || escaped[0] == '\''))
        return "\\&" + escaped;
    return escaped;
}

std::vector<std::string> linesOf(const std::string& text)
{
    std::vector<std::string> lines;
    size_t from = 0;
    while (from <= text.size()) {
        const size_t end = std::min(text.find('\n', from), text.size());
        lines.push_back(text.substr(from, end - from));
        from = end + 1;
    }
    return lines;
}

// Filled text: leading blanks would break the line, empty lines would add
// space.
std::string filled(const std::string& text)
{
    std::string out;
    for (const std::string& line : linesOf(text)) {
        const size_t first = line.find_first_not_of(' ');
        if (first != std::string::npos)
            out += escapeLine(line.substr(first)) + "\n";
    }
    return out;
}

std::string optionTerm(const OptionHelp& option)
{
    std::string term;
    size_t from = 0;
    while (from < option.spellings.size()) {
        const size_t comma = std::min(option.spellings.find(", ", from), option.spellings.size());
        if (!term.empty())
            term += ", ";
        term += "\\fB" + escape(option.spellings.substr(from, comma - from)) + "\\fR";
        from = comma + 2;
    }
    if (!option.value.empty()) {
        const size_t first = option.value.find_first_not_of(' ');
        term += option.value.substr(0, first) + "\\fI" + escape(option.value.substr(first)) + "\\fR";
    }
    return term;
}

std::string block(const ManBlock& b)
{
    switch (b.kind) {
    case ManBlock::Paragraph:
        return ".PP\n" + filled(b.text);
    case ManBlock::Example: {
        std::string out = ".PP\n.RS 4\n.nf\n";
        for (const std::string& line : linesOf(b.text))
            out += escapeLine(line) + "\n";
        return out + ".fi\n.RE\n";
    }
    case ManBlock::Item:
        return ".TP\n" + escapeLine(b.term) + "\n" + filled(b.text);
    }
    return {};
}

std::string upper(std::string text)
{
    for (char& c : text)
        c = char(std::toupper(static_cast<unsigned char>(c)));
    return text;
}

} // namespace

std::string optionListText(const std::vector<OptionHelp>& options)
{
    size_t width = 0;
    for (const OptionHelp& option : options)
        width = std::max(width, column(option).size());
    std::string text;
    for (const OptionHelp& option : options) {
        const std::string c = column(option);
        text += "  " + c + std::string(width - c.size() + 2, ' ') + option.help + "\n";
    }
    return text;
}

std::string manPageText(const ManPage& page)
{
    std::string text = ".TH " + upper(escape(page.name)) + " 1 \"\" \"" + escape(page.source) +
                       "\" \"User Commands\"\n";
    text += ".SH NAME\n" + escape(page.name) + " \\- " + escape(page.summary) + "\n";
    text += ".SH SYNOPSIS\n";
    for (size_t i = 0; i < page.synopsis.size(); ++i)
        text += (i ? ".br\n.B " : ".B ") + escape(page.name) + "\n" + escapeLine(page.synopsis[i]) + "\n";
    text += ".SH DESCRIPTION\n";
    for (const ManBlock& b : page.description)
        text += block(b);
    if (!page.options.empty()) {
        text += ".SH OPTIONS\n";
        for (const OptionHelp& option : page.options)
            text += ".TP\n" + optionTerm(option) + "\n" + filled(option.help);
    }
    for (const ManSection& section : page.sections) {
        text += ".SH " + escape(upper(section.title)) + "\n";
        for (const ManBlock& b : section.blocks)
            text += block(b);
    }
    return text;
}

} // namespace platform
