#include <GL/glew.h>

#include "items/MeshQML.h"

#include "gpu/DepthState.h"
#include "gpu/Mesh.h"
#include "gpu/MeshRegistry.h"
#include "gpu/Shader.h"
#include "gpu/VertexBuffers.h"
#include "items/CameraQML.h"
#include "items/QmlText.h"
#include "items/SavePointQML.h"
#include "items/Transform.h"
#include "state/FrameState.h"

#include <QDebug>
#include <QSGNode>

#include <glm/gtc/matrix_inverse.hpp>
#include <glm/gtc/type_ptr.hpp>

#include <cstdio>

MeshQML::MeshQML(QQuickItem* parent)
    : IDrawEffect(parent)
{
    setFlag(QQuickItem::ItemHasContents);
}

void MeshQML::setFile(const QString& file)
{
    if (file == file_)
        return;
    file_ = file;
    update();
}

void MeshQML::setBlendMode(const QString& mode)
{
    if (mode == blendMode_)
        return;
    blendMode_ = mode;
    qDebug() << "MeshQML:setBlendMode update()";
    update();
}

void MeshQML::setTfVaryings(const QString& text)
{
    tfVaryings_ = text;
    varyings_ = parseVaryings(text.toStdString());
    Q_EMIT tfVaryingsChanged(tfVaryings_);
}

std::string MeshQML::getEffectName()
{
    return "Mesh";
}

void MeshQML::triggerRenderOnce()
{
    renderOncePending_ = true;
}

std::string MeshQML::meshCacheKey(const std::string& file, bool smoothNormals, bool flipNormals, bool halfFloats,
                                  bool intPack, bool autoCenter, bool autoScale, float normalSmoothAngle)
{
    std::string key = file;
    if (smoothNormals)
        key += "_m_bSmoothNormals";
    if (flipNormals)
        key += "m_bFlipNormals";
    if (halfFloats)
        key += "m_bHalf";
    // Packing changes the stored vertices only together with half floats;
    // without this, the first of two such items would decide for both.
    if (halfFloats && intPack)
        key += "m_bPack";
    if (autoCenter)
        key += "m_bAC";
    if (autoScale)
        key += "m_bAS";
    char angle[64];
    std::snprintf(angle, sizeof angle, "sa%3.2f", double(normalSmoothAngle));
    return key + angle;
}

QSGNode* MeshQML::updatePaintNode(QSGNode* node, UpdatePaintNodeData*)
{
    resolveMesh();
    return node ? node : new QSGNode();
}

void MeshQML::resolveMesh()
{
    const std::string file = file_.toStdString();
    // Particle emitter meshes must keep the normals they were written with.
    if (file.find("partemit") != std::string::npos)
        smoothNormals_ = false;
    // A cleared file draws nothing, not the mesh it named before.
    if (file.empty()) {
        mesh_ = nullptr;
        meshKey_.clear();
        return;
    }
    const std::string key = meshCacheKey(file, smoothNormals_, flipNormals_, halfFloats_, intPack_, autoCenter_,
                                         autoScale_, normalSmoothAngle_);
    if (mesh_ && key == meshKey_)
        return;
    meshKey_ = key;
    if (Mesh* cached = findCachedMesh(key)) {
        mesh_ = cached;
        return;
    }
    Mesh* mesh = addCachedMesh(key);
    mesh->halfFloats = halfFloats_;
    mesh->intPack = intPack_;
    mesh->autoScale = autoScale_;
    mesh->autoCenter = autoCenter_;
    mesh->importMesh(file, smoothNormals_, normalSmoothAngle_, flipNormals_);
    mesh_ = mesh;
}

void MeshQML::render(RenderNameListItem* pRNLI)
{
    assignText(effectText_, file_);
    polish();
    if (triggeredRender_) {
        if (!renderOncePending_)
            return;
        renderOncePending_ = false;
    }

    glEnable(GL_BLEND);
    applyBlendMode(blendMode_);

    FrameState& frame = frameState();
    if (frame.frameStarted) {
        glClear(GL_DEPTH_BUFFER_BIT);
        frame.frameStarted = false;
    }
    pushDepthState();

    const glm::mat4 view = viewMatrix();
    glm::mat4 mv = view;
    const CameraData* camera = currentCamera();
    if (camera && useYaw_)
        mv = withCameraPitchYaw(mv, *camera);
    glm::mat4 m(1.0f);
    const QList<QQuickItem*> children = childItems();
    for (QQuickItem* child : children)
        applyChild(child, mv, m);
    recordSavePoints(*this, mv, m);

    if (clearDepth_)
        glClear(GL_DEPTH_BUFFER_BIT);
    if (cull_) {
        glEnable(GL_CULL_FACE);
        // Without cullBack the face mode in force stays; every culling mesh
        // leaves it at GL_FRONT, so later meshes with cull alone cull fronts.
        if (cullBack_)
            glCullFace(GL_BACK);
    }
    selectDrawBuffers(drawBuffers_);
    drawWithMatrices(view, mv, m);
    if (cull_) {
        glCullFace(GL_FRONT);
        glDisable(GL_CULL_FACE);
    }
    glEnable(GL_BLEND);

    Q_EMIT rendered();
    renderChildren(pRNLI);
    prevModelMatrix_ = m;
    prevModelValid_ = true;
    popDepthState();
}

void MeshQML::drawWithMatrices(const glm::mat4& view, const glm::mat4& mv, const glm::mat4& m)
{
    Shader* shader = Shader::currentShader();
    if (!mesh_ || !shader)
        return;
    const glm::mat4 viewInv = glm::inverse(view);
    const glm::mat4 mvInv = glm::inverse(mv);
    shader->setUniformMat4("modelMatrix", glm::value_ptr(m));
    shader->setUniformMat4("modelViewMatrix", glm::value_ptr(mv));
    shader->setUniformMat4("prevModelMatrix", glm::value_ptr(prevModelValid_ ? prevModelMatrix_ : m));
    shader->setUniformMat4("viewMatrix", glm::value_ptr(view));
    shader->setUniformMat4("viewInvMatrix", glm::value_ptr(viewInv));
    shader->setUniformMat4("modelViewInvMatrix", glm::value_ptr(mvInv));

    mesh_->instanced = !instanceVBO_.isEmpty();
    assignText(mesh_->instanceBuffer, instanceVBO_);
    mesh_->instanceCount = instanceCount_;
    mesh_->instanceVaryings = varyings_;
    drawMesh(*mesh_, 0);
}
