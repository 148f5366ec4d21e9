#include "gpu/Shader.h"

#include "platform/AssetFile.h"
#include "platform/Clock.h"
#include "platform/Notifier.h"
#include "platform/Window.h"
#include "state/DemoDisplay.h"
#include "state/FrameState.h"

#include <QDebug>
#include <algorithm>

namespace {

// True when the program has shader storage blocks, atomic counters or
// image uniforms: the ways a draw writes memory that GL does not keep in
// step with later reads by itself.
bool storesToMemory(GLuint program)
{
    GLint counters = 0;
    glGetProgramiv(program, GL_ACTIVE_ATOMIC_COUNTER_BUFFERS, &counters);
    GLint blocks = 0;
    glGetProgramInterfaceiv(program, GL_SHADER_STORAGE_BLOCK, GL_ACTIVE_RESOURCES, &blocks);
    if (counters > 0 || blocks > 0)
        return true;
    GLint uniforms = 0;
    glGetProgramiv(program, GL_ACTIVE_UNIFORMS, &uniforms);
    for (GLint i = 0; i < uniforms; ++i) {
        const GLuint index = GLuint(i);
        GLint type = 0;
        glGetActiveUniformsiv(program, 1, &index, GL_UNIFORM_TYPE, &type);
        if (type >= GL_IMAGE_1D && type <= GL_UNSIGNED_INT_IMAGE_2D_MULTISAMPLE_ARRAY)
            return true;
    }
    return false;
}

// Shows a compile or link failure. The main window comes to the front first,
// so the box is not hidden behind a full-screen demo.
void reportShaderError(const std::string& name, const std::string& log)
{
    const std::string message = "Error: compiling shader " + name + ".\n\nError log: " + log + "\n\n";
    qDebug() << "Shader compile error:";
    qDebug() << message.c_str();
    platform::bringToFront(demoDisplay().mainWindow);
    platform::notifier().notify(message, "Shader compilation error", platform::NotifyButtons::Ok,
                                platform::NotifyIcon::Error);
}

} // namespace

ShaderFile findShaderFile(const std::string& baseName, const std::string& sceneDir,
                          const std::string& extension)
{
    std::vector<std::string> candidates;
    candidates.push_back(baseName + "/shader" + extension);
    if (!sceneDir.empty()) {
        candidates.push_back(sceneDir + baseName + "/shader" + extension);
        candidates.push_back(sceneDir + baseName + extension);
    }
    candidates.push_back(baseName + extension);
    candidates.push_back("fx/_SharedQML/" + baseName + "/shader" + extension);
    candidates.push_back("fx/_SharedQML/" + baseName + extension);

    ShaderFile result;
    char* data = nullptr;
    size_t size = 0;
    for (const std::string& candidate : candidates) {
        if (loadAssetFile(candidate.c_str(), &data, &size, true)) {
            result.found = true;
            result.path = candidate;
            result.text.assign(data, size);
            break;
        }
    }
    delete[] data;
    return result;
}

bool Shader::load(const std::string& baseName, const std::string& sceneDir)
{
    if (loading_)
        return false;
    loading_ = true;
    const int64_t started = platform::steadyNanoseconds();
    const bool ok = loadNow(baseName, sceneDir);
    frameState().loadTimes.shaderMs += double(platform::steadyNanoseconds() - started) * 1e-6;
    loading_ = false;
    return ok;
}

bool Shader::loadNow(const std::string& baseName, const std::string& sceneDir)
{
    clearFiles();
    sceneDir_ = sceneDir;
    qDebug() << ("Compiling shader:" + baseName).c_str();
    baseName_ = baseName;

    static const struct {
        const char* extension;
        GLenum type;
        GLuint Shader::*field;
        const char* ok;
        const char* failed;
    } kStages[] = {
        {".vert", GL_VERTEX_SHADER, &Shader::vertexShader_, "successfully compiled .vert", "failed to compile vs"},
        {".geom", GL_GEOMETRY_SHADER, &Shader::geometryShader_, "successfully compiled .geom", "failed to compile gs"},
        {".frag", GL_FRAGMENT_SHADER, &Shader::fragmentShader_, "successfully compiled .frag", "failed to compile fs"},
        {".cs", GL_COMPUTE_SHADER, &Shader::computeShader_, nullptr, nullptr},
    };
    for (const auto& stage : kStages) {
        const ShaderFile file = findShaderFile(baseName, sceneDir, stage.extension);
        if (!file.found)
            continue;
        addFile(file.path);
        if (stage.type == GL_FRAGMENT_SHADER)
            qDebug() << ("found fragment shader from:" + file.path).c_str();
        const bool ok = compileStage(stage.type, this->*stage.field, file.text);
        if (stage.ok)
            qDebug() << (ok ? stage.ok : stage.failed);
    }
    setName(baseName);

    program_ = glCreateProgram();
    linked_ = false;
    uniformLocations_.clear();
    for (GLuint stage : {vertexShader_, geometryShader_, fragmentShader_, computeShader_}) {
        if (stage)
            glAttachShader(program_, stage);
    }

    if (!varyingsText_.empty()) {
        varyings_ = parseVaryings(varyingsText_);
        qDebug() << "Shader create TF varyings added";
        // The declaration holds at most 32 varyings; more could not be
        // captured in one interleaved buffer anyway.
        std::vector<const char*> names;
        for (const Varying& v : varyings_) {
            if (names.size() == 32)
                break;
            names.push_back(v.name.c_str());
        }
        if (!names.empty())
            glTransformFeedbackVaryings(program_, GLsizei(names.size()), names.data(), GL_INTERLEAVED_ATTRIBS);
    }

    glLinkProgram(program_);
    linked_ = checkLink();
    writesStorage_ = linked_ && storesToMemory(program_);
    return linked_;
}

bool Shader::reload()
{
    // Copies: load() clears the name and the directory it is handed.
    const std::string baseName = name_;
    const std::string sceneDir = sceneDir_;
    return load(baseName, sceneDir);
}

bool Shader::compileStage(GLenum type, GLuint& stage, const std::string& source)
{
    stage = glCreateShader(type);
    const char* text = source.c_str();
    glShaderSource(stage, 1, &text, nullptr);
    glCompileShader(stage);
    const bool ok = checkCompile(stage);
    frameState().latestShaderCompileMs = platform::millisecondClock();
    return ok;
}

namespace {

// Reads an info log through the matching GL getters; empty when there is
// none.
template <typename GetIv, typename GetLog>
std::string infoLog(GLuint object, GetIv getIv, GetLog getLog)
{
    GLint length = 0;
    getIv(object, GL_INFO_LOG_LENGTH, &length);
    if (length <= 0)
        return {};
    std::string log(size_t(length), '\0');
    GLsizei written = 0;
    getLog(object, length, &written, &log[0]);
    log.resize(size_t(std::max<GLsizei>(0, std::min<GLsizei>(written, length))));
    return log;
}

} // namespace

bool Shader::checkCompile(GLuint stage)
{
    GLint status = 0;
    glGetShaderiv(stage, GL_COMPILE_STATUS, &status);
    if (status)
        return true;
    const std::string log = infoLog(stage, glGetShaderiv, glGetShaderInfoLog);
    if (!log.empty())
        reportShaderError(name_, log);
    return false;
}

bool Shader::checkLink()
{
    GLint status = 0;
    glGetProgramiv(program_, GL_LINK_STATUS, &status);
    if (status)
        return true;
    const std::string log = infoLog(program_, glGetProgramiv, glGetProgramInfoLog);
    if (!log.empty())
        reportShaderError(name_, log);
    return false;
}

void Shader::use()
{
    glUseProgram(program_);
}

void Shader::release()
{
    for (GLuint* stage : {&vertexShader_, &geometryShader_, &fragmentShader_, &computeShader_}) {
        if (*stage)
            glDeleteShader(*stage);
        *stage = 0;
    }
    if (program_)
        glDeleteProgram(program_);
    program_ = 0;
    linked_ = false;
    uniformLocations_.clear();
}

GLint Shader::uniformLocation(const char* name)
{
    lookupName_.assign(name);
    const auto found = uniformLocations_.find(lookupName_);
    if (found != uniformLocations_.end())
        return found->second;
    const GLint at = glGetUniformLocation(program_, name);
    uniformLocations_.emplace(lookupName_, at);
    return at;
}

template <typename Set>
bool Shader::setUniform(const char* name, Set set)
{
    if (!program_ || !linked_)
        return false;
    const GLint at = uniformLocation(name);
    if (at < 0)
        return false;
    set(at);
    return true;
}

bool Shader::setUniformFloat(const char* name, float value)
{
    return setUniform(name, [&](GLint at) { glUniform1f(at, value); });
}

bool Shader::setUniformInt(const char* name, int value)
{
    return setUniform(name, [&](GLint at) { glUniform1i(at, value); });
}

bool Shader::setUniformMat4(const char* name, const float* matrix)
{
    return setUniform(name, [&](GLint at) { glUniformMatrix4fv(at, 1, GL_FALSE, matrix); });
}

bool Shader::setUniformVec4(const char* name, const float* vector)
{
    return setUniform(name, [&](GLint at) { glUniform4fv(at, 1, vector); });
}
