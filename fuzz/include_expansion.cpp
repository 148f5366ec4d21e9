// The include expansion and placeholder replacement that the anti-aliasing
// shaders pass through.
//
// fx/ holds a few include files (one that itself includes, one without a
// last line feed, an empty one, a folder). Checks that a source without
// "#include " comes out of the include step unchanged, that the step never
// grows a source by more than its directives can bring in (included text is
// not searched again), and that no "hash " is left after the whole
// preprocessing.
#include "fuzz_target.h"

#include "gpu/ShaderPreprocess.h"

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <string>

namespace {

// The largest include file, with its added line feed.
size_t largest_include = 0;

void write(const std::string& path, const std::string& text)
{
    std::ofstream(path, std::ios::binary) << text;
    largest_include = std::max(largest_include, text.size() + 1);
}

size_t count(const std::string& text, const std::string& what)
{
    size_t n = 0;
    for (size_t at = text.find(what); at != std::string::npos; at = text.find(what, at + 1))
        ++n;
    return n;
}

void setup()
{
    enter_fuzz_dir();
    std::filesystem::create_directories("fx/dir");
    write("fx/a.h", "hash define A 1\nfloat a;\n");
    write("fx/b.h", "#include \"a.h\"\nhash if A\nhash endif");
    write("fx/empty", "");
#ifdef TARVONIC_LIBFUZZER
    // A complaint per missing include file would fill the fuzzing log; the
    // sanitizers write to the file descriptor, past this stream.
    std::cerr.rdbuf(nullptr);
#endif
}

int run(const uint8_t* data, size_t size)
{
    const std::string source(reinterpret_cast<const char*>(data), size);
    std::string expanded = source;
    expandIncludes(expanded);
    const size_t directives = count(source, "#include ");
    fuzz_check(directives > 0 || expanded == source, "a source without includes changed");
    fuzz_check(expanded.size() <= source.size() + directives * largest_include, "more text than the includes hold");

    std::string whole = source;
    preprocessShaderSource(whole);
    fuzz_check(whole.find("hash ") == std::string::npos, "a placeholder was left");
    return 0;
}

} // namespace

FUZZ_TARGET(include_expansion, setup, run)
