#include "items/ShadeQML.h"

#include "gpu/GpuResources.h"
#include "items/QmlText.h"
#include "items/ShaderParamQML.h"
#include "state/DemoDisplay.h"
#include "state/FrameState.h"

#include <QDebug>
#include <QSGNode>

#include <glm/gtc/matrix_inverse.hpp>
#include <glm/gtc/type_ptr.hpp>

#include <algorithm>

namespace {

std::string textProperty(const QObject* object, const char* name)
{
    return object ? object->property(name).toString().toStdString() : std::string();
}

} // namespace

ShadeQML::ShadeQML(QQuickItem* parent)
    : IEffect(parent)
{
    setFlag(QQuickItem::ItemHasContents);
}

void ShadeQML::setFile(const QString& file)
{
    if (file == file_)
        return;
    file_ = file;
    Q_EMIT shaderChanged(file_);
    update();
}

void ShadeQML::setTfVaryings(const QString& text)
{
    tfVaryings_ = text;
    varyingsGiven_ = true;
    Q_EMIT tfVaryingsChanged(tfVaryings_);
}

std::string ShadeQML::getEffectName()
{
    return "Shader";
}

GLuint ShadeQML::getShaderProgram()
{
    return shader_ ? shader_->program() : 0;
}

QSGNode* ShadeQML::updatePaintNode(QSGNode* node, UpdatePaintNodeData*)
{
    // Qt Quick may synchronise before the frame has loaded GLEW. Its
    // context is current here, so GLEW loads now; without any context every
    // call below would jump through a null pointer.
    if (gpuReady())
        resolveShader();
    return node ? node : new QSGNode();
}

void ShadeQML::resolveShader()
{
    const std::string file = file_.toStdString();
    const std::string skeneKey = "_skene" + textProperty(this, "skeneName");
    // The skene root declares sceneDir; a shader sits right under it or one
    // level deeper.
    std::string sceneDir = textProperty(parentItem(), "sceneDir");
    if (sceneDir.empty() && parentItem() && parentItem()->parentItem())
        sceneDir = textProperty(parentItem()->parentItem(), "sceneDir");

    const bool lookUp = !file.empty() && (!shader_ || file != shader_->baseName());
    if (!lookUp)
        return;
    const std::string key = file + skeneKey + sceneDir;
    ShaderCache& cache = gpu().shaders;
    shader_ = cache.find(key);
    if (shader_)
        return;
    Shader* shader = cache.add(key);
    if (varyingsGiven_) {
        qDebug() << "YES TF VARYINGS ARE HERE";
        shader->setTransformFeedbackVaryings(tfVaryings_.toStdString());
    }
    qDebug() << "skene dir for ShadeQML is:";
    qDebug() << sceneDir.c_str();
    shader->load(file, sceneDir);
    shader_ = shader;
}

void ShadeQML::render(RenderNameListItem* pRNLI)
{
    polish();
    // A program that failed to link counts as no shader: its subtree would
    // otherwise draw with whatever program was bound before it.
    if (!shader_ || !shader_->linked())
        return;
    assignText(effectText_, file_);
    GpuResources& resources = gpu();
    resources.shaders.use(shader_);

    const FrameTime& time = frameState().time;
    const int width = demoDisplay().width;
    const int height = demoDisplay().height;
    const float stepMs = time.paused ? float(std::clamp(time.pauseStepSeconds * 1000.0, -1500.0, 1500.0))
                                     : time.averageFrameMs;
    const glm::mat4 projection = projectionMatrix(resources.camera.get(), width, height);
    const glm::mat4 projectionInv = glm::inverse(projection);

    shader_->setUniformInt("tex", 0);
    shader_->setUniformFloat("g_time", float(time.demoSeconds));
    shader_->setUniformFloat("g_timeStep", stepMs * 0.001f);
    shader_->setUniformMat4("projectionMatrix", glm::value_ptr(projection));
    shader_->setUniformMat4("projectionInvMatrix", glm::value_ptr(projectionInv));
    shader_->setUniformFloat("windowWidth", float(width));
    shader_->setUniformFloat("windowHeight", float(height));
    shader_->setUniformFloat("g_windowWidth", float(width));
    shader_->setUniformFloat("g_windowHeight", float(height));

    const QList<QQuickItem*> children = childItems();

    for (QQuickItem* child : children) {
        if (auto* param = qobject_cast<ShaderParamQML*>(child))
            param->applyToCurrentShader();
    }
    renderChildren(pRNLI);
}
