#include "gpu/ShaderPreprocess.h"

#include "platform/Files.h"

#include <algorithm>
#include <iostream>

namespace {

const char kDirective[] = "#include ";
const size_t kDirectiveLength = sizeof(kDirective) - 1;

// The text an include inserts: the file's lines, each followed by a line
// feed. Splitting at every line feed and closing each piece with one is the
// same as appending a line feed to the whole file, whatever its line lengths.
bool readIncludeText(const std::string& name, std::string& text)
{
    if (!platform::readWholeFile("./fx/" + name, text))
        return false;
    text += '\n';
    return true;
}

} // namespace

void expandIncludes(std::string& source)
{
    size_t searchFrom = 0;
    for (;;) {
        const size_t at = source.find(kDirective, searchFrom);
        if (at == std::string::npos)
            return;
        // The character after the space is the opening quote.
        const size_t nameStart = at + kDirectiveLength + 1;
        const size_t lineEnd = std::min(source.find('\n', at), source.size());
        const size_t close = nameStart < lineEnd ? source.find('"', nameStart) : std::string::npos;
        if (close == std::string::npos || close >= lineEnd) {
            // Without its closing quote on the line, the name would run into
            // the shader's code; the compiler reports the line as it stands.
            const std::string rest = nameStart < lineEnd ? source.substr(nameStart, lineEnd - nameStart) : "";
            std::cerr << "Couldn't include shader file: " << rest << "\n";
            searchFrom = lineEnd;
            continue;
        }
        const std::string name = source.substr(nameStart, close - nameStart);
        std::string text;
        if (!readIncludeText(name, text))
            std::cerr << "Couldn't include shader file: " << name << "\n";
        source.replace(at, close + 1 - at, text);
        searchFrom = at + text.size();
    }
}

void replaceAll(std::string& source, const std::string& from, const std::string& to)
{
    if (from.empty())
        return;
    size_t at = 0;
    while ((at = source.find(from, at)) != std::string::npos) {
        source.replace(at, from.size(), to);
        at += to.size();
    }
}

void preprocessShaderSource(std::string& source)
{
    expandIncludes(source);
    replaceAll(source, "hash ", "#");
}
