#include "gpu/GpuResources.h"
#include "gpu/Shader.h"

#include "platform/Clock.h"
#include "state/FrameState.h"

#include "support/FreshState.h"
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
