#include <GL/glew.h>

#include "items/SMAAQML.h"

#include "state/DemoDisplay.h"
#include "state/FrameState.h"

#include "support/CerrCapture.h"
#include "support/FreshState.h"
#include "support/GlFramebuffer.h"
#include "support/GlTestContext.h"
#include "support/LogCapture.h"
#include "support/ProbeEffect.h"
#include "support/TempDemo.h"

#include <gtest/gtest.h>

#include <fstream>
#include <iterator>

namespace {

const int kWidth = 64;
const int kHeight = 36;

std::string exampleFile(const std::string& relative)
{
    std::ifstream in(std::string(TARVONIC_SOURCE_DIR) + "/examples/lumenfall/" + relative, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

GLint textureWidth(GLuint texture)
{
    GLint width = 0;
    glBindTexture(GL_TEXTURE_2D, texture);
    glGetTexLevelParameteriv(GL_TEXTURE_2D, 0, GL_TEXTURE_WIDTH, &width);
    return width;
}

// Pixels of the red channel strictly between black and white.
int greyPixels(const GlFramebuffer& fb)
{
    int n = 0;
    for (int y = 0; y < kHeight; ++y)
        for (int x = 0; x < kWidth; ++x)
            n += fb.pixel(x, y)[0] > 8 && fb.pixel(x, y)[0] < 247;
    return n;
}

struct SmaaFixture : FreshStateTest {
    void SetUp() override
    {
        ASSERT_TRUE(gl.ok());
        demo.enter();
        demoDisplay().width = kWidth;
        demoDisplay().height = kHeight;
        frameState().windowFramebuffer = window.name();
    }
    // The example demo's stand-in header and tables.
    void installStandIn(bool header = true, bool area = true, bool search = true)
    {
        if (header)
            demo.write("fx/SMAA.h", exampleFile("fx/SMAA.h"));
        if (area)
            demo.write("images/smaa_area.raw", exampleFile("images/smaa_area.raw"));
        if (search)
            demo.write("images/smaa_search.raw", exampleFile("images/smaa_search.raw"));
    }
    // White below the line from the bottom-left to the top-right corner,
    // black above it, without any smoothing.
    void drawDiagonal()
    {
        window.bindCleared(0, 0, 0, 1);
        glUseProgram(0);
        glMatrixMode(GL_PROJECTION);
        glLoadIdentity();
        glMatrixMode(GL_MODELVIEW);
        glLoadIdentity();
        glColor4f(1, 1, 1, 1);
        glBegin(GL_TRIANGLES);
        glVertex2f(-1, -1);
        glVertex2f(1, -1);
        glVertex2f(1, 1);
        glEnd();
    }
    GlTestContext gl;
    TempDemo demo;
    GlFramebuffer window{kWidth, kHeight};
};

} // namespace

TEST_F(SmaaFixture, InitBuildsOnceAtTheFirstRenderSize)
{
    installStandIn();
    LogCapture log;
    SMAAQML smaa;
    smaa.init();
    const SmaaPasses& p = smaa.passes();
    ASSERT_TRUE(p.initialized());
    EXPECT_TRUE(p.programsLinked());
    const GLuint names[] = {p.albedoTexture(), p.edgeTexture(), p.blendTexture(), p.edgeProgram()};

    demoDisplay().width = 2 * kWidth;
    demoDisplay().height = 2 * kHeight;
    smaa.init();
    drawDiagonal();
    smaa.render(nullptr); // inits again on its way
    const GLuint after[] = {p.albedoTexture(), p.edgeTexture(), p.blendTexture(), p.edgeProgram()};
    EXPECT_TRUE(std::equal(std::begin(names), std::end(names), std::begin(after)));
    EXPECT_EQ(textureWidth(p.albedoTexture()), kWidth);
    EXPECT_EQ(textureWidth(p.blendTexture()), kWidth);
    EXPECT_EQ(std::count(log.lines().begin(), log.lines().end(), "SMAAQML::init() initializing"), 1);
}

TEST_F(SmaaFixture, AHardDiagonalEdgeComesOutSmoothed)
{
    installStandIn();
    SMAAQML smaa;
    ProbeEffect child;
    child.setParentItem(&smaa);
    GLint boundInChild = -1;
    child.onRender = [&] { glGetIntegerv(GL_DRAW_FRAMEBUFFER_BINDING, &boundInChild); };
    drawDiagonal();
    ASSERT_EQ(greyPixels(window), 0);

    CerrCapture cerr;
    smaa.render(nullptr);
    EXPECT_EQ(cerr.text(), "");
    // Along the edge (one pixel per column at the least) the passes mix
    // black and white; away from it the image stays as drawn.
    EXPECT_GE(greyPixels(window), kWidth / 2);
    EXPECT_EQ(window.pixel(kWidth - 1, 0)[0], 255);
    EXPECT_EQ(window.pixel(0, kHeight - 1)[0], 0);
    EXPECT_EQ(child.renders, 1);
    EXPECT_EQ(GLuint(boundInChild), window.name());
}

TEST_F(SmaaFixture, ThePassesHandBackTheTextureUnitsTheProgramAndTheEnables)
{
    installStandIn();
    SMAAQML smaa;
    drawDiagonal();
    // What the items around the anti-aliasing left bound.
    GLuint textures[3] = {0, 0, 0};
    glGenTextures(3, textures);
    for (int unit = 0; unit < 3; ++unit) {
        glActiveTexture(GLenum(GL_TEXTURE0 + unit));
        glBindTexture(GL_TEXTURE_2D, textures[unit]);
    }
    glActiveTexture(GL_TEXTURE1);
    const GLuint program = glCreateProgram();
    const GLuint stage = glCreateShader(GL_FRAGMENT_SHADER);
    const char* source = "#version 430 compatibility\nout vec4 c;\nvoid main() { c = vec4(1.0); }\n";
    glShaderSource(stage, 1, &source, nullptr);
    glCompileShader(stage);
    glAttachShader(program, stage);
    glLinkProgram(program);
    glUseProgram(program);
    GLint before = 0;
    glGetIntegerv(GL_CURRENT_PROGRAM, &before);
    ASSERT_EQ(GLuint(before), program);
    glDisable(GL_TEXTURE_2D);
    glDisable(GL_FRAMEBUFFER_SRGB);

    smaa.render(nullptr);
    ASSERT_TRUE(smaa.passes().programsLinked());
    GLint active = 0, current = 0;
    glGetIntegerv(GL_ACTIVE_TEXTURE, &active);
    glGetIntegerv(GL_CURRENT_PROGRAM, &current);
    EXPECT_EQ(active, GL_TEXTURE1);
    EXPECT_EQ(GLuint(current), program);
    for (int unit = 0; unit < 3; ++unit) {
        glActiveTexture(GLenum(GL_TEXTURE0 + unit));
        GLint bound = 0;
        glGetIntegerv(GL_TEXTURE_BINDING_2D, &bound);
        EXPECT_EQ(GLuint(bound), textures[unit]) << "unit " << unit;
        EXPECT_FALSE(glIsEnabled(GL_TEXTURE_2D)) << "unit " << unit;
    }
    EXPECT_FALSE(glIsEnabled(GL_FRAMEBUFFER_SRGB));
    glUseProgram(0);
    glDeleteProgram(program);
    glDeleteShader(stage);
    glDeleteTextures(3, textures);
}

TEST_F(SmaaFixture, AMissingHeaderIsReportedPerSourceAndLeavesTheImage)
{
    installStandIn(false);
    SMAAQML smaa;
    ProbeEffect child;
    child.setParentItem(&smaa);
    drawDiagonal();
    CerrCapture cerr;
    smaa.render(nullptr);
    EXPECT_EQ(cerr.count("Couldn't include shader file: SMAA.h\n"), 6);
    EXPECT_FALSE(smaa.passes().programsLinked());
    EXPECT_EQ(cerr.count("OpenGL error"), 0);
    EXPECT_EQ(greyPixels(window), 0);
    EXPECT_EQ(child.renders, 1);
}

TEST_F(SmaaFixture, MissingTablesAndIncompleteTargetsEndTheProcess)
{
    SMAAQML smaa;
    installStandIn(true, false, false);
    EXPECT_EXIT(smaa.init(), testing::ExitedWithCode(1), "Couldn't open images/smaa_area.raw.app_path:");
    installStandIn(false, true, false);
    EXPECT_EXIT(smaa.init(), testing::ExitedWithCode(1), "Couldn't open images/smaa_search.raw.\n");
    installStandIn(false, false, true);
    demoDisplay().width = 0; // a zero-size target cannot be complete
    EXPECT_EXIT(smaa.init(), testing::ExitedWithCode(1), "FBO not complete.\n");
}

TEST_F(SmaaFixture, CheckGLErrorWritesTheCodesThatHaveTexts)
{
    while (glGetError() != GL_NO_ERROR) {
    }
    SMAAQML smaa;
    CerrCapture cerr;
    // Mesa holds one error at a time, so each check sees one.
    glGenTextures(-1, nullptr);
    smaa.checkGLError(7);
    glEnd(); // without glBegin
    smaa.checkGLError(8);
    glEnable(0x7fff); // an invalid enum is drained without a text
    smaa.checkGLError(9);
    EXPECT_EQ(cerr.text(), "pos=7 OpenGL error: invalid value...\npos=8 OpenGL error: invalid operation...\n");
    EXPECT_EQ(glGetError(), GLenum(GL_NO_ERROR));
}
