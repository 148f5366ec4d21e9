#pragma once
// One GLSL program built from up to four stage files that share a base name
// (.vert, .geom, .frag, .cs), found in the skene's directory, the working
// directory, fx/_SharedQML/ or the data pack. It rebuilds itself when one of
// its files changes (gpu/FileAutoLoader.h). Every stage compile is recorded
// in the frame state, whose settling waits for compiles to be quiet.
// Everything here needs the GL context current.
#include <GL/glew.h>

#include "gpu/FileAutoLoader.h"
#include "gpu/Varyings.h"

#include <string>
#include <unordered_map>
#include <vector>

class Shader : public IFileAutoLoader {
public:
    // Watched by watch when one is given (it must outlive the shader).
    explicit Shader(FileWatch* watch = nullptr)
        : IFileAutoLoader(watch)
    {
    }

    // Declares transform feedback varyings; takes effect at the next load.
    void setTransformFeedbackVaryings(const std::string& text) { varyingsText_ = text; }

    // Compiles every stage found (its #include lines expanded:
    // gpu/ShaderIncludes.h) and links them. A stage that fails to compile,
    // or a program that fails to link, is reported in a box, or in the
    // build error list when that is shown beside the demo
    // (state/BuildErrors.h), and the demo runs on; a stage that compiles
    // clears its files' entries from the list. Returns the link result. A
    // load asked for while this shader's own box is open (its event loop
    // runs polls and frames) does nothing and returns false.
    //
    // While the author edits live (state/rocket_flags.h editingWhileRunning()), a
    // rebuild that fails keeps the last program that linked, and its new
    // objects are deleted; otherwise the new program replaces the old one
    // whatever came of it. Replaced objects are deleted (GL frees a bound
    // program once it is unbound).
    bool load(const std::string& baseName, const std::string& sceneDir);
    bool reload() override;

    // Binds the program (the shader cache keeps which shader is current:
    // gpu/ShaderCache.h).
    void use();
    // Deletes the program and its stages (with the context current).
    void release();

    GLuint program() const { return program_; }
    // True when the last load linked. A program that failed to link draws
    // nothing useful and raises a GL error at every uniform call, so it is
    // never made current.
    bool linked() const { return linked_; }
    // True when the linked program stores to shader storage blocks, images
    // or atomic counters: what it wrote is read by a later pass only after a
    // memory barrier.
    bool writesStorage() const { return writesStorage_; }
    const std::string& baseName() const { return baseName_; }
    const std::string& sceneDir() const { return sceneDir_; }
    const std::vector<Varying>& varyings() const { return varyings_; }

    // Uniform setters: false without a linked program or when the program
    // has no such uniform; they set the value on the program current in GL.
    bool setUniformFloat(const char* name, float value);
    bool setUniformInt(const char* name, int value);
    bool setUniformMat4(const char* name, const float* matrix);
    bool setUniformVec4(const char* name, const float* vector);

private:
    bool loadNow(const std::string& baseName, const std::string& sceneDir);
    // The uniform's location in the program, -1 when it has none. Asked of
    // GL once per name and program: the cache is emptied when load() links
    // a new one.
    GLint uniformLocation(const char* name);
    template <typename Set>
    bool setUniform(const char* name, Set set);

    GLuint vertexShader_ = 0;
    GLuint fragmentShader_ = 0;
    GLuint geometryShader_ = 0;
    GLuint computeShader_ = 0;
    GLuint program_ = 0;
    bool linked_ = false;
    bool writesStorage_ = false;
    bool loading_ = false;
    std::unordered_map<std::string, GLint> uniformLocations_;
    std::string lookupName_; // reused, so a lookup allocates only for a new name
    std::string baseName_;
    std::string sceneDir_;
    std::string varyingsText_;
    std::vector<Varying> varyings_;
};

// Result of looking for one stage file.
struct ShaderFile {
    bool found = false;
    std::string path;
    std::string text;
};

// Tries, in order: baseName/shader.ext, sceneDir+baseName/shader.ext,
// sceneDir+baseName.ext (those two only with a sceneDir), baseName.ext,
// fx/_SharedQML/baseName/shader.ext, fx/_SharedQML/baseName.ext; each as a
// loose file or a data pack entry.
ShaderFile findShaderFile(const std::string& baseName, const std::string& sceneDir,
                          const std::string& extension);
