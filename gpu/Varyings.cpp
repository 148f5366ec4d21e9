#include "gpu/Varyings.h"

#include <QDebug>

namespace {

std::string trimmed(const std::string& s)
{
    const char* ws = " \t\n\r\v\f";
    const size_t first = s.find_first_not_of(ws);
    if (first == std::string::npos)
        return {};
    const size_t last = s.find_last_not_of(ws);
    return s.substr(first, last - first + 1);
}

std::vector<std::string> split(const std::string& s, char sep)
{
    std::vector<std::string> parts;
    size_t start = 0;
    while (start <= s.size()) {
        size_t end = s.find(sep, start);
        if (end == std::string::npos)
            end = s.size();
        if (end > start)
            parts.push_back(s.substr(start, end - start));
        start = end + 1;
    }
    return parts;
}

} // namespace

std::vector<Varying> parseVaryings(const std::string& text)
{
    std::vector<Varying> out;
    for (const std::string& entry : split(text, ';')) {
        const std::vector<std::string> words = split(trimmed(entry), ' ');
        if (words.size() < 2)
            continue;
        out.push_back({words.front(), words.back()});
        qDebug("created shader varying:(%s),(%s)", words.front().c_str(), words.back().c_str());
    }
    return out;
}

int varyingComponents(const std::string& type)
{
    if (type == "vec2" || type == "uvec2")
        return 2;
    if (type == "vec3")
        return 3;
    if (type == "vec4")
        return 4;
    return 1;
}

bool varyingIsInteger(const std::string& type)
{
    return type == "uint" || type == "uvec2";
}
