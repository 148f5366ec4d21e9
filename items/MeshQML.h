#pragma once
// "DrawMesh": draws one mesh file with the current shader. Per frame it sets
// blending and the depth state, builds the view from the current camera,
// applies its transform children, hands the standard matrices to the shader
// and draws, then renders its effect children with its depth state still in
// force. Meshes are shared through the mesh cache, keyed by the file name and
// the import options.
#include <GL/glew.h>

#include "gpu/Varyings.h"
#include "items/IDrawEffect.h"

#include <glm/mat4x4.hpp>

#include <QString>

#include <string>
#include <vector>

struct Mesh;
class MeshTable;

class MeshQML : public IDrawEffect {
    Q_OBJECT
    Q_PROPERTY(QString file READ file WRITE setFile)
    Q_PROPERTY(QString blendMode READ blendMode WRITE setBlendMode)
    Q_PROPERTY(bool cull MEMBER cull_)
    Q_PROPERTY(bool cullBack MEMBER cullBack_)
    Q_PROPERTY(bool smoothNormals MEMBER smoothNormals_)
    Q_PROPERTY(bool flipNormals MEMBER flipNormals_)
    Q_PROPERTY(float normalSmoothAngle MEMBER normalSmoothAngle_)
    Q_PROPERTY(bool halfFloats MEMBER halfFloats_)
    Q_PROPERTY(bool intPack MEMBER intPack_)
    Q_PROPERTY(bool autoScale MEMBER autoScale_)
    Q_PROPERTY(bool autoCenter MEMBER autoCenter_)
    Q_PROPERTY(QString instanceVBO MEMBER instanceVBO_)
    Q_PROPERTY(int instanceCount MEMBER instanceCount_)
    Q_PROPERTY(QString tfVaryings READ tfVaryings WRITE setTfVaryings NOTIFY tfVaryingsChanged)
    Q_PROPERTY(int drawBuffers MEMBER drawBuffers_)
    Q_PROPERTY(bool useYaw MEMBER useYaw_)
    Q_PROPERTY(bool triggeredRender MEMBER triggeredRender_)

public:
    explicit MeshQML(QQuickItem* parent = nullptr);

    QString file() const { return file_; }
    void setFile(const QString& file);
    QString blendMode() const { return blendMode_; }
    void setBlendMode(const QString& mode);
    QString tfVaryings() const { return tfVaryings_; }
    // Always stores, parses and notifies.
    void setTfVaryings(const QString& text);

    // The shared mesh, or null before the first resolution with a file.
    Mesh* mesh() const { return mesh_; }

    // The mesh cache key: the file, then "_m_bSmoothNormals", "m_bFlipNormals",
    // "m_bHalf", "m_bPack" (half floats packed into integers), "m_bAC",
    // "m_bAS" for the options that are on, then the angle as "sa%3.2f".
    static std::string meshCacheKey(const std::string& file, bool smoothNormals, bool flipNormals,
                                    bool halfFloats, bool intPack, bool autoCenter, bool autoScale,
                                    float normalSmoothAngle);

Q_SIGNALS:
    void tfVaryingsChanged(QString tfVaryings);
    void rendered();

public Q_SLOTS:
    std::string getEffectName() override;
    void render(RenderNameListItem* pRNLI) override;
    // Lets exactly one following render of a triggeredRender item draw.
    void triggerRenderOnce();

protected:
    QSGNode* updatePaintNode(QSGNode* node, UpdatePaintNodeData* data) override;

private:
    void resolveMesh();
    void drawWithMatrices(const glm::mat4& view, const glm::mat4& mv, const glm::mat4& m);
    // The point grid "pointGrid" + instanceVBO among the vertex buffers, or
    // null while it is not there.
    const Mesh* instanceGrid(const MeshTable& buffers);

    QString file_;
    QString blendMode_;
    bool cull_ = false;
    bool cullBack_ = false;
    bool smoothNormals_ = false;
    bool flipNormals_ = false;
    float normalSmoothAngle_ = 175.0f;
    bool halfFloats_ = false;
    bool intPack_ = false;
    bool autoScale_ = true;
    bool autoCenter_ = true;
    QString instanceVBO_;
    int instanceCount_ = 0;
    QString tfVaryings_;
    std::vector<Varying> varyings_;
    int drawBuffers_ = 3;
    bool useYaw_ = true;
    bool triggeredRender_ = false;

    Mesh* mesh_ = nullptr; // owned by the mesh table
    std::string meshKey_;
    // The instance grid found last and the name it was found under; the
    // name and the key are converted into kept buffers, never allocated
    // per frame.
    const Mesh* instanceGrid_ = nullptr;
    std::string instanceGridName_;
    std::string instanceName_;
    std::string instanceKey_;
    glm::mat4 prevModelMatrix_{1.0f};
    bool prevModelValid_ = false;
    bool renderOncePending_ = false;
};
