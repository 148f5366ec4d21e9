#include "gpu/Smaa.h"

#include "gpu/FramebufferBinding.h"
#include "gpu/ShaderPreprocess.h"
#include "platform/GlContext.h"
#include "platform/ProcessEnd.h"
#include "state/DemoDisplay.h"
#include "state/FrameState.h"

#include <QCoreApplication>
#include <QDebug>

#include <algorithm>
#include <fstream>
#include <iostream>
#include <vector>

namespace {

const int kAreaWidth = 160;
const int kAreaHeight = 560;
const int kSearchWidth = 66;
const int kSearchHeight = 33;
const size_t kAreaBytes = size_t(kAreaWidth) * kAreaHeight * 2;
const size_t kSearchBytes = size_t(kSearchWidth) * kSearchHeight;
const GLsizei kLogBytes = 4096;

// Reads the first `size` bytes of a table file; bytes the file lacks stay
// zero. False when the file does not open.
bool readTable(const char* path, std::vector<unsigned char>& data, size_t size)
{
    std::ifstream file(path, std::ios::binary);
    if (!file)
        return false;
    data.assign(size, 0);
    file.read(reinterpret_cast<char*>(data.data()), std::streamsize(size));
    const size_t got = size_t(file.gcount());
    if (got < size)
        std::cerr << path << " holds " << got << " of " << size << " bytes; the rest reads as zero.\n";
    return true;
}

void setSampling(GLint filter)
{
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, filter);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MAG_FILTER, filter);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_WRAP_S, GL_CLAMP_TO_EDGE);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_WRAP_T, GL_CLAMP_TO_EDGE);
}

GLuint makeTexture(GLint internalFormat, int width, int height, GLenum format, GLenum type, const void* data,
                   GLint filter)
{
    GLuint texture = 0;
    glGenTextures(1, &texture);
    glBindTexture(GL_TEXTURE_2D, texture);
    glTexImage2D(GL_TEXTURE_2D, 0, internalFormat, width, height, 0, format, type, data);
    setSampling(filter);
    return texture;
}

void bindUnit(int unit, GLuint texture, GLint filter)
{
    glActiveTexture(GLenum(GL_TEXTURE0 + unit));
    glBindTexture(GL_TEXTURE_2D, texture);
    setSampling(filter);
}

// The unit square [0,1]² over the whole viewport, with texture coordinates
// that match.
void drawUnitQuad()
{
    glBegin(GL_QUADS);
    glTexCoord2f(0.0f, 0.0f);
    glVertex2f(0.0f, 0.0f);
    glTexCoord2f(1.0f, 0.0f);
    glVertex2f(1.0f, 0.0f);
    glTexCoord2f(1.0f, 1.0f);
    glVertex2f(1.0f, 1.0f);
    glTexCoord2f(0.0f, 1.0f);
    glVertex2f(0.0f, 1.0f);
    glEnd();
}

bool linked(GLuint program)
{
    GLint status = GL_FALSE;
    glGetProgramiv(program, GL_LINK_STATUS, &status);
    return status == GL_TRUE;
}

// Sets the sampler units (an unlinked program has no uniforms to set), then
// validates the program and writes its log.
void finishProgram(GLuint program, bool isLinked, std::initializer_list<std::pair<const char*, int>> samplers)
{
    if (isLinked) {
        for (const auto& [name, unit] : samplers)
            glProgramUniform1i(program, glGetUniformLocation(program, name), unit);
    }
    glValidateProgram(program);
    char log[kLogBytes] = {};
    GLsizei length = 0;
    glGetProgramInfoLog(program, kLogBytes, &length, log);
    if (length > 0)
        std::cerr << std::string(log, size_t(length));
}

// GL state that the passes change and hand back: the framebuffer bindings,
// the window framebuffer's draw and read buffers, viewport, clear colour,
// depth, blending, sRGB writes, the program, the texture units the passes
// bind (with the active one) and the fixed-function matrices.
struct BorrowedState {
    static const int kDrawBuffers = 8;
    static const int kUnits = 3;
    FramebufferBinding& binding;
    GLint drawFramebuffer = 0;
    GLint readFramebuffer = 0;
    GLint windowDrawBuffers[kDrawBuffers] = {};
    GLint windowReadBuffer = GL_NONE;
    GLint viewport[4] = {};
    GLfloat clearColour[4] = {};
    GLboolean depthTest = GL_FALSE;
    GLboolean depthWrite = GL_FALSE;
    GLboolean blend = GL_FALSE;
    GLboolean srgb = GL_FALSE;
    GLint program = 0;
    GLint activeTexture = GL_TEXTURE0;
    GLint textures[kUnits] = {};
    GLint matrixMode = GL_MODELVIEW;

    explicit BorrowedState(FramebufferBinding& b)
        : binding(b)
    {
    }

    void capture(GLuint window)
    {
        glGetIntegerv(GL_DRAW_FRAMEBUFFER_BINDING, &drawFramebuffer);
        glGetIntegerv(GL_READ_FRAMEBUFFER_BINDING, &readFramebuffer);
        binding.bind(GL_FRAMEBUFFER, window);
        for (int i = 0; i < kDrawBuffers; ++i)
            glGetIntegerv(GLenum(GL_DRAW_BUFFER0 + i), &windowDrawBuffers[i]);
        glGetIntegerv(GL_READ_BUFFER, &windowReadBuffer);
        glGetIntegerv(GL_VIEWPORT, viewport);
        glGetFloatv(GL_COLOR_CLEAR_VALUE, clearColour);
        depthTest = glIsEnabled(GL_DEPTH_TEST);
        glGetBooleanv(GL_DEPTH_WRITEMASK, &depthWrite);
        blend = glIsEnabled(GL_BLEND);
        srgb = glIsEnabled(GL_FRAMEBUFFER_SRGB);
        glGetIntegerv(GL_CURRENT_PROGRAM, &program);
        glGetIntegerv(GL_ACTIVE_TEXTURE, &activeTexture);
        for (int unit = 0; unit < kUnits; ++unit) {
            glActiveTexture(GLenum(GL_TEXTURE0 + unit));
            glGetIntegerv(GL_TEXTURE_BINDING_2D, &textures[unit]);
        }
        glGetIntegerv(GL_MATRIX_MODE, &matrixMode);
        glMatrixMode(GL_PROJECTION);
        glPushMatrix();
        glMatrixMode(GL_MODELVIEW);
        glPushMatrix();
    }

    void restore(GLuint window) const
    {
        glMatrixMode(GL_PROJECTION);
        glPopMatrix();
        glMatrixMode(GL_MODELVIEW);
        glPopMatrix();
        glMatrixMode(GLenum(matrixMode));
        for (int unit = kUnits; unit-- > 0;) {
            glActiveTexture(GLenum(GL_TEXTURE0 + unit));
            glBindTexture(GL_TEXTURE_2D, GLuint(textures[unit]));
        }
        glActiveTexture(GLenum(activeTexture));
        glUseProgram(GLuint(program));
        srgb ? glEnable(GL_FRAMEBUFFER_SRGB) : glDisable(GL_FRAMEBUFFER_SRGB);
        depthTest ? glEnable(GL_DEPTH_TEST) : glDisable(GL_DEPTH_TEST);
        glDepthMask(depthWrite);
        blend ? glEnable(GL_BLEND) : glDisable(GL_BLEND);
        glClearColor(clearColour[0], clearColour[1], clearColour[2], clearColour[3]);
        glViewport(viewport[0], viewport[1], viewport[2], viewport[3]);
        binding.bind(GL_FRAMEBUFFER, window);
        // The default framebuffer takes no list of colour attachments.
        if (window != 0) {
            GLenum buffers[kDrawBuffers];
            for (int i = 0; i < kDrawBuffers; ++i)
                buffers[i] = GLenum(windowDrawBuffers[i]);
            glDrawBuffers(kDrawBuffers, buffers);
        }
        glReadBuffer(GLenum(windowReadBuffer));
        binding.bind(GL_DRAW_FRAMEBUFFER, GLuint(drawFramebuffer));
        binding.bind(GL_READ_FRAMEBUFFER, GLuint(readFramebuffer));
    }
};

const char* const kEdgeVertex = R"(
out vec2 texcoord;
out vec4 offset[3];
out vec4 dummy2;
void main()
{
    texcoord = gl_MultiTexCoord0.xy;
    SMAAEdgeDetectionVS(vec4(0.0), dummy2, texcoord, offset);
    gl_Position = ftransform();
}
)";

const char* const kEdgeFragment = R"(
in vec2 texcoord;
in vec4 offset[3];
in vec4 dummy2;
uniform sampler2D albedo_tex;
hash if SMAA_PREDICATION == 1
uniform sampler2D depth_tex;
hash endif
void main()
{
hash if SMAA_PREDICATION == 1
    gl_FragColor = vec4(SMAAColorEdgeDetectionPS(texcoord, offset, albedo_tex, depth_tex).xy, 0.0, 0.0);
hash else
    gl_FragColor = vec4(SMAAColorEdgeDetectionPS(texcoord, offset, albedo_tex).xy, 0.0, 0.0);
hash endif
}
)";

const char* const kBlendWeightVertex = R"(
out vec2 texcoord;
out vec2 pixcoord;
out vec4 offset[3];
out vec4 dummy2;
void main()
{
    texcoord = gl_MultiTexCoord0.xy;
    SMAABlendingWeightCalculationVS(vec4(0.0), dummy2, texcoord, pixcoord, offset);
    gl_Position = ftransform();
}
)";

const char* const kBlendWeightFragment = R"(
in vec2 texcoord;
in vec2 pixcoord;
in vec4 offset[3];
in vec4 dummy2;
uniform sampler2D edge_tex;
uniform sampler2D area_tex;
uniform sampler2D search_tex;
void main()
{
    gl_FragColor = SMAABlendingWeightCalculationPS(texcoord, pixcoord, offset, edge_tex, area_tex, search_tex,
                                                   ivec4(0));
}
)";

const char* const kNeighborhoodVertex = R"(
out vec2 texcoord;
out vec4 offset[2];
out vec4 dummy2;
void main()
{
    texcoord = gl_MultiTexCoord0.xy;
    SMAANeighborhoodBlendingVS(vec4(0.0), dummy2, texcoord, offset);
    gl_Position = ftransform();
}
)";

const char* const kNeighborhoodFragment = R"(
in vec2 texcoord;
in vec4 offset[2];
in vec4 dummy2;
uniform sampler2D albedo_tex;
uniform sampler2D blend_tex;
void main()
{
    gl_FragColor = SMAANeighborhoodBlendingPS(texcoord, offset, albedo_tex, blend_tex);
}
)";

} // namespace

std::string smaaShaderSource(SmaaPass pass, GLenum stage, int width, int height)
{
    const bool vertex = stage == GL_VERTEX_SHADER;
    // The pixel size of the image the passes really work on: a fixed size
    // would make every sample land between pixels at any other.
    std::string source = "#version 410 compatibility\n"
                         "#ifndef SMAA_PIXEL_SIZE\n"
                         "#define SMAA_PIXEL_SIZE vec2(1.0 / " +
                         std::to_string(width) + ".0, 1.0 / " + std::to_string(height) +
                         ".0)\n"
                         "#endif\n"
                         "#define SMAA_PRESET_ULTRA 1\n"
                         "#define SMAA_GLSL_4 1\n";
    source += vertex ? "#define SMAA_ONLY_COMPILE_VS 1\n" : "#define SMAA_ONLY_COMPILE_PS 1\n";
    source += "#include \"SMAA.h\"\n";
    switch (pass) {
    case SmaaPass::EdgeDetection:
        source += vertex ? kEdgeVertex : kEdgeFragment;
        break;
    case SmaaPass::BlendingWeights:
        source += vertex ? kBlendWeightVertex : kBlendWeightFragment;
        break;
    case SmaaPass::NeighborhoodBlending:
        source += vertex ? kNeighborhoodVertex : kNeighborhoodFragment;
        break;
    }
    return source;
}

void checkGLError(int position)
{
    std::string message = "pos=" + std::to_string(position) + " ";
    bool found = false;
    for (GLenum error = glGetError(); error != GL_NO_ERROR; error = glGetError()) {
        const char* text = nullptr;
        switch (error) {
        case GL_INVALID_VALUE: text = "OpenGL error: invalid value...\n"; break;
        case GL_INVALID_OPERATION: text = "OpenGL error: invalid operation...\n"; break;
        case GL_STACK_OVERFLOW: text = "OpenGL error: stack overflow...\n"; break;
        case GL_STACK_UNDERFLOW: text = "OpenGL error: stack underflow...\n"; break;
        case GL_OUT_OF_MEMORY: text = "OpenGL error: out of memory...\n"; break;
        case GL_TABLE_TOO_LARGE: text = "OpenGL error: table too large...\n"; break;
        default: break;
        }
        if (text) {
            message += text;
            found = true;
        }
    }
    if (found)
        std::cerr << message;
}

GLuint buildSmaaProgram(const std::string& vertexSource, const std::string& fragmentSource)
{
    const GLuint program = glCreateProgram();
    const std::pair<GLenum, const std::string*> stages[] = {{GL_VERTEX_SHADER, &vertexSource},
                                                            {GL_FRAGMENT_SHADER, &fragmentSource}};
    char log[kLogBytes];
    GLsizei length = 0;
    for (const auto& [type, original] : stages) {
        std::string text = *original;
        preprocessShaderSource(text);
        const GLuint shader = glCreateShader(type);
        const char* data = text.c_str();
        const GLint size = GLint(text.size());
        glShaderSource(shader, 1, &data, &size);
        glCompileShader(shader);
        glGetShaderInfoLog(shader, kLogBytes, &length, log);
        glAttachShader(program, shader);
        glDeleteShader(shader);
    }
    glLinkProgram(program);
    glGetProgramInfoLog(program, kLogBytes, &length, log);
    return program;
}

SmaaPasses::~SmaaPasses()
{
    if (!context_ || platform::currentGlContext() != context_)
        return;
    const GLuint textures[] = {albedoTexture_, edgeTexture_, blendTexture_, areaTexture_, searchTexture_};
    glDeleteTextures(5, textures);
    const GLuint framebuffers[] = {albedoFramebuffer_, edgeFramebuffer_, blendFramebuffer_};
    glDeleteFramebuffers(3, framebuffers);
    glDeleteProgram(edgeProgram_);
    glDeleteProgram(blendWeightProgram_);
    glDeleteProgram(neighborhoodProgram_);
}

void SmaaPasses::init(FramebufferBinding& binding)
{
    if (initialized_ || !platform::currentGlContext())
        return;
    qDebug() << "SMAAQML::init() initializing";
    if (QCoreApplication::instance())
        appPath_ = QCoreApplication::applicationDirPath().toStdString() + "/../../";
    else
        std::cerr << "Couldn't get the app path.\n";
    context_ = platform::currentGlContext();

    GLint previousUnit = GL_TEXTURE0;
    glGetIntegerv(GL_ACTIVE_TEXTURE, &previousUnit);
    GLint previousTexture = 0;
    glActiveTexture(GL_TEXTURE0);
    glGetIntegerv(GL_TEXTURE_BINDING_2D, &previousTexture);
    createTargets();
    loadTables();
    checkGLError(0);
    createFramebuffers(binding);
    glBindTexture(GL_TEXTURE_2D, GLuint(previousTexture));
    glActiveTexture(GLenum(previousUnit));
    checkGLError(10);
    buildPrograms();
    initialized_ = true;
}

void SmaaPasses::createTargets()
{
    // Made once: a later change of the render size keeps these.
    width_ = demoDisplay().width;
    height_ = demoDisplay().height;
    albedoTexture_ = makeTexture(GL_RGBA8, width_, height_, GL_RGBA, GL_FLOAT, nullptr, GL_LINEAR);
    edgeTexture_ = makeTexture(GL_RGBA8, width_, height_, GL_RGBA, GL_FLOAT, nullptr, GL_LINEAR);
    blendTexture_ = makeTexture(GL_RGBA8, width_, height_, GL_RGBA, GL_FLOAT, nullptr, GL_LINEAR);
}

void SmaaPasses::loadTables()
{
    std::vector<unsigned char> data;
    if (!readTable("./images/smaa_area.raw", data, kAreaBytes)) {
        std::cerr << "Couldn't open images/smaa_area.raw."
                  << "app_path:" << appPath_ << "\n";
        platform::endProcess(1);
    }
    // Rows of the search table are 66 bytes: GL's default 4-byte row
    // alignment would read past the data and skew the rows.
    GLint alignment = 4;
    glGetIntegerv(GL_UNPACK_ALIGNMENT, &alignment);
    glPixelStorei(GL_UNPACK_ALIGNMENT, 1);
    areaTexture_ = makeTexture(GL_RG8, kAreaWidth, kAreaHeight, GL_RG, GL_UNSIGNED_BYTE, data.data(), GL_LINEAR);
    if (!readTable("./images/smaa_search.raw", data, kSearchBytes)) {
        std::cerr << "Couldn't open images/smaa_search.raw.\n";
        platform::endProcess(1);
    }
    searchTexture_ =
        makeTexture(GL_R8, kSearchWidth, kSearchHeight, GL_RED, GL_UNSIGNED_BYTE, data.data(), GL_NEAREST);
    glPixelStorei(GL_UNPACK_ALIGNMENT, alignment);
}

void SmaaPasses::createFramebuffers(FramebufferBinding& binding)
{
    GLint previous = 0;
    glGetIntegerv(GL_FRAMEBUFFER_BINDING, &previous);
    const std::pair<GLuint*, GLuint> targets[] = {
        {&albedoFramebuffer_, albedoTexture_}, {&edgeFramebuffer_, edgeTexture_}, {&blendFramebuffer_, blendTexture_}};
    for (const auto& [framebuffer, texture] : targets) {
        glGenFramebuffers(1, framebuffer);
        binding.bind(GL_FRAMEBUFFER, *framebuffer);
        glDrawBuffer(GL_COLOR_ATTACHMENT0);
        glFramebufferTexture2D(GL_FRAMEBUFFER, GL_COLOR_ATTACHMENT0, GL_TEXTURE_2D, texture, 0);
        if (glCheckFramebufferStatus(GL_FRAMEBUFFER) != GL_FRAMEBUFFER_COMPLETE) {
            std::cerr << "FBO not complete.\n";
            platform::endProcess(1);
        }
    }
    binding.bind(GL_FRAMEBUFFER, GLuint(previous));
}

void SmaaPasses::buildPrograms()
{
    edgeProgram_ = buildSmaaProgram(smaaShaderSource(SmaaPass::EdgeDetection, GL_VERTEX_SHADER, width_, height_),
                                    smaaShaderSource(SmaaPass::EdgeDetection, GL_FRAGMENT_SHADER, width_, height_));
    edgeLinked_ = linked(edgeProgram_);
    finishProgram(edgeProgram_, edgeLinked_, {{"albedo_tex", 0}});
    checkGLError(20);

    blendWeightProgram_ =
        buildSmaaProgram(smaaShaderSource(SmaaPass::BlendingWeights, GL_VERTEX_SHADER, width_, height_),
                         smaaShaderSource(SmaaPass::BlendingWeights, GL_FRAGMENT_SHADER, width_, height_));
    blendWeightLinked_ = linked(blendWeightProgram_);
    finishProgram(blendWeightProgram_, blendWeightLinked_, {{"edge_tex", 0}, {"area_tex", 1}, {"search_tex", 2}});
    checkGLError(30);

    neighborhoodProgram_ =
        buildSmaaProgram(smaaShaderSource(SmaaPass::NeighborhoodBlending, GL_VERTEX_SHADER, width_, height_),
                         smaaShaderSource(SmaaPass::NeighborhoodBlending, GL_FRAGMENT_SHADER, width_, height_));
    neighborhoodLinked_ = linked(neighborhoodProgram_);
    finishProgram(neighborhoodProgram_, neighborhoodLinked_, {{"albedo_tex", 0}, {"blend_tex", 1}});
    checkGLError(40);
}

void SmaaPasses::copyWindowColour(FramebufferBinding& binding, GLuint window)
{
    // The window framebuffer may be multisampled, which allows no scaling;
    // after a change of the render size the overlap is copied.
    const int width = std::min(width_, demoDisplay().width);
    const int height = std::min(height_, demoDisplay().height);
    binding.bind(GL_READ_FRAMEBUFFER, window);
    glReadBuffer(window != 0 ? GL_COLOR_ATTACHMENT0 : GL_BACK);
    binding.bind(GL_DRAW_FRAMEBUFFER, albedoFramebuffer_);
    glBlitFramebuffer(0, 0, width, height, 0, 0, width, height, GL_COLOR_BUFFER_BIT, GL_NEAREST);
}

void SmaaPasses::run(FramebufferBinding& binding)
{
    if (!initialized_ || !programsLinked())
        return;
    const GLuint window = frameState().windowFramebuffer;
    BorrowedState borrowed(binding);
    borrowed.capture(window);

    glViewport(0, 0, demoDisplay().width, demoDisplay().height);
    static const GLfloat kUnitSquare[16] = {2, 0, 0, 0, 0, 2, 0, 0, 0, 0, 2, 0, -1, -1, -1, 1};
    glMatrixMode(GL_PROJECTION);
    glLoadMatrixf(kUnitSquare);
    glMatrixMode(GL_MODELVIEW);
    glLoadIdentity();
    checkGLError(50);

    glDisable(GL_DEPTH_TEST);
    glDepthMask(GL_FALSE);
    glDisable(GL_BLEND);
    glClearColor(0.0f, 0.0f, 0.0f, 0.0f);

    // The image to smooth is what the frame has drawn so far.
    binding.bind(GL_FRAMEBUFFER, albedoFramebuffer_);
    glClear(GL_COLOR_BUFFER_BIT);
    glDrawBuffer(GL_COLOR_ATTACHMENT0);
    copyWindowColour(binding, window);
    binding.bind(GL_FRAMEBUFFER, window);
    checkGLError(60);

    binding.bind(GL_FRAMEBUFFER, edgeFramebuffer_);
    glClear(GL_COLOR_BUFFER_BIT);
    glUseProgram(edgeProgram_);
    bindUnit(0, albedoTexture_, GL_LINEAR);
    drawUnitQuad();
    glUseProgram(0);

    binding.bind(GL_FRAMEBUFFER, blendFramebuffer_);
    glClear(GL_COLOR_BUFFER_BIT);
    glUseProgram(blendWeightProgram_);
    bindUnit(0, edgeTexture_, GL_LINEAR);
    bindUnit(1, areaTexture_, GL_LINEAR);
    bindUnit(2, searchTexture_, GL_NEAREST);
    drawUnitQuad();
    glUseProgram(0);

    binding.bind(GL_FRAMEBUFFER, window);
    // Only the colour target: the frame's other targets keep what the
    // skenes wrote there.
    if (window != 0)
        glDrawBuffer(GL_COLOR_ATTACHMENT0);
    glUseProgram(neighborhoodProgram_);
    bindUnit(0, albedoTexture_, GL_LINEAR);
    bindUnit(1, blendTexture_, GL_LINEAR);
    glEnable(GL_FRAMEBUFFER_SRGB);
    drawUnitQuad();
    borrowed.restore(window);
}
