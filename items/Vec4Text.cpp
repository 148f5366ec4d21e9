#include "items/Vec4Text.h"

#include <cstdlib>

std::array<float, 4> parseVec4Text(const std::string& text)
{
    std::array<float, 4> v{0.0f, 0.0f, 0.0f, 0.0f};
    size_t start = 0;
    for (int i = 0; i < 4 && start < text.size(); ++i) {
        size_t end = text.find(',', start);
        if (end == std::string::npos)
            end = text.size();
        // strtof skips leading white space, ignores what follows the number
        // and gives 0 when the field does not start with one. No number goes
        // on across a comma, so it reads the field in place: a copy of it
        // would allocate once a field outgrows the short-string buffer (QML
        // prints up to 17 digits), every frame for a bound text.
        v[size_t(i)] = std::strtof(text.c_str() + start, nullptr);
        start = end + 1;
    }
    return v;
}
