#include "gpu/Shader.h"

#include "gpu/ShaderIncludes.h"
#include "platform/AssetFile.h"
#include "platform/Clock.h"
#include "platform/Notifier.h"
#include "platform/Window.h"
#include "state/BuildErrors.h"
#include "state/DemoDisplay.h"
#include "state/FrameState.h"
#include "state/rocket_flags.h"

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

// What one load found wrong, for the list beside the demo. A load clears
// the entries of the files that built before it adds its own, so a file
// shared by two stages keeps the error one of them met.
struct LoadReport {
    std::vector<std::string> clean;
    std::vector<BuildError> errors;
};

void publish(const LoadReport& report)
{
    BuildErrors& list = buildErrors();
    if (!list.besideDemo())
        return;
    for (const std::string& file : report.clean)
        list.clearFile(file);
    for (const BuildError& error : report.errors)
        list.report(error);
}

// Reports a compile or link failure: on the debug log, and in a box or, with
// the list beside the demo, as entries for it. Before a box, the main window
// comes to the front, so the box is not hidden behind a full-screen demo.
void reportShaderError(const std::string& name, const std::string& log, std::vector<BuildError> entries,
                       LoadReport& report)
{
    const std::string message = "Error: compiling shader " + name + ".\n\nError log: " + log + "\n\n";
    qDebug() << "Shader compile error:";
    qDebug() << message.c_str();
    if (buildErrors().besideDemo()) {
        for (BuildError& entry : entries)
            report.errors.push_back(std::move(entry));
        return;
    }
    platform::bringToFront(demoDisplay().mainWindow);
    platform::notifier().notify(message, "Shader compilation error", platform::NotifyButtons::Ok,
                                platform::NotifyIcon::Error);
}

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

// Compiles one stage from its expanded text into stage, an object made for
// it. An include that could not be expanded fails the stage as a compile
// error would, naming the including file and line; the object then stays
// uncompiled.
bool compileStage(GLuint stage, const std::string& path, const ExpandedStage& source, LoadReport& report)
{
    bool ok = false;
    if (source.failed) {
        const std::string where = source.errorFile + ":" + std::to_string(source.errorLine) + ": ";
        reportShaderError(path, where + source.errorText + "\n",
                          {BuildError{source.errorFile, source.errorLine, source.errorText}}, report);
    } else {
        const char* text = source.text.c_str();
        glShaderSource(stage, 1, &text, nullptr);
        glCompileShader(stage);
        GLint status = 0;
        glGetShaderiv(stage, GL_COMPILE_STATUS, &status);
        ok = status != 0;
        const std::string log = ok ? std::string() : infoLog(stage, glGetShaderiv, glGetShaderInfoLog);
        if (!log.empty()) {
            std::vector<BuildError> entries;
            for (const LogPart& part : splitLogByFile(log, source))
                entries.push_back(BuildError{part.file, part.line, part.text});
            // The compiler counts lines in the joined text; the author knows
            // the files.
            reportShaderError(path, source.unchanged ? log : nameFilesInLog(log, source),
                              std::move(entries), report);
        }
    }
    frameState().latestShaderCompileMs = platform::millisecondClock();
    return ok;
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
    // While the author edits, a save with a typo must not blank the
    // picture: a failed rebuild keeps the program that linked last (and the
    // next save tries again, as its files are watched all the same).
    const bool keepLastGood = linked_ && editingWhileRunning();

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
    constexpr size_t kStageCount = sizeof kStages / sizeof kStages[0];
    // A stage that is no longer found keeps its object of the last load.
    GLuint built[kStageCount];
    bool fresh[kStageCount] = {};
    for (size_t i = 0; i < kStageCount; ++i)
        built[i] = this->*kStages[i].field;
    bool stagesOk = true;
    std::string firstFile;
    LoadReport report;
    for (size_t i = 0; i < kStageCount; ++i) {
        const auto& stage = kStages[i];
        const ShaderFile file = findShaderFile(baseName, sceneDir, stage.extension);
        if (!file.found)
            continue;
        addFile(file.path);
        if (firstFile.empty())
            firstFile = file.path;
        const ExpandedStage source = expandStageIncludes(file.path, file.text, sceneDir);
        for (const std::string& included : source.included)
            watchFile(included);
        for (const std::string& missing : source.missing)
            watchFile(missing);
        if (stage.type == GL_FRAGMENT_SHADER)
            qDebug() << ("found fragment shader from:" + file.path).c_str();
        built[i] = glCreateShader(stage.type);
        fresh[i] = true;
        const bool ok = compileStage(built[i], file.path, source, report);
        if (stage.ok)
            qDebug() << (ok ? stage.ok : stage.failed);
        if (ok) {
            report.clean.push_back(file.path);
            report.clean.insert(report.clean.end(), source.included.begin(), source.included.end());
        }
        stagesOk = stagesOk && ok;
    }
    setName(baseName);

    const auto dropNew = [&](GLuint program) {
        for (size_t i = 0; i < kStageCount; ++i) {
            if (fresh[i])
                glDeleteShader(built[i]);
        }
        if (program)
            glDeleteProgram(program);
        qDebug() << ("Shader keeps the last program that linked:" + baseName).c_str();
        publish(report);
        return false;
    };
    if (keepLastGood && !stagesOk)
        return dropNew(0);

    const GLuint program = glCreateProgram();
    for (GLuint stage : built) {
        if (stage)
            glAttachShader(program, stage);
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
            glTransformFeedbackVaryings(program, GLsizei(names.size()), names.data(), GL_INTERLEAVED_ATTRIBS);
    }

    glLinkProgram(program);
    GLint status = 0;
    glGetProgramiv(program, GL_LINK_STATUS, &status);
    const bool linked = status != 0;
    if (!linked) {
        const std::string log = infoLog(program, glGetProgramiv, glGetProgramInfoLog);
        // After a stage that failed, the link's complaint is only the echo
        // of it: the list holds the stage's own error.
        std::vector<BuildError> entries;
        if (stagesOk)
            entries.push_back(BuildError{firstFile.empty() ? baseName : firstFile, 0, log});
        if (!log.empty())
            reportShaderError(name_, log, std::move(entries), report);
    }
    if (keepLastGood && !linked)
        return dropNew(program);

    // Nothing uses the replaced objects any more; a program still bound
    // is freed by GL once the next one is bound.
    if (program_)
        glDeleteProgram(program_);
    for (size_t i = 0; i < kStageCount; ++i) {
        GLuint& field = this->*kStages[i].field;
        if (fresh[i] && field)
            glDeleteShader(field);
        field = built[i];
    }
    program_ = program;
    linked_ = linked;
    uniformLocations_.clear();
    writesStorage_ = linked_ && storesToMemory(program_);
    publish(report);
    return linked_;
}

bool Shader::reload()
{
    // Copies: load() clears the name and the directory it is handed.
    const std::string baseName = name_;
    const std::string sceneDir = sceneDir_;
    return load(baseName, sceneDir);
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
