#pragma once
// The text preprocessor that the built-in anti-aliasing shaders pass through
// before they compile. Skene shaders are compiled as written and never come
// here.
//
// Two steps: include lines are expanded from files under ./fx/, then the
// placeholder "hash " becomes "#". The placeholder lets a built-in source
// carry directives that refer to what an included file defines.
#include <string>

// Replaces each `#include "name"` with the text of ./fx/name, every line of
// it followed by a line feed (so a file that ends with a line feed leaves
// one empty line after it). Text after the closing quote stays. Lines of any
// length are taken whole. Included text is not searched again: one level
// only. A file that does not open is reported on the standard error stream
// ("Couldn't include shader file: name") and the directive is removed. A
// directive whose name has no closing quote on its own line is reported the
// same way and left as it stands, for the compiler to point at.
void expandIncludes(std::string& source);

// Replaces every occurrence of from, left to right, going on after each
// inserted replacement (so a replacement is never replaced again). An empty
// from changes nothing.
void replaceAll(std::string& source, const std::string& from, const std::string& to);

// expandIncludes, then every "hash " becomes "#", in the included text too.
void preprocessShaderSource(std::string& source);
