// The text of a ShaderParam's paramValueVec4.
//
// Checks that each of the four values is the number its field starts with
// (0 for one that starts with none), read alone, and that whatever follows
// the fourth field changes nothing.
#include "fuzz_target.h"

#include "items/Vec4Text.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <string>

namespace {

bool same(float a, float b)
{
    return std::memcmp(&a, &b, sizeof a) == 0 || (std::isnan(a) && std::isnan(b));
}

int run(const uint8_t* data, size_t size)
{
    const std::string text(reinterpret_cast<const char*>(data), size);
    const std::array<float, 4> v = parseVec4Text(text);

    size_t start = 0;
    for (size_t i = 0; i < 4; ++i) {
        float expected = 0.0f;
        if (start < text.size()) {
            const size_t end = std::min(text.find(',', start), text.size());
            // strtof stops at a NUL, as it does inside the item.
            expected = std::strtof(text.substr(start, end - start).c_str(), nullptr);
            start = end + 1;
        } else {
            start = text.size() + 1;
        }
        fuzz_check(same(v[i], expected), "a field read otherwise than alone");
    }
    if (start <= text.size()) {
        const std::array<float, 4> cut = parseVec4Text(text.substr(0, start - 1));
        for (size_t i = 0; i < 4; ++i)
            fuzz_check(same(v[i], cut[i]), "a fifth field changed the values");
    }
    return 0;
}

} // namespace

FUZZ_TARGET(vec4_text, nullptr, run)
