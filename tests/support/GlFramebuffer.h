#pragma once
// A small colour + depth framebuffer for reading pixels back in GL tests.
#include <GL/glew.h>

#include <array>

class GlFramebuffer {
public:
    GlFramebuffer(int width, int height);
    ~GlFramebuffer();
    void bind() const;
    GLuint name() const { return fbo_; }
    // Binds it and clears the colour target to (r, g, b, a); depth stays.
    void bindCleared(float r = 0, float g = 0, float b = 0, float a = 0) const;
    // RGBA8 of the pixel at (x, y).
    std::array<unsigned char, 4> pixel(int x, int y) const;
    float depth(int x, int y) const;

private:
    GLuint fbo_ = 0;
    GLuint colour_ = 0;
    GLuint depth_ = 0;
    int width_;
    int height_;
};
