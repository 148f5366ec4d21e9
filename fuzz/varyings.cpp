// The varyings declaration of a Shader, a mesh or a vertex-buffer draw.
//
// Checks that every varying has a type and a name that are single words (no
// separator, no space; the type does not begin and the name does not end
// with white space, as entries are trimmed), that there are no
// more varyings than entries, that the list written back as a declaration
// reads the same, and that every type counts one to four components.
#include "fuzz_target.h"

#include "gpu/Varyings.h"

#include <algorithm>
#include <string>
#include <vector>

namespace {

bool is_white(char c)
{
    return c == ' ' || c == '\t' || c == '\n' || c == '\r' || c == '\v' || c == '\f';
}

bool is_word(const std::string& w)
{
    return !w.empty() && w.find(';') == std::string::npos && w.find(' ') == std::string::npos;
}

void setup()
{
    enter_fuzz_dir(); // for the quiet log
}

int run(const uint8_t* data, size_t size)
{
    const std::string text(reinterpret_cast<const char*>(data), size);
    const std::vector<Varying> list = parseVaryings(text);
    fuzz_check(list.size() <= size_t(std::count(text.begin(), text.end(), ';')) + 1, "more varyings than entries");
    std::string again;
    for (const Varying& v : list) {
        fuzz_check(is_word(v.type) && is_word(v.name), "a type or name that is not one word");
        fuzz_check(!is_white(v.type.front()) && !is_white(v.name.back()),
                   "an entry that was not trimmed");
        const int components = varyingComponents(v.type);
        fuzz_check(components >= 1 && components <= 4, "a type of no size");
        again += v.type + " " + v.name + ";";
    }
    const std::vector<Varying> back = parseVaryings(again);
    bool same = back.size() == list.size();
    for (size_t i = 0; same && i < list.size(); ++i)
        same = back[i].type == list[i].type && back[i].name == list[i].name;
    fuzz_check(same, "the list reads otherwise when written back");
    return 0;
}

} // namespace

FUZZ_TARGET(varyings, setup, run)
