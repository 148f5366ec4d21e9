#pragma once
// "Shader": selects the GLSL program that the effects below it draw with and
// feeds it the standard uniforms (time, time step, projection, window size)
// and the uniforms of its direct ShaderParam children. Programs are shared
// through a cache keyed by file, skene name and skene directory.
#include <GL/glew.h>

#include "items/IEffect.h"

#include <glm/mat4x4.hpp>

#include <QString>

class Shader;

class ShadeQML : public IEffect {
    Q_OBJECT
    Q_PROPERTY(QString file READ file WRITE setFile NOTIFY shaderChanged)
    Q_PROPERTY(QString tfVaryings READ tfVaryings WRITE setTfVaryings NOTIFY tfVaryingsChanged)

public:
    explicit ShadeQML(QQuickItem* parent = nullptr);

    QString file() const { return file_; }
    void setFile(const QString& file);
    QString tfVaryings() const { return tfVaryings_; }
    // Always stores and notifies; takes effect when the shader is next made.
    void setTfVaryings(const QString& text);

    Shader* shader() const { return shader_; }

    // The projection the standard uniforms use: identity without a camera,
    // else the camera's vertical field of view at the window's aspect,
    // near 0.1, far 1000.
    static glm::mat4 projectionMatrix(int windowWidth, int windowHeight);

Q_SIGNALS:
    void shaderChanged(QString shader);
    void tfVaryingsChanged(QString tfVaryings);

public Q_SLOTS:
    std::string getEffectName() override;
    void render(RenderNameListItem* pRNLI) override;
    GLuint getShaderProgram();

protected:
    QSGNode* updatePaintNode(QSGNode* node, UpdatePaintNodeData* data) override;

private:
    void resolveShader();

    QString file_;
    QString tfVaryings_;
    bool varyingsGiven_ = false;
    Shader* shader_ = nullptr; // owned by the shader cache
};

// Shaders by cache key; entries live as long as the process.
Shader* findCachedShader(const std::string& key);
Shader* addCachedShader(const std::string& key);

// Destroys every cached shader (for tests: no shader item may outlive it).
void resetShaderCache();
