#pragma once
// The varyings declaration: entries "type name" separated by ";", naming the
// per-vertex values a transform feedback pass writes and later passes read
// back as vertex attributes.
#include <string>
#include <vector>

struct Varying {
    std::string type;
    std::string name;
};

// Parses a declaration text of any length. Entries are trimmed and cut into
// words at spaces; the first word is the type and the last the name; entries
// of fewer than two words are ignored. Logs each varying it creates.
std::vector<Varying> parseVaryings(const std::string& text);

// Components of a varying type: float 1, vec2 2, vec3 3, vec4 4, uint 1,
// uvec2 2; any other type counts as one float.
int varyingComponents(const std::string& type);

// True for the unsigned integer types uint and uvec2.
bool varyingIsInteger(const std::string& type);
