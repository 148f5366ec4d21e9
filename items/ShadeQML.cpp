#include "items/ShadeQML.h"

#include "gpu/GlewSetup.h"
#include "gpu/Shader.h"
#include "items/CameraQML.h"
#include "items/QmlText.h"
#include "items/ShaderParamQML.h"
#include "state/DemoDisplay.h"
#include "sync/Rocket.h"

#include <QDebug>
#include <QSGNode>

#include <glm/gtc/matrix_inverse.hpp>
#include <glm/gtc/matrix_transform.hpp>
#include <glm/gtc/type_ptr.hpp>

#include <algorithm>
#include <map>
#include <memory>

namespace {

// Lives as long as the process and is never torn down: shaders hold GL
// names that die with the context anyway, and exit-time destruction would
// race the other process-wide registries.
std::map<std::string, std::unique_ptr<Shader>>& shaderCache()
{
    static auto* cache = new std::map<std::string, std::unique_ptr<Shader>>();
    return *cache;
}

std::string textProperty(const QObject* object, const char* name)
{
    return object ? object->property(name).toString().toStdString() : std::string();
}

} // namespace

Shader* findCachedShader(const std::string& key)
{
    const auto it = shaderCache().find(key);
    return it == shaderCache().end() ? nullptr : it->second.get();
}

Shader* addCachedShader(const std::string& key)
{
    auto& slot = shaderCache()[key];
    if (!slot)
        slot = std::make_unique<Shader>();
    return slot.get();
}

void resetShaderCache()
{
    shaderCache().clear();
}

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
    if (ensureGlew())
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
    shader_ = findCachedShader(key);
    if (shader_)
        return;
    Shader* shader = addCachedShader(key);
    if (varyingsGiven_) {
        qDebug() << "YES TF VARYINGS ARE HERE";
        shader->setTransformFeedbackVaryings(tfVaryings_.toStdString());
    }
    qDebug() << "skene dir for ShadeQML is:";
    qDebug() << sceneDir.c_str();
    shader->load(file, sceneDir);
    shader_ = shader;
}

glm::mat4 ShadeQML::projectionMatrix(int windowWidth, int windowHeight)
{
    const CameraData* camera = currentCamera();
    if (!camera || windowHeight <= 0)
        return glm::mat4(1.0f);
    const float aspect = float(windowWidth) / float(windowHeight);
    return glm::perspective(glm::radians(camera->viewAngle), aspect, 0.1f, 1000.0f);
}

void ShadeQML::render(RenderNameListItem* pRNLI)
{
    polish();
    // A program that failed to link counts as no shader: its subtree would
    // otherwise draw with whatever program was bound before it.
    if (!shader_ || !shader_->linked())
        return;
    assignText(effectText_, file_);
    shader_->use();

    const Rocket& rocket = Rocket::instance();
    const int width = demoDisplay().width;
    const int height = demoDisplay().height;
    const float stepMs = rocket.is_paused()
                             ? float(std::clamp(rocket.pause_time_step * 1000.0, -1500.0, 1500.0))
                             : rocket.average_frame_time();
    const glm::mat4 projection = projectionMatrix(width, height);
    const glm::mat4 projectionInv = glm::inverse(projection);

    shader_->setUniformInt("tex", 0);
    shader_->setUniformFloat("g_time", float(rocket.demo_seconds()));
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
