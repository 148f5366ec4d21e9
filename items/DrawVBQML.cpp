#include <GL/glew.h>

#include "items/DrawVBQML.h"

#include "gpu/GpuResources.h"
#include "gpu/VertexBuffers.h"
#include "items/QmlText.h"
#include "items/Transform.h"
#include "state/DemoDisplay.h"

#include <QDebug>
#include <QSGNode>

#include <glm/gtc/matrix_inverse.hpp>
#include <glm/gtc/type_ptr.hpp>

DrawVBQML::DrawVBQML(QQuickItem* parent)
    : IDrawEffect(parent)
{
    setFlag(QQuickItem::ItemHasContents);
}

void DrawVBQML::setType(const QString& type)
{
    if (type == type_)
        return;
    type_ = type;
    Q_EMIT typeChanged(type_);
    polishWanted_ = true;
    update();
}

void DrawVBQML::setBlendMode(const QString& mode)
{
    blendMode_ = mode;
    polishWanted_ = true;
    update();
}

void DrawVBQML::setPrimType(const QString& type)
{
    if (type == primType_)
        return;
    primType_ = type;
    Q_EMIT primTypeChanged(primType_);
    qDebug() << "DrawVBQML:setPrimType update()";
    polishWanted_ = true;
    update();
}

void DrawVBQML::setGridWidth(int width)
{
    if (width == gridWidth_)
        return;
    gridWidth_ = width;
    Q_EMIT gridWidthChanged(width);
    qDebug() << "DrawVBQML:setGridWidth update()";
    polishWanted_ = true;
    update();
}

void DrawVBQML::setGridHeight(int height)
{
    if (height == gridHeight_)
        return;
    gridHeight_ = height;
    Q_EMIT gridHeightChanged(height);
    qDebug() << "DrawVBQML:setGridHeight update()";
    polishWanted_ = true;
    update();
}

void DrawVBQML::setDrawNumPoints(int count)
{
    if (count == drawNumPoints_)
        return;
    drawNumPoints_ = count;
    Q_EMIT drawNumPointsChanged(count);
    qDebug() << "DrawVBQML:setDrawNumPoints update()";
    polishWanted_ = true;
    update();
}

void DrawVBQML::setVboId(const QString& id)
{
    if (id == vboId_)
        return;
    vboId_ = id;
    Q_EMIT vboIdChanged(vboId_);
    qDebug() << "DrawVBQML:setVboId update()";
    polishWanted_ = true;
    update();
}

void DrawVBQML::setReset(float value)
{
    if (value == reset_)
        return;
    reset_ = value;
    Q_EMIT resetChanged(value);
    polishWanted_ = true;
    update();
}

void DrawVBQML::setTfVaryings(const QString& text)
{
    const bool changed = text != tfVaryings_;
    tfVaryings_ = text;
    varyings_ = parseVaryings(text.toStdString());
    Q_EMIT tfVaryingsChanged(tfVaryings_);
    // A live edit of the declaration changes the grid's layout at the next
    // synchronisation.
    if (changed)
        update();
}

void DrawVBQML::resetParticles()
{
    resetRequested_ = true;
    update();
}

void DrawVBQML::triggerRenderOnce()
{
}

std::string DrawVBQML::getEffectName()
{
    return "DrawVB";
}

std::string DrawVBQML::bufferKind(const QString& type)
{
    if (type == QLatin1String("pointGridDraw") || type == QLatin1String("drawStart") ||
        type == QLatin1String("drawStop") || type == QLatin1String("drawUpdate") ||
        type == QLatin1String("pointGrid"))
        return "pointGrid";
    return type.toStdString(); // "quad", or a kind without a buffer
}

int DrawVBQML::drawPass(const QString& type)
{
    if (type == QLatin1String("pointGridDraw"))
        return 1;
    if (type == QLatin1String("drawStart"))
        return 2;
    if (type == QLatin1String("drawStop"))
        return 3;
    return 0;
}

QSGNode* DrawVBQML::updatePaintNode(QSGNode* node, UpdatePaintNodeData*)
{
    // Qt Quick may synchronise before the frame has loaded GLEW. Its
    // context is current here, so GLEW loads now; without any context every
    // call below would jump through a null pointer.
    if (gpuReady())
        resolveBuffer();
    return node ? node : new QSGNode();
}

namespace {

bool sameVaryings(const std::vector<Varying>& a, const std::vector<Varying>& b)
{
    if (a.size() != b.size())
        return false;
    for (size_t i = 0; i < a.size(); ++i) {
        if (a[i].type != b[i].type || a[i].name != b[i].name)
            return false;
    }
    return true;
}

} // namespace

void DrawVBQML::resolveBuffer()
{
    const std::string kind = bufferKind(type_);
    const bool isGrid = kind == "pointGrid";
    const std::string key = vboId_.isEmpty()
                                ? kind + std::to_string(gridWidth_) + "x" + std::to_string(gridHeight_)
                                : kind + vboId_.toStdString();
    const bool keyChanged = key != bufferKey_;

    bool lookUp = !vb_ || keyChanged;
    // A buffer this item is leaving belongs to the items that stay on it:
    // its size and flags are theirs.
    if (vb_ && !keyChanged) {
        // The item that declares the varyings owns the grid's layout (its
        // varyings and storage flags); a sharer that declares none, one that
        // only draws the particles, say, leaves them as they are. A grid
        // without varyings is laid out by whichever item asks.
        const bool ownsLayout = !varyings_.empty() || vb_->layoutVaryings.empty();
        bool rebuild = false;
        if ((vb_->gridWidth != gridWidth_ || vb_->gridHeight != gridHeight_) && gridWidth_ != 0 && gridHeight_ != 0)
            rebuild = true;
        if (vb_->seedCount != drawNumPoints_ && drawNumPoints_ != 0)
            rebuild = true;
        if (ownsLayout && (vb_->halfFloats != halfFloats_ || vb_->intPack != intPack_)) {
            vb_->halfFloats = halfFloats_;
            vb_->intPack = intPack_;
            if (halfFloats_)
                qDebug() << "Set half floats to VBO!";
            rebuild = true;
        }
        if (ownsLayout && isGrid && !varyings_.empty() && !sameVaryings(varyings_, vb_->layoutVaryings))
            rebuild = true;
        if (rebuild && isGrid) {
            // An item that shares a grid without giving its size (one that
            // only draws it, say) keeps the grid's size: rebuilding at 0 x 0
            // would throw the shared particles away.
            const int width = gridWidth_ > 0 ? gridWidth_ : vb_->gridWidth;
            const int height = gridHeight_ > 0 ? gridHeight_ : vb_->gridHeight;
            const std::vector<Varying> layout = ownsLayout ? varyings_ : vb_->layoutVaryings;
            if (width > 0 && height > 0)
                createCustomPointGridVBO(*vb_, width, height, drawNumPoints_, true, layout);
            lookUp = false;
        }
    }

    if (lookUp) {
        MeshTable& buffers = gpu().vertexBuffers;
        if (Mesh* cached = buffers.find(key)) {
            vb_ = cached;
            bufferKey_ = key;
        } else if (!isGrid || (gridWidth_ > 0 && gridHeight_ > 0)) {
            bufferKey_ = key;
            Mesh* buffer = buffers.add(key);
            buffer->halfFloats = halfFloats_;
            buffer->intPack = intPack_;
            if (halfFloats_)
                qDebug() << (isGrid ? "Pre-Set half floats to VBO!" : "Pre-Set2 half floats to VBO!");
            if (kind == "quad")
                createCustomQuadVBO(*buffer);
            else if (isGrid)
                createCustomPointGridVBO(*buffer, gridWidth_, gridHeight_, drawNumPoints_, true, varyings_);
            vb_ = buffer;
        }
    }

    if (resetRequested_ && vb_) {
        vb_->resetRequested = true;
        resetRequested_ = false;
    }
}

void DrawVBQML::render(RenderNameListItem* pRNLI)
{
    // Qt synchronises items in reverse declaration order: an item that
    // shares a grid without giving its size is synchronised before the item
    // that makes the grid, and no later synchronisation need come. It keeps
    // looking until the grid is there.
    if (!vb_)
        resolveBuffer();
    if (!vb_)
        return;
    GpuResources& resources = gpu();
    pushDepthState();
    applyBlendMode(blendMode_);
    assignText(effectText_, type_);
    if (polishWanted_) {
        polish();
        polishWanted_ = false;
    }
    // What a capture or a storage-writing draw wrote is read by this pass
    // only after a barrier (transform feedback into vertex input needs
    // none, but its shaders count and store too).
    if (resources.feedback.writesPending) {
        glMemoryBarrier(GL_ALL_BARRIER_BITS);
        resources.feedback.writesPending = false;
    }

    const glm::mat4 view = viewMatrix();
    glm::mat4 mv = view;
    const CameraData* camera = resources.camera.get();
    if (camera)
        mv = withCameraPitchYaw(mv, *camera);
    glm::mat4 m(1.0f);
    const QList<QQuickItem*> children = childItems();
    for (QQuickItem* child : children)
        applyChild(child, mv, m);

    if (clearDepth_)
        glClear(GL_DEPTH_BUFFER_BIT);

    if (Shader* shader = resources.shaders.current()) {
        const glm::mat4 projection = projectionMatrix(camera, demoDisplay().width, demoDisplay().height);
        const glm::mat4 mvInv = glm::inverse(mv);
        const glm::mat4 viewInv = glm::inverse(view);
        const glm::mat4 projectionInv = glm::inverse(projection);
        shader->setUniformMat4("modelMatrix", glm::value_ptr(m));
        shader->setUniformMat4("modelViewMatrix", glm::value_ptr(mv));
        shader->setUniformMat4("modelViewInvMatrix", glm::value_ptr(mvInv));
        shader->setUniformMat4("viewMatrix", glm::value_ptr(view));
        shader->setUniformMat4("viewInvMatrix", glm::value_ptr(viewInv));
        shader->setUniformMat4("projectionMatrix", glm::value_ptr(projection));
        shader->setUniformMat4("projectionInvMatrix", glm::value_ptr(projectionInv));

        selectDrawBuffers(drawBuffers_);
        if (primType_ == QLatin1String("triangles")) {
            for (MeshRecord& record : vb_->records)
                record.primitiveMode = GL_TRIANGLES;
        }
        drawMesh(*vb_, drawPass(type_), resources.feedback, shader);
        if (int(vb_->particleCount) != particleCount_) {
            particleCount_ = int(vb_->particleCount);
            Q_EMIT particleCountChanged(particleCount_);
        }
    }

    // The children draw with the frame's blending, whatever this pass used.
    glEnable(GL_BLEND);
    glBlendFunc(GL_SRC_ALPHA, GL_ONE_MINUS_SRC_ALPHA);
    Q_EMIT rendered();
    renderChildren(pRNLI);
    popDepthState();
}
