#pragma once
// "Shader": selects the GLSL program that the effects below it draw with and
// feeds it the standard uniforms (time, time step, projection, window size)
// and the uniforms of its direct ShaderParam children. Programs are shared
// through the shader cache of the GPU resources (gpu/ShaderCache.h), keyed
// by file, skene name and skene directory.
#include <GL/glew.h>

#include "items/IEffect.h"

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
