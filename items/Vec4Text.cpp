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
        const std::string field = text.substr(start, end - start);
        // strtof skips leading white space, ignores what follows the number
        // and gives 0 when the field does not start with one.
        v[size_t(i)] = std::strtof(field.c_str(), nullptr);
        start = end + 1;
    }
    return v;
}
