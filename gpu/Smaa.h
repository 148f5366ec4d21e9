#pragma once
// The GL side of the anti-aliasing item: three render-size targets, the two
// lookup tables, and the three passes (edge detection, blending weights,
// neighbourhood blending) over what has been drawn into the window's
// framebuffer so far.
//
// The pass shaders are our small wrappers; the header that does the work is
// read at run time from fx/SMAA.h through preprocessShaderSource, and the
// tables from images/smaa_area.raw and images/smaa_search.raw. Everything
// here needs the demo's GL context current.
#include <GL/glew.h>

#include "gpu/FramebufferBinding.h"

#include <string>

class QOpenGLContext;

class SmaaPasses {
public:
    SmaaPasses() = default;
    // Releases the GL objects when the context that made them is current
    // (a skene reload destroys its items inside the frame); otherwise they
    // go with the context.
    ~SmaaPasses();
    SmaaPasses(const SmaaPasses&) = delete;
    SmaaPasses& operator=(const SmaaPasses&) = delete;

    // Builds everything once, at the render size of that moment; later
    // calls do nothing. Without a current GL context (a call from QML
    // outside the frame) it waits for a later call. A missing table or an
    // incomplete framebuffer ends the process with exit code 1, after a
    // line on the standard error stream. Framebuffers are bound through
    // binding.
    void init(FramebufferBinding& binding);
    bool initialized() const { return initialized_; }

    // Copies the window framebuffer's colour into the albedo target, runs
    // the three passes and writes the result back to the window's
    // framebuffer. Everything it changes is handed back as it found it
    // (framebuffers, draw buffers, viewport, matrices, depth, blending, sRGB
    // writes, the program, texture units 0 to 2 and the active unit). Does
    // nothing to the image unless all three programs linked.
    void run(FramebufferBinding& binding);

    bool programsLinked() const { return edgeLinked_ && blendWeightLinked_ && neighborhoodLinked_; }
    GLuint albedoTexture() const { return albedoTexture_; }
    GLuint edgeTexture() const { return edgeTexture_; }
    GLuint blendTexture() const { return blendTexture_; }
    GLuint areaTexture() const { return areaTexture_; }
    GLuint searchTexture() const { return searchTexture_; }
    GLuint edgeProgram() const { return edgeProgram_; }
    GLuint blendWeightProgram() const { return blendWeightProgram_; }
    GLuint neighborhoodProgram() const { return neighborhoodProgram_; }
    const std::string& appPath() const { return appPath_; }

private:
    void createTargets();
    void loadTables();
    void createFramebuffers(FramebufferBinding& binding);
    void buildPrograms();
    void copyWindowColour(FramebufferBinding& binding, GLuint windowFramebuffer);

    bool initialized_ = false;
    QOpenGLContext* context_ = nullptr;
    int width_ = 0;
    int height_ = 0;
    GLuint albedoTexture_ = 0;
    GLuint edgeTexture_ = 0;
    GLuint blendTexture_ = 0;
    GLuint areaTexture_ = 0;
    GLuint searchTexture_ = 0;
    GLuint albedoFramebuffer_ = 0;
    GLuint edgeFramebuffer_ = 0;
    GLuint blendFramebuffer_ = 0;
    GLuint edgeProgram_ = 0;
    GLuint blendWeightProgram_ = 0;
    GLuint neighborhoodProgram_ = 0;
    bool edgeLinked_ = false;
    bool blendWeightLinked_ = false;
    bool neighborhoodLinked_ = false;
    std::string appPath_;
};

// Drains the GL error queue. The codes that have a text are written, after
// "pos=<position> ", to the standard error stream in one message; the
// others (GL_INVALID_ENUM among them) are drained silently.
void checkGLError(int position);

// Compiles the two sources after preprocessShaderSource and links them into
// a new program. Compile and link logs are collected but not shown: the
// validation log written after the samplers are set says what went wrong.
GLuint buildSmaaProgram(const std::string& vertexSource, const std::string& fragmentSource);

// The three passes' shader sources: the common prefix (version, the pixel
// size of a width x height image, the preset and stage defines, the header's
// include) and the pass's body.
enum class SmaaPass { EdgeDetection, BlendingWeights, NeighborhoodBlending };
std::string smaaShaderSource(SmaaPass pass, GLenum stage, int width, int height);
