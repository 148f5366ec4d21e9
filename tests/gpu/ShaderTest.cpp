#include "gpu/GpuResources.h"
#include "gpu/Shader.h"

#include "platform/Clock.h"
#include "state/BuildErrors.h"
#include "state/FrameState.h"
#include "state/rocket_flags.h"

#include "support/FreshState.h"
#include "support/GlFramebuffer.h"
#include "support/GlTestContext.h"
#include "support/RecordingNotifier.h"
#include "support/TempDemo.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <filesystem>

namespace {

const char* const kVert = "#version 430 compatibility\nvoid main() { gl_Position = ftransform(); }\n";
const char* const kFrag = "#version 430 compatibility\nuniform float level;\nout vec4 c;\n"
                          "void main() { c = vec4(level); }\n";

std::string packEntry(const std::string& name, const std::string& content)
{
    std::string e = name;
    e.push_back('\0');
    const uint32_t n = uint32_t(content.size());
    for (int i = 0; i < 4; ++i)
        e.push_back(char((n >> (8 * i)) & 0xff));
    return e + content;
}

// Lets the next pollAll run: it looks at files at most once a second.
void waitForNextPoll()
{
    platform::sleepMilliseconds(1010);
}

struct ShaderProgram : FreshStateTest {
};

// A fragment stage that paints one colour.
std::string paint(const char* colour)
{
    return std::string("#version 430 compatibility\nout vec4 c;\nvoid main() { c = ") + colour + "; }\n";
}

const char* const kFullVert = "#version 430 compatibility\nvoid main() { gl_Position = gl_Vertex; }\n";
const char* const kTypo = "#version 430 compatibility\nout vec4 c;\nvoid main() { c = vec4(1) }\n";
const char* const kUnlinkable = "#version 430 compatibility\nout vec4 c;\nvec4 missing();\n"
                                "void main() { c = missing(); }\n";

// What the shader draws over the whole target, as a shader item does: a
// program that did not link draws nothing (the target stays black).
std::array<unsigned char, 4> drawnBy(Shader& shader, const GlFramebuffer& fb)
{
    fb.bindCleared(0, 0, 0, 1);
    if (shader.linked()) {
        shader.use();
        glBegin(GL_TRIANGLES);
        glVertex2f(-1.0f, -1.0f);
        glVertex2f(3.0f, -1.0f);
        glVertex2f(-1.0f, 3.0f);
        glEnd();
        glUseProgram(0);
    }
    return fb.pixel(2, 2);
}

const std::array<unsigned char, 4> kRed{255, 0, 0, 255};
const std::array<unsigned char, 4> kGreen{0, 255, 0, 255};
const std::array<unsigned char, 4> kBlack{0, 0, 0, 255};

// The source GL holds for the program's stage of type.
std::string attachedSource(GLuint program, GLenum type)
{
    GLuint stages[4] = {};
    GLsizei count = 0;
    glGetAttachedShaders(program, 4, &count, stages);
    for (GLsizei i = 0; i < count; ++i) {
        GLint stageType = 0;
        glGetShaderiv(stages[i], GL_SHADER_TYPE, &stageType);
        if (GLenum(stageType) != type)
            continue;
        GLint length = 0;
        glGetShaderiv(stages[i], GL_SHADER_SOURCE_LENGTH, &length);
        std::string text(size_t(std::max(length, 1)), '\0');
        glGetShaderSource(stages[i], length, nullptr, &text[0]);
        text.resize(size_t(std::max(length - 1, 0)));
        return text;
    }
    return {};
}

struct LiveShader : FreshStateTest {
    void SetUp() override
    {
        ASSERT_TRUE(gl.ok());
        demo.enter();
        demo.write("fx/intro/live.vert", kFullVert);
    }
    // Saves the fragment stage and rebuilds, as the poll does after a save.
    bool save(const std::string& frag)
    {
        demo.write("fx/intro/live.frag", frag);
        return shader.reload();
    }
    GlTestContext gl;
    TempDemo demo;
    RecordingNotifier& boxes = installRecordingNotifier();
    GlFramebuffer fb{4, 4};
    Shader shader;
};

} // namespace

TEST(FindShaderFile, CandidateOrder)
{
    TempDemo demo;
    demo.enter();
    demo.write("fx/intro/plasma.frag", "skene file");
    demo.write("fx/intro/plasma/shader.frag", "skene dir");
    demo.write("fx/_SharedQML/plasma.frag", "shared");
    EXPECT_EQ(findShaderFile("plasma", "fx/intro/", ".frag").text, "skene dir");
    std::filesystem::remove(demo.path("fx/intro/plasma/shader.frag"));
    EXPECT_EQ(findShaderFile("plasma", "fx/intro/", ".frag").path, "fx/intro/plasma.frag");
    // Without a scene directory the skene's own files are not candidates.
    EXPECT_EQ(findShaderFile("plasma", "", ".frag").text, "shared");
    demo.write("plasma/shader.frag", "working dir");
    EXPECT_EQ(findShaderFile("plasma", "fx/intro/", ".frag").text, "working dir");
    EXPECT_FALSE(findShaderFile("plasma", "fx/intro/", ".geom").found);
}

TEST(FindShaderFile, DataPackEntryFoundThroughDirectoryFreeCandidate)
{
    TempDemo demo;
    demo.enter();
    demo.write("datapack.dat", packEntry("fx/intro/glow.frag", "packed frag"));
    const ShaderFile f = findShaderFile("glow", "fx/intro/", ".frag");
    ASSERT_TRUE(f.found);
    EXPECT_EQ(f.text, "packed frag");
    // The skene-directory candidate also matches the stored name, and comes
    // before the directory-free one.
    EXPECT_EQ(f.path, "fx/intro/glow.frag");
    EXPECT_EQ(findShaderFile("glow", "", ".frag").path, "glow.frag");
}

TEST_F(ShaderProgram, LoadsStagesLinksAndSetsUniforms)
{
    GlTestContext gl;
    ASSERT_TRUE(gl.ok());
    TempDemo demo;
    demo.enter();
    RecordingNotifier& boxes = installRecordingNotifier();
    demo.write("fx/intro/flat.vert", kVert);
    demo.write("fx/intro/flat.frag", kFrag);

    Shader shader;
    EXPECT_FALSE(shader.setUniformFloat("level", 1.0f)); // no program yet
    const uint32_t before = platform::millisecondClock();
    EXPECT_TRUE(shader.load("flat", "fx/intro/"));
    EXPECT_TRUE(boxes.boxes.empty());
    EXPECT_NE(shader.program(), 0u);
    EXPECT_EQ(shader.name(), "flat");
    EXPECT_EQ(shader.files(), (std::vector<std::string>{"fx/intro/flat.vert", "fx/intro/flat.frag"}));
    const uint32_t after = platform::millisecondClock();
    // The compile time is taken while the load runs (the clock may wrap).
    EXPECT_LE(uint32_t(frameState().latestShaderCompileMs - before), uint32_t(after - before));

    gpu().shaders.use(&shader);
    EXPECT_EQ(gpu().shaders.current(), &shader);
    EXPECT_TRUE(shader.setUniformFloat("level", 0.5f));
    EXPECT_FALSE(shader.setUniformFloat("absent", 0.5f));
    gpu().shaders.unbind();
    EXPECT_EQ(gpu().shaders.current(), nullptr);
}

TEST_F(ShaderProgram, CompileErrorShowsBoxWithPathAndLogAndRunsOn)
{
    GlTestContext gl;
    ASSERT_TRUE(gl.ok());
    TempDemo demo;
    demo.enter();
    RecordingNotifier& boxes = installRecordingNotifier();
    demo.write("fx/intro/broken.vert", kVert);
    demo.write("fx/intro/broken.frag", "#version 430\nvoid main() { this is wrong; }\n");

    Shader shader;
    EXPECT_FALSE(shader.load("broken", "fx/intro/"));
    ASSERT_GE(boxes.boxes.size(), 1u);
    const RecordedBox& box = boxes.boxes[0];
    EXPECT_EQ(box.caption, "Shader compilation error");
    EXPECT_EQ(box.icon, platform::NotifyIcon::Error);
    EXPECT_EQ(box.text.rfind("Error: compiling shader fx/intro/broken.frag.\n\nError log: ", 0), 0u) << box.text;
    EXPECT_GT(box.text.size(), 60u); // carries the driver's log
    EXPECT_EQ(box.text.substr(box.text.size() - 2), "\n\n");
    // The failed stage still ends up in a program; the program then fails
    // to link, which is reported the same way with the program's name.
    EXPECT_NE(shader.program(), 0u);
    EXPECT_EQ(shader.name(), "broken");
}

TEST_F(ShaderProgram, LinkErrorIsReported)
{
    GlTestContext gl;
    ASSERT_TRUE(gl.ok());
    TempDemo demo;
    demo.enter();
    RecordingNotifier& boxes = installRecordingNotifier();
    // Compiles, but uses a function nobody defines.
    demo.write("fx/intro/lonely.frag", "#version 430\nout vec4 c;\nvec4 missing();\nvoid main() { c = missing(); }\n");
    Shader shader;
    EXPECT_FALSE(shader.load("lonely", "fx/intro/"));
    ASSERT_EQ(boxes.boxes.size(), 1u);
    EXPECT_EQ(boxes.boxes[0].text.rfind("Error: compiling shader lonely.\n\nError log: ", 0), 0u);
}

TEST_F(ShaderProgram, PollReloadsChangedShadersAtMostOncePerSecond)
{
    GlTestContext gl;
    ASSERT_TRUE(gl.ok());
    TempDemo demo;
    demo.enter();
    installRecordingNotifier();
    demo.write("fx/a/one.frag", kFrag);
    demo.write("fx/a/two.frag", kFrag);
    Shader one(&gpu().shaders.files()), two(&gpu().shaders.files());
    ASSERT_TRUE(one.load("one", "fx/a/"));
    ASSERT_TRUE(two.load("two", "fx/a/"));
    const GLuint firstOne = one.program();
    const GLuint firstTwo = two.program();

    gpu().shaders.files().pollAll(); // starts the one-second window
    EXPECT_FALSE(gpu().shaders.files().pollAll());

    waitForNextPoll();
    EXPECT_FALSE(gpu().shaders.files().pollAll()); // nothing changed

    // Change both within the same second: one poll reloads both.
    std::filesystem::last_write_time(demo.path("fx/a/one.frag"),
                                     std::filesystem::last_write_time(demo.path("fx/a/one.frag")) + std::chrono::seconds(3));
    std::filesystem::last_write_time(demo.path("fx/a/two.frag"),
                                     std::filesystem::last_write_time(demo.path("fx/a/two.frag")) + std::chrono::seconds(3));
    EXPECT_FALSE(gpu().shaders.files().pollAll()); // still within the second
    waitForNextPoll();
    EXPECT_TRUE(gpu().shaders.files().pollAll());
    EXPECT_NE(one.program(), firstOne);
    EXPECT_NE(two.program(), firstTwo);

    // A deleted file reads as time 0: a change. The reload no longer finds
    // the stage and skips it.
    const GLuint secondOne = one.program();
    std::filesystem::remove(demo.path("fx/a/one.frag"));
    waitForNextPoll();
    EXPECT_TRUE(gpu().shaders.files().pollAll());
    EXPECT_NE(one.program(), secondOne);
    EXPECT_TRUE(one.files().empty());
}

TEST_F(ShaderProgram, UniformLocationsAreLookedUpAgainAfterARelink)
{
    GlTestContext gl;
    ASSERT_TRUE(gl.ok());
    TempDemo demo;
    demo.enter();
    installRecordingNotifier();
    demo.write("fx/a/moved.vert", kVert);
    const auto relinkWith = [&](Shader& shader, const char* uniform, const char* value) {
        demo.write("fx/a/moved.frag", std::string("#version 430 compatibility\n") + uniform +
                                          "out vec4 c;\nvoid main() { c = vec4(" + value + "); }\n");
        ASSERT_TRUE(shader.load("moved", "fx/a/"));
        shader.use();
        while (glGetError() != GL_NO_ERROR) {
        }
    };
    Shader shader;
    relinkWith(shader, "layout(location = 3) uniform float level;\n", "level");
    EXPECT_TRUE(shader.setUniformFloat("level", 1.0f));

    // Gone after a rebuild, then back at another location: a location kept
    // from before would be set on a uniform the program does not have.
    relinkWith(shader, "", "0.5");
    EXPECT_FALSE(shader.setUniformFloat("level", 1.0f));
    relinkWith(shader, "layout(location = 7) uniform float level;\n", "level");
    EXPECT_TRUE(shader.setUniformFloat("level", 1.0f));
    EXPECT_EQ(glGetError(), GLenum(GL_NO_ERROR));
}

TEST_F(LiveShader, WhileEditingTheLastGoodProgramDrawsOnAfterAFailedCompileOrLink)
{
    rocket_flags().rocket_enabled = true;
    demo.write("fx/intro/live.frag", paint("vec4(1, 0, 0, 1)"));
    ASSERT_TRUE(shader.load("live", "fx/intro/"));
    const GLuint good = shader.program();
    ASSERT_EQ(drawnBy(shader, fb), kRed);

    EXPECT_FALSE(save(kTypo));
    EXPECT_EQ(boxes.boxes.size(), 1u); // still reported, once: no link after it
    EXPECT_TRUE(shader.linked());
    EXPECT_EQ(shader.program(), good);
    EXPECT_EQ(drawnBy(shader, fb), kRed);
    // The next save is tried again: the file stays watched.
    EXPECT_EQ(shader.files(), (std::vector<std::string>{"fx/intro/live.vert", "fx/intro/live.frag"}));

    EXPECT_FALSE(save(kUnlinkable));
    ASSERT_EQ(boxes.boxes.size(), 2u);
    EXPECT_EQ(boxes.boxes[1].text.rfind("Error: compiling shader live.\n\nError log: ", 0), 0u);
    EXPECT_EQ(shader.program(), good);
    EXPECT_EQ(drawnBy(shader, fb), kRed);

    EXPECT_TRUE(save(paint("vec4(0, 1, 0, 1)")));
    EXPECT_NE(shader.program(), good);
    EXPECT_EQ(drawnBy(shader, fb), kGreen);
    // Nothing draws with the replaced program any more: it is gone.
    EXPECT_FALSE(glIsProgram(good));
}

TEST_F(LiveShader, TheEditViewAloneIsLiveEditingToo)
{
    rocket_flags().rocket_enabled = false;
    rocket_flags().edit_view = true;
    demo.write("fx/intro/live.frag", paint("vec4(1, 0, 0, 1)"));
    ASSERT_TRUE(shader.load("live", "fx/intro/"));
    EXPECT_FALSE(save(kTypo));
    EXPECT_EQ(drawnBy(shader, fb), kRed);
}

TEST_F(LiveShader, InPlainPlaybackTheBrokenProgramReplacesTheGoodOne)
{
    rocket_flags().rocket_enabled = false;
    rocket_flags().edit_view = false;
    demo.write("fx/intro/live.frag", paint("vec4(1, 0, 0, 1)"));
    ASSERT_TRUE(shader.load("live", "fx/intro/"));
    const GLuint good = shader.program();
    EXPECT_FALSE(save(kTypo));
    EXPECT_EQ(boxes.boxes.size(), 2u); // the stage, then the link it spoiled
    EXPECT_FALSE(shader.linked());
    EXPECT_NE(shader.program(), good);
    EXPECT_EQ(drawnBy(shader, fb), kBlack);
    EXPECT_TRUE(save(paint("vec4(0, 1, 0, 1)")));
    EXPECT_EQ(drawnBy(shader, fb), kGreen);
}

TEST_F(LiveShader, NestedIncludesCompileAndAStageWithoutIncludesIsCompiledAsWritten)
{
    // A library in the shared folder whose files include one another under
    // guards, and one file beside the stage that is found first.
    demo.write("fx/_SharedQML/lib/colour.glsl",
               "#ifndef LIB_COLOUR\n#define LIB_COLOUR\n#include \"channels.glsl\"\n"
               "vec4 libColour() { return vec4(RED, GREEN, 0, 1); }\n#endif\n");
    demo.write("fx/_SharedQML/lib/channels.glsl", "#define RED 0.0\n#include \"green.glsl\"\n");
    demo.write("fx/_SharedQML/lib/green.glsl", "#define GREEN 1.0\n");
    demo.write("fx/intro/green.glsl", "#define GREEN 0.0\n"); // the skene's: looked at after the includer's folder
    const std::string frag = "#version 430 compatibility\n#include \"lib/colour.glsl\"\n"
                             "#include \"lib/colour.glsl\"\nout vec4 c;\nvoid main() { c = libColour(); }\n";
    demo.write("fx/intro/live.frag", frag);
    ASSERT_TRUE(shader.load("live", "fx/intro/"));
    EXPECT_TRUE(boxes.boxes.empty());
    EXPECT_EQ(drawnBy(shader, fb), kGreen);
    EXPECT_EQ(shader.files(),
              (std::vector<std::string>{"fx/intro/live.vert", "fx/intro/live.frag", "fx/_SharedQML/lib/colour.glsl",
                                        "fx/_SharedQML/lib/channels.glsl", "fx/_SharedQML/lib/green.glsl"}));
    // #version stays the first line.
    EXPECT_EQ(attachedSource(shader.program(), GL_FRAGMENT_SHADER).rfind("#version 430 compatibility\n#ifndef LIB_COLOUR\n", 0),
              0u);
    // The vertex stage has no include: GL got the file's bytes.
    EXPECT_EQ(attachedSource(shader.program(), GL_VERTEX_SHADER), kFullVert);
}

TEST_F(LiveShader, AMissingIncludeOrACycleIsReportedAtTheIncludingLine)
{
    rocket_flags().rocket_enabled = false;
    demo.write("fx/intro/live.frag", "#version 430 compatibility\n\n#include \"gone.glsl\"\nvoid main() {}\n");
    EXPECT_FALSE(shader.load("live", "fx/intro/"));
    ASSERT_GE(boxes.boxes.size(), 1u);
    EXPECT_EQ(boxes.boxes[0].text, "Error: compiling shader fx/intro/live.frag.\n\nError log: "
                                   "fx/intro/live.frag:3: cannot include \"gone.glsl\": no such file\n\n\n");

    buildErrors().setBesideDemo(true);
    demo.write("fx/intro/a.glsl", "// a\n#include \"b.glsl\"\n");
    demo.write("fx/intro/b.glsl", "\n\n  #  include \"a.glsl\"\n");
    demo.write("fx/intro/live.frag", "#version 430 compatibility\n#include \"a.glsl\"\nvoid main() {}\n");
    EXPECT_FALSE(shader.reload());
    ASSERT_EQ(buildErrors().entries().size(), 1u);
    const BuildError& cycle = buildErrors().entries()[0];
    EXPECT_EQ(cycle.file, "fx/intro/b.glsl");
    EXPECT_EQ(cycle.line, 3);
    EXPECT_NE(cycle.text.find("fx/intro/live.frag -> fx/intro/a.glsl -> fx/intro/b.glsl -> fx/intro/a.glsl"),
              std::string::npos)
        << cycle.text;

    // Making the missing file is a save like any other: it is watched.
    demo.write("fx/intro/live.frag", "#version 430 compatibility\n#include \"gone.glsl\"\nvoid main() {}\n");
    shader.reload();
    EXPECT_NE(std::find(shader.files().begin(), shader.files().end(), "fx/intro/gone.glsl"), shader.files().end());
}

TEST_F(LiveShader, ACompileErrorInAnIncludedFileNamesThatFileAndLine)
{
    rocket_flags().rocket_enabled = false;
    // The author's lines whatever version the stage declares.
    for (const char* version : {"#version 430 compatibility\n", "#version 150 compatibility\n"}) {
        boxes.boxes.clear();
        buildErrors().clear();
        buildErrors().setBesideDemo(false);
        // Errors the compiler goes on after, so it names both places.
        demo.write("fx/_SharedQML/noise.glsl", "float noise(vec2 p)\n{\n    return p.x + undeclared;\n}\n");
        demo.write("fx/intro/live.frag", std::string(version) + "\n#include \"noise.glsl\"\n"
                                                                 "void main() { gl_FragColor = vec4(noise(vec2(0))); }\n"
                                                                 "float broken = alsoUndeclared;\n");
        EXPECT_FALSE(shader.load("live", "fx/intro/"));
        ASSERT_GE(boxes.boxes.size(), 1u);
        const std::string& box = boxes.boxes[0].text;
        EXPECT_NE(box.find("fx/_SharedQML/noise.glsl:3("), std::string::npos) << box;
        EXPECT_NE(box.find("fx/intro/live.frag:5("), std::string::npos) << box;

        buildErrors().setBesideDemo(true);
        boxes.boxes.clear();
        EXPECT_FALSE(shader.reload());
        EXPECT_TRUE(boxes.boxes.empty());
        ASSERT_EQ(buildErrors().entries().size(), 2u) << version;
        // Newest first: the stage's own error was reported after the
        // library's, which the compiler met first.
        const BuildError& library = buildErrors().entries()[1];
        EXPECT_EQ(library.file, "fx/_SharedQML/noise.glsl");
        EXPECT_EQ(library.line, 3);
        EXPECT_NE(library.text.find("error"), std::string::npos);
        const BuildError& stage = buildErrors().entries()[0];
        EXPECT_EQ(stage.file, "fx/intro/live.frag");
        EXPECT_EQ(stage.line, 5);
    }
}

TEST_F(LiveShader, SavingAnIncludedFileRebuildsEveryProgramThatIncludesIt)
{
    demo.write("fx/_SharedQML/tint.glsl", "const vec4 tint = vec4(1, 0, 0, 1);\n");
    const std::string frag = "#version 430 compatibility\n#include \"tint.glsl\"\nout vec4 c;\n"
                             "void main() { c = tint; }\n";
    demo.write("fx/intro/live.frag", frag);
    demo.write("fx/outro/other.frag", frag);
    Shader& one = *gpu().shaders.add("one");
    Shader& two = *gpu().shaders.add("two");
    ASSERT_TRUE(one.load("live", "fx/intro/"));
    ASSERT_TRUE(two.load("other", "fx/outro/"));
    ASSERT_EQ(drawnBy(one, fb), kRed);

    FileWatch& watch = gpu().shaders.files();
    watch.resetPollClock();
    EXPECT_FALSE(watch.pollAll());
    demo.write("fx/_SharedQML/tint.glsl", "const vec4 tint = vec4(0, 1, 0, 1);\n");
    const std::string path = demo.path("fx/_SharedQML/tint.glsl");
    std::filesystem::last_write_time(path, std::filesystem::last_write_time(path) + std::chrono::seconds(3));
    watch.resetPollClock();
    EXPECT_TRUE(watch.pollAll());
    EXPECT_EQ(drawnBy(one, fb), kGreen);
    EXPECT_EQ(drawnBy(two, fb), kGreen);
}

TEST_F(LiveShader, BesideTheDemoErrorsGoToTheListAndAGoodSaveClearsThem)
{
    rocket_flags().rocket_enabled = true;
    buildErrors().setBesideDemo(true);
    demo.write("fx/intro/live.frag", paint("vec4(1, 0, 0, 1)"));
    ASSERT_TRUE(shader.load("live", "fx/intro/"));

    EXPECT_FALSE(save(kTypo));
    EXPECT_TRUE(boxes.boxes.empty());
    ASSERT_EQ(buildErrors().entries().size(), 1u);
    EXPECT_EQ(buildErrors().entries()[0].file, "fx/intro/live.frag");
    EXPECT_EQ(buildErrors().entries()[0].line, 3);
    EXPECT_EQ(drawnBy(shader, fb), kRed);

    EXPECT_FALSE(save(kUnlinkable));
    EXPECT_TRUE(boxes.boxes.empty());
    // The stage compiled, so its compile error went; the link failed.
    ASSERT_EQ(buildErrors().entries().size(), 1u);
    EXPECT_EQ(buildErrors().entries()[0].file, "fx/intro/live.vert");
    EXPECT_EQ(buildErrors().entries()[0].line, 0);
    EXPECT_FALSE(buildErrors().entries()[0].text.empty());

    EXPECT_TRUE(save(paint("vec4(0, 1, 0, 1)")));
    EXPECT_TRUE(buildErrors().entries().empty());
    EXPECT_TRUE(boxes.boxes.empty());
}
