#include "gpu/Varyings.h"

#include <gtest/gtest.h>

namespace {
std::vector<std::pair<std::string, std::string>> pairs(const std::vector<Varying>& v)
{
    std::vector<std::pair<std::string, std::string>> out;
    for (const auto& x : v)
        out.emplace_back(x.type, x.name);
    return out;
}
using P = std::vector<std::pair<std::string, std::string>>;
} // namespace

TEST(Varyings, EntriesAreTrimmedAndOneWordEntriesIgnored)
{
    EXPECT_EQ(pairs(parseVaryings(" vec3 pos ;vec3  vel;; float life ;junk;")),
              (P{{"vec3", "pos"}, {"vec3", "vel"}, {"float", "life"}}));
    EXPECT_TRUE(parseVaryings("").empty());
    EXPECT_TRUE(parseVaryings(";;;").empty());
    EXPECT_EQ(pairs(parseVaryings("vec4 colour")), (P{{"vec4", "colour"}}));
}

TEST(Varyings, ThreeWordsTakeFirstAsTypeAndLastAsName)
{
    EXPECT_EQ(pairs(parseVaryings("highp vec2 uv")), (P{{"highp", "uv"}}));
    // A tab inside an entry is not a separator.
    EXPECT_EQ(pairs(parseVaryings("vec2\tuv")), P{});
}

TEST(Varyings, LongDeclarationsAreParsedWhole)
{
    std::string text;
    for (int i = 0; i < 200; ++i)
        text += "vec4 v" + std::to_string(i) + ";";
    const auto v = parseVaryings(text);
    ASSERT_EQ(v.size(), 200u);
    EXPECT_EQ(v.back().name, "v199");
}

TEST(Varyings, TypeTable)
{
    EXPECT_EQ(varyingComponents("float"), 1);
    EXPECT_EQ(varyingComponents("vec2"), 2);
    EXPECT_EQ(varyingComponents("vec3"), 3);
    EXPECT_EQ(varyingComponents("vec4"), 4);
    EXPECT_EQ(varyingComponents("uint"), 1);
    EXPECT_EQ(varyingComponents("uvec2"), 2);
    EXPECT_EQ(varyingComponents("highp"), 1);
    EXPECT_EQ(varyingComponents("Vec4"), 1); // case-sensitive
    EXPECT_TRUE(varyingIsInteger("uint"));
    EXPECT_TRUE(varyingIsInteger("uvec2"));
    EXPECT_FALSE(varyingIsInteger("vec2"));
    EXPECT_FALSE(varyingIsInteger("int"));
}
