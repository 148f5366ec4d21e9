#include <GL/glew.h>

#include "gpu/GpuResources.h"
#include "gpu/HalfFloat.h"
#include "gpu/Mesh.h"
#include "gpu/TransformFeedback.h"
#include "gpu/VertexBuffers.h"

#include "support/GlFramebuffer.h"
#include "support/GlTestContext.h"
#include "support/RecordingNotifier.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <limits>
#include <vector>

namespace {

template <typename T>
std::vector<T> asWords(const std::vector<uint8_t>& bytes)
{
    std::vector<T> words(bytes.size() / sizeof(T));
    std::memcpy(words.data(), bytes.data(), words.size() * sizeof(T));
    return words;
}

// One vertex of the float form: position, normal, uv, tangent.
const std::vector<float> kVertex = {1.0f, -2.0f, 0.5f, 0.0f, 1.0f, -1.0f, 0.25f, 0.75f, 2.0f, 3.0f, 4.0f};

struct Attribute {
    GLint enabled, size, type, stride, integer, divisor;
    size_t offset;
};

Attribute attribute(GLuint index)
{
    Attribute a{};
    glGetVertexAttribiv(index, GL_VERTEX_ATTRIB_ARRAY_ENABLED, &a.enabled);
    glGetVertexAttribiv(index, GL_VERTEX_ATTRIB_ARRAY_SIZE, &a.size);
    glGetVertexAttribiv(index, GL_VERTEX_ATTRIB_ARRAY_TYPE, &a.type);
    glGetVertexAttribiv(index, GL_VERTEX_ATTRIB_ARRAY_STRIDE, &a.stride);
    glGetVertexAttribiv(index, GL_VERTEX_ATTRIB_ARRAY_INTEGER, &a.integer);
    glGetVertexAttribiv(index, GL_VERTEX_ATTRIB_ARRAY_DIVISOR, &a.divisor);
    void* pointer = nullptr;
    glGetVertexAttribPointerv(index, GL_VERTEX_ATTRIB_ARRAY_POINTER, &pointer);
    a.offset = reinterpret_cast<size_t>(pointer);
    return a;
}

// Applies the mesh's layout in a scratch vertex array with a scratch buffer
// and reads attribute index back.
struct LayoutProbe {
    LayoutProbe()
    {
        glGenVertexArrays(1, &vao);
        glBindVertexArray(vao);
        glGenBuffers(1, &vbo);
        glBindBuffer(GL_ARRAY_BUFFER, vbo);
    }
    ~LayoutProbe()
    {
        glBindVertexArray(0);
        glBindBuffer(GL_ARRAY_BUFFER, 0);
        glDeleteBuffers(1, &vbo);
        glDeleteVertexArrays(1, &vao);
    }
    GLuint vao = 0, vbo = 0;
};

GLint bufferSize(GLuint buffer)
{
    GLint size = -1;
    glBindBuffer(GL_ARRAY_BUFFER, buffer);
    glGetBufferParameteriv(GL_ARRAY_BUFFER, GL_BUFFER_SIZE, &size);
    glBindBuffer(GL_ARRAY_BUFFER, 0);
    return size;
}

struct GlFixture : ::testing::Test {
    void SetUp() override { ASSERT_TRUE(gl.ok()); }
    GlTestContext gl;
};

} // namespace

TEST(HalfFloat, RoundsToNearestAndOverflowsToSignedInfinity)
{
    EXPECT_EQ(floatToHalf(0.0f), 0x0000);
    EXPECT_EQ(floatToHalf(-0.0f), 0x8000);
    EXPECT_EQ(floatToHalf(1.0f), 0x3c00);
    EXPECT_EQ(floatToHalf(-2.0f), 0xc000);
    EXPECT_EQ(floatToHalf(0.1f), 0x2e66);
    EXPECT_EQ(floatToHalf(65504.0f), 0x7bff);   // the largest half
    EXPECT_EQ(floatToHalf(65519.0f), 0x7bff);   // still nearer 65504
    EXPECT_EQ(floatToHalf(65520.0f), 0x7c00);   // halfway rounds up to infinity
    EXPECT_EQ(floatToHalf(-1.0e6f), 0xfc00);
    EXPECT_EQ(floatToHalf(std::numeric_limits<float>::infinity()), 0x7c00);
    const uint16_t nan = floatToHalf(std::numeric_limits<float>::quiet_NaN());
    EXPECT_EQ(nan & 0x7c00, 0x7c00);
    EXPECT_NE(nan & 0x03ff, 0);
    // Ties go to the even mantissa: 1 + 2^-11 lies halfway between 1 and the
    // next half up.
    EXPECT_EQ(floatToHalf(1.0f + std::ldexp(1.0f, -11)), 0x3c00);
    EXPECT_EQ(floatToHalf(1.0f + 3.0f * std::ldexp(1.0f, -11)), 0x3c02);
}

TEST(HalfFloat, SubnormalsAndTheSmallestValues)
{
    EXPECT_EQ(floatToHalf(std::ldexp(1.0f, -14)), 0x0400);       // smallest normal
    EXPECT_EQ(floatToHalf(std::ldexp(1.0f, -24)), 0x0001);       // smallest subnormal
    EXPECT_EQ(floatToHalf(-std::ldexp(1.0f, -24)), 0x8001);
    EXPECT_EQ(floatToHalf(std::ldexp(3.0f, -24)), 0x0003);
    EXPECT_EQ(floatToHalf(std::ldexp(1.0f, -25)), 0x0000);       // halfway to 0: even
    EXPECT_EQ(floatToHalf(std::ldexp(3.0f, -25)), 0x0002);       // 1.5 units: even
    EXPECT_EQ(floatToHalf(std::ldexp(1.0f, -30)), 0x0000);
    EXPECT_EQ(floatToHalf(std::ldexp(1023.0f, -24)), 0x03ff);    // largest subnormal
    EXPECT_EQ(floatToHalf(std::ldexp(1023.75f, -24)), 0x0400);   // rounds into the normals
    for (uint16_t h : {0x0001, 0x03ff, 0x0400, 0x3c00, 0x7bff, 0xc000, 0x8001})
        EXPECT_EQ(floatToHalf(halfToFloat(h)), h) << std::hex << h;
    EXPECT_FLOAT_EQ(halfToFloat(0x0001), std::ldexp(1.0f, -24));
}

TEST(HalfFloat, EveryHalfGivesItsExactFloatAndComesBack)
{
    for (uint32_t h = 0; h < 0x10000; ++h) {
        const uint16_t half = uint16_t(h);
        const bool negative = (h & 0x8000u) != 0;
        const int exponent = int((h >> 10) & 0x1fu);
        const int mantissa = int(h & 0x3ffu);
        const float f = halfToFloat(half);
        ASSERT_EQ(std::signbit(f), negative) << std::hex << h;
        if (exponent == 0x1f && mantissa != 0) {
            ASSERT_TRUE(std::isnan(f)) << std::hex << h;
            const uint16_t back = floatToHalf(f);
            ASSERT_TRUE((back & 0x7c00) == 0x7c00 && (back & 0x03ff) != 0 && (back & 0x8000) == (h & 0x8000u))
                << std::hex << h;
            continue;
        }
        const float magnitude = exponent == 0x1f ? std::numeric_limits<float>::infinity()
            : exponent == 0                      ? std::ldexp(float(mantissa), -24)
                                                 : std::ldexp(float(1024 + mantissa), exponent - 25);
        ASSERT_EQ(f, negative ? -magnitude : magnitude) << std::hex << h;
        ASSERT_EQ(floatToHalf(f), half) << std::hex << h;
    }
}

TEST(HalfFloat, EveryTieBetweenNeighboursGoesToTheEvenOne)
{
    for (uint16_t sign : {uint16_t(0x0000), uint16_t(0x8000)}) {
        for (uint16_t h = 0; h < 0x7bff; ++h) {
            const uint16_t low = uint16_t(sign | h);
            const uint16_t high = uint16_t(sign | (h + 1));
            const float lowValue = halfToFloat(low);
            const float highValue = halfToFloat(high);
            // Exact: a float has 13 more mantissa bits than a half.
            const float tie = (lowValue + highValue) / 2.0f;
            ASSERT_EQ(floatToHalf(tie), (h & 1u) ? high : low) << std::hex << low;
            ASSERT_EQ(floatToHalf(std::nextafter(tie, lowValue)), low) << std::hex << low;
            ASSERT_EQ(floatToHalf(std::nextafter(tie, highValue)), high) << std::hex << low;
        }
        // Past the largest half the next step up would be 2^16: its tie,
        // 65520, already overflows, and the float just below it does not.
        const float largest = sign ? -65504.0f : 65504.0f;
        const float overflowTie = sign ? -65520.0f : 65520.0f;
        EXPECT_EQ(floatToHalf(overflowTie), uint16_t(sign | 0x7c00));
        EXPECT_EQ(floatToHalf(std::nextafter(overflowTie, largest)), uint16_t(sign | 0x7bff));
    }
}

TEST(VertexStorage, FormsAndStrides)
{
    Mesh mesh;
    EXPECT_EQ(meshStorage(mesh), VertexStorage::Float);
    mesh.intPack = true; // alone it keeps floats
    EXPECT_EQ(meshStorage(mesh), VertexStorage::Float);
    mesh.halfFloats = true;
    EXPECT_EQ(meshStorage(mesh), VertexStorage::Packed);
    mesh.intPack = false;
    EXPECT_EQ(meshStorage(mesh), VertexStorage::Half);

    EXPECT_EQ(encodeVertices(kVertex, VertexStorage::Float).size(), 44u);
    const std::vector<uint16_t> halves = asWords<uint16_t>(encodeVertices(kVertex, VertexStorage::Half));
    ASSERT_EQ(halves.size(), 11u);
    for (size_t i = 0; i < halves.size(); ++i)
        EXPECT_EQ(halves[i], floatToHalf(kVertex[i])) << i;
}

TEST(VertexStorage, PackedWordsHoldTwoHalvesFirstInTheLowBits)
{
    const std::vector<uint32_t> words = asWords<uint32_t>(encodeVertices(kVertex, VertexStorage::Packed));
    ASSERT_EQ(words.size(), 7u);
    EXPECT_EQ(words[0], 0xc0003c00u); // (x 1, y -2)
    EXPECT_EQ(words[1], 0x00003800u); // (z 0.5, 0)
    EXPECT_EQ(words[2], 0x3c000000u); // (nx 0, ny 1)
    EXPECT_EQ(words[3], 0x0000bc00u); // (nz -1, 0)
    EXPECT_EQ(words[4], 0x3a003400u); // (u 0.25, v 0.75)
    EXPECT_EQ(words[5], 0x42004000u); // (tx 2, ty 3)
    EXPECT_EQ(words[6], 0x00004400u); // (tz 4, 0)
}

TEST(PointGridData, RowOfHundredRunsFromZeroToOne)
{
    const std::vector<float> grid = asWords<float>(pointGridData(100, 2, false, false));
    ASSERT_EQ(grid.size(), 100u * 2u * 5u);
    for (int column = 0; column < 100; ++column) {
        const float* p = &grid[size_t(column) * 5];
        EXPECT_FLOAT_EQ(p[0], float(column) / 99.0f);
        EXPECT_EQ(p[1], 0.0f);
        EXPECT_EQ(p[3], float(column));
    }
    EXPECT_EQ(grid[0], 0.0f);
    EXPECT_EQ(grid[99 * 5], 1.0f);
    const float* last = &grid[(100 + 99) * 5]; // second row, last column
    EXPECT_EQ(last[0], 1.0f);
    EXPECT_EQ(last[1], 1.0f);
    EXPECT_EQ(last[2], 0.0f);
    EXPECT_EQ(last[3], 99.0f);
    EXPECT_EQ(last[4], 1.0f);
}

TEST(PointGridData, SingleRowsAndColumnsSitAtZero)
{
    const std::vector<float> column = asWords<float>(pointGridData(1, 3, false, false));
    ASSERT_EQ(column.size(), 15u);
    for (int row = 0; row < 3; ++row) {
        EXPECT_EQ(column[size_t(row) * 5], 0.0f);
        EXPECT_FLOAT_EQ(column[size_t(row) * 5 + 1], float(row) / 2.0f);
        EXPECT_TRUE(std::isfinite(column[size_t(row) * 5 + 1]));
    }
    const std::vector<float> single = asWords<float>(pointGridData(1, 1, false, false));
    EXPECT_EQ(single, (std::vector<float>{0, 0, 0, 0, 0}));
    EXPECT_TRUE(pointGridData(0, 5, false, false).empty());
    EXPECT_TRUE(pointGridData(5, -1, false, false).empty());
}

TEST(PointGridData, HalfAndPackedForms)
{
    const std::vector<uint16_t> halves = asWords<uint16_t>(pointGridData(3, 2, true, false));
    ASSERT_EQ(halves.size(), 3u * 2u * 5u);
    const uint16_t* p = &halves[(3 + 1) * 5]; // row 1, column 1
    EXPECT_EQ(p[0], floatToHalf(0.5f));
    EXPECT_EQ(p[1], floatToHalf(1.0f));
    EXPECT_EQ(p[3], floatToHalf(1.0f));
    EXPECT_EQ(p[4], floatToHalf(1.0f));

    const std::vector<uint32_t> words = asWords<uint32_t>(pointGridData(3, 2, false, true));
    ASSERT_EQ(words.size(), 3u * 2u * 3u);
    const uint32_t* w = &words[(3 + 2) * 3]; // row 1, column 2
    EXPECT_EQ(w[0], packHalf2(1.0f, 1.0f));
    EXPECT_EQ(w[1], 0u);
    EXPECT_EQ(w[2], packHalf2(2.0f, 1.0f));
}

TEST_F(GlFixture, MeshLayoutsFollowTheStorageForm)
{
    Mesh mesh;
    {
        LayoutProbe probe;
        applyVertexLayout(mesh);
        const Attribute tangent = attribute(3);
        EXPECT_TRUE(tangent.enabled);
        EXPECT_EQ(tangent.type, GL_FLOAT);
        EXPECT_EQ(tangent.stride, 44);
        EXPECT_EQ(tangent.offset, 32u);
        EXPECT_EQ(attribute(2).size, 2);
        EXPECT_FALSE(attribute(4).enabled);
    }
    mesh.halfFloats = true;
    {
        LayoutProbe probe;
        applyVertexLayout(mesh);
        const Attribute uv = attribute(2);
        EXPECT_EQ(uv.type, GL_HALF_FLOAT);
        EXPECT_EQ(uv.stride, 22);
        EXPECT_EQ(uv.offset, 12u);
        EXPECT_EQ(attribute(3).offset, 16u);
    }
    mesh.intPack = true;
    {
        LayoutProbe probe;
        applyVertexLayout(mesh);
        const Attribute uv = attribute(2);
        EXPECT_TRUE(uv.integer);
        EXPECT_EQ(uv.type, GL_UNSIGNED_INT);
        EXPECT_EQ(uv.size, 1);
        EXPECT_EQ(uv.stride, 28);
        EXPECT_EQ(uv.offset, 16u);
        EXPECT_EQ(attribute(3).offset, 20u);
        EXPECT_EQ(attribute(3).size, 2);

        resetVertexLayout();
        for (GLuint i = 0; i < 16; ++i)
            EXPECT_FALSE(attribute(i).enabled) << i;
    }
    EXPECT_EQ(glGetError(), GLenum(GL_NO_ERROR));
}

TEST_F(GlFixture, GridLayoutFromVaryings)
{
    Mesh mesh;
    mesh.kind = MeshKindPointGrid;
    mesh.layoutVaryings = parseVaryings("vec3 pos; uint id; vec4 colour");
    {
        LayoutProbe probe;
        applyVertexLayout(mesh);
        EXPECT_EQ(attribute(0).stride, 32);
        EXPECT_EQ(attribute(0).size, 3);
        EXPECT_EQ(attribute(1).integer, 1);
        EXPECT_EQ(attribute(1).offset, 12u);
        EXPECT_EQ(attribute(2).type, GL_FLOAT);
        EXPECT_EQ(attribute(2).offset, 16u);
        EXPECT_EQ(attribute(2).size, 4);
    }
    // Half floats: the floats take two bytes a component, the integer a
    // whole word at a word boundary, inside the same item.
    mesh.halfFloats = true;
    {
        LayoutProbe probe;
        applyVertexLayout(mesh);
        EXPECT_EQ(attribute(0).type, GL_HALF_FLOAT);
        EXPECT_EQ(attribute(1).integer, 1);
        EXPECT_EQ(attribute(1).offset, 8u);
        EXPECT_EQ(attribute(2).type, GL_HALF_FLOAT);
        EXPECT_EQ(attribute(2).offset, 12u);
        for (GLuint i = 0; i < 3; ++i)
            EXPECT_EQ(attribute(i).stride, 20) << i;
    }
    EXPECT_EQ(layoutStride(mesh), 20);
}

// What GL reads of a half-float particle ring, attribute by attribute, for
// its last item, lies inside the ring's buffer.
TEST_F(GlFixture, EveryAttributeOfAHalfFloatRingLiesInsideItsBuffer)
{
    const auto typeBytes = [](GLint type) { return type == GL_HALF_FLOAT ? 2 : 4; };
    for (const char* varyings : {"vec3 pos; uint id; vec4 colour", "uvec2 ids; vec3 pos", "vec3 pos; vec2 vel",
                                 "float a; uint b; float c; uvec2 d"}) {
        Mesh grid;
        grid.halfFloats = true;
        createCustomPointGridVBO(grid, 16, 1, 0, true, parseVaryings(varyings));
        ASSERT_EQ(grid.records.size(), 1u) << varyings;
        const TransformFeedback& ring = *grid.records[0].transformFeedback;
        glBindVertexArray(ring.arrays[0]);
        int enabled = 0;
        for (GLuint i = 0; i < 16; ++i) {
            const Attribute a = attribute(i);
            if (!a.enabled)
                continue;
            ++enabled;
            const int64_t end = int64_t(15) * a.stride + int64_t(a.offset) + int64_t(a.size) * typeBytes(a.type);
            EXPECT_LE(end, ring.byteSize) << varyings << ", attribute " << i;
            EXPECT_EQ(a.offset % (a.integer ? 4 : 2), 0u) << varyings << ", attribute " << i;
        }
        glBindVertexArray(0);
        EXPECT_EQ(enabled, int(grid.layoutVaryings.size())) << varyings;
        EXPECT_EQ(ring.itemBytes() % 4, 0) << varyings;
    }
    EXPECT_EQ(glGetError(), GLenum(GL_NO_ERROR));
}

TEST_F(GlFixture, PointGridUploadAndRebuildReleasesTheOldBuffers)
{
    Mesh mesh;
    createCustomPointGridVBO(mesh, 4, 3, 7, true, {});
    ASSERT_EQ(mesh.records.size(), 1u);
    const MeshRecord first = mesh.records[0];
    EXPECT_EQ(mesh.kind, MeshKindPointGrid);
    EXPECT_EQ(first.vertexCount, 12);
    EXPECT_EQ(first.primitiveMode, GLenum(GL_POINTS));
    EXPECT_EQ(first.indexBuffer, 0u);
    EXPECT_EQ(mesh.seedCount, 7);
    EXPECT_EQ(bufferSize(first.vertexBuffer), 12 * 20);
    std::vector<float> stored(60);
    glBindBuffer(GL_ARRAY_BUFFER, first.vertexBuffer);
    glGetBufferSubData(GL_ARRAY_BUFFER, 0, 240, stored.data());
    glBindBuffer(GL_ARRAY_BUFFER, 0);
    EXPECT_EQ(stored, asWords<float>(pointGridData(4, 3, false, false)));

    mesh.halfFloats = true;
    createCustomPointGridVBO(mesh, 5, 5, 0, true, {});
    ASSERT_EQ(mesh.records.size(), 1u);
    // Released: the names are no objects any more, unless the driver
    // handed them straight out again to the new grid (Mesa reuses freed
    // names from 24 on); a name still in use is never handed out twice.
    EXPECT_TRUE(!glIsBuffer(first.vertexBuffer) || first.vertexBuffer == mesh.records[0].vertexBuffer);
    EXPECT_TRUE(!glIsVertexArray(first.vertexArray) || first.vertexArray == mesh.records[0].vertexArray);
    EXPECT_EQ(bufferSize(mesh.records[0].vertexBuffer), 25 * 10);

    // With varyings the items live in the grid's particle ring, sized
    // here for half floats: three words an item.
    createCustomPointGridVBO(mesh, 10, 10, 0, true, parseVaryings("vec4 a; vec2 b"));
    EXPECT_EQ(mesh.layoutVaryings.size(), 2u);
    ASSERT_TRUE(mesh.records[0].transformFeedback);
    EXPECT_EQ(mesh.records[0].transformFeedback->byteSize, 100 * 3 * 4);

    // Without transform feedback the varyings are not used.
    createCustomPointGridVBO(mesh, 2, 2, 0, false, parseVaryings("vec4 a"));
    EXPECT_TRUE(mesh.layoutVaryings.empty());
    EXPECT_EQ(bufferSize(mesh.records[0].vertexBuffer), 4 * 10);

    // No points, or more than can be addressed: no buffer at all.
    createCustomPointGridVBO(mesh, 0, 8, 0, true, {});
    EXPECT_TRUE(mesh.records.empty());
    createCustomPointGridVBO(mesh, 1 << 20, 1 << 20, 0, true, {});
    EXPECT_TRUE(mesh.records.empty());
    EXPECT_EQ(glGetError(), GLenum(GL_NO_ERROR));
}

TEST_F(GlFixture, QuadAndGridDrawWhereTheirVerticesSay)
{
    installRecordingNotifier();
    // Positions in 0..1 stretched over the whole target.
    const char* vert = "#version 430 compatibility\nlayout(location = 0) in vec3 p;\n"
                       "void main() { gl_Position = vec4(p.xy * 2.0 - 1.0, 0.0, 1.0); gl_PointSize = 1.0; }\n";
    const char* frag = "#version 430 compatibility\nout vec4 c;\nvoid main() { c = vec4(1.0); }\n";
    auto compile = [](GLenum type, const char* source) {
        const GLuint s = glCreateShader(type);
        glShaderSource(s, 1, &source, nullptr);
        glCompileShader(s);
        return s;
    };
    const GLuint program = glCreateProgram();
    glAttachShader(program, compile(GL_VERTEX_SHADER, vert));
    glAttachShader(program, compile(GL_FRAGMENT_SHADER, frag));
    glLinkProgram(program);
    GLint linked = 0;
    glGetProgramiv(program, GL_LINK_STATUS, &linked);
    ASSERT_TRUE(linked);
    glUseProgram(program);

    GlFramebuffer fb(8, 8);
    fb.bind();
    glClearColor(0, 0, 0, 0);
    glClear(GL_COLOR_BUFFER_BIT);
    Mesh quad;
    createCustomQuadVBO(quad);
    ASSERT_EQ(quad.records.size(), 1u);
    EXPECT_EQ(quad.records[0].indexCount, 6);
    drawMesh(quad, 0, gpu().feedback, gpu().shaders.current());
    EXPECT_EQ(fb.pixel(0, 0)[0], 255);
    EXPECT_EQ(fb.pixel(7, 7)[0], 255);
    // Nothing of the draw stays bound for the GL code after it.
    GLint arrayBuffer = -1;
    glGetIntegerv(GL_ARRAY_BUFFER_BINDING, &arrayBuffer);
    EXPECT_EQ(arrayBuffer, 0);

    // A 2 x 2 grid puts its points on the corners (pixel centres at 0.5 are
    // hit by points at the target's edge rounded inwards by the rasteriser).
    glClear(GL_COLOR_BUFFER_BIT);
    glEnable(GL_PROGRAM_POINT_SIZE);
    GlFramebuffer grid(9, 9);
    grid.bind();
    glClear(GL_COLOR_BUFFER_BIT);
    Mesh points;
    createCustomPointGridVBO(points, 3, 3, 0, false, {});
    drawMesh(points, 0, gpu().feedback, gpu().shaders.current());
    EXPECT_EQ(grid.pixel(4, 4)[0], 255); // the middle point
    EXPECT_EQ(grid.pixel(2, 2)[0], 0);

    // Switched to triangles, a grid without indices takes its points three
    // at a time instead of reading indices from nowhere.
    points.records[0].primitiveMode = GL_TRIANGLES;
    drawMesh(points, 0, gpu().feedback, gpu().shaders.current());
    EXPECT_EQ(glGetError(), GLenum(GL_NO_ERROR));
    glUseProgram(0);
}
