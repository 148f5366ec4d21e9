#include <GL/glew.h>

#include "items/MeshQML.h"

#include "gpu/GpuResources.h"
#include "gpu/VertexBuffers.h"
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
    // The import needs no GL, but its table belongs to the frame host's
    // resources; before they exist the next synchronisation tries again.
    GpuResources* resources = currentGpuResources();
    if (!resources)
        return;
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
    // A mesh imported before is taken as it is while its file is the one it
    // was imported from; an edited or replaced file (noticed when a reload
    // resolves again) is imported afresh. The import runs on the worker:
    // until the frame hands it over, the mesh draws nothing.
    const MeshFileStamp stamp = meshFileStamp(file);
    Mesh* mesh = resources->meshes.find(key);
    if (mesh && mesh->requestedSize == stamp.size && mesh->requestedWriteTime == stamp.writeTime) {
        mesh_ = mesh;
        return;
    }
    if (!mesh) {
        mesh = resources->meshes.add(key);
        mesh->halfFloats = halfFloats_;
        mesh->intPack = intPack_;
        mesh->autoScale = autoScale_;
        mesh->autoCenter = autoCenter_;
    }
    MeshImportRequest request;
    request.file = file;
    request.smoothNormals = smoothNormals_;
    request.smoothingAngle = normalSmoothAngle_;
    request.flipNormals = flipNormals_;
    request.halfFloats = halfFloats_;
    request.intPack = intPack_;
    request.autoScale = autoScale_;
    request.autoCenter = autoCenter_;
    resources->meshImports.request(*mesh, request, stamp);
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

    applyBlendMode(blendMode_);

    FrameState& frame = frameState();
    if (frame.frameStarted) {
        glClear(GL_DEPTH_BUFFER_BIT);
        frame.frameStarted = false;
    }
    pushDepthState();

    const glm::mat4 view = viewMatrix();
    glm::mat4 mv = view;
    const CameraData* camera = gpu().camera.get();
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
    // The children draw blended, whatever the mesh's own mode was.
    glEnable(GL_BLEND);

    Q_EMIT rendered();
    renderChildren(pRNLI);
    prevModelMatrix_ = m;
    prevModelValid_ = true;
    popDepthState();
}

void MeshQML::drawWithMatrices(const glm::mat4& view, const glm::mat4& mv, const glm::mat4& m)
{
    GpuResources& resources = gpu();
    Shader* shader = resources.shaders.current();
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
    mesh_->instanceGrid = mesh_->instanced ? instanceGrid(resources.vertexBuffers) : nullptr;
    mesh_->instanceCount = instanceCount_;
    mesh_->instanceVaryings = varyings_;
    drawMesh(*mesh_, 0, resources.feedback, shader);
}

const Mesh* MeshQML::instanceGrid(const MeshTable& buffers)
{
    // The grid may be made after this item first draws (its update item
    // synchronises later): look again until it is there. Entries stay as
    // long as their table, so a found grid is kept.
    assignText(instanceName_, instanceVBO_);
    if (instanceGrid_ && instanceName_ == instanceGridName_)
        return instanceGrid_;
    instanceKey_.assign("pointGrid");
    instanceKey_.append(instanceName_);
    instanceGrid_ = buffers.find(instanceKey_);
    instanceGridName_ = instanceName_;
    return instanceGrid_;
}
