#pragma once
// "DrawVB": draws a procedural vertex buffer with the current shader, either
// the unit quad (full-screen passes) or a point grid, whose particles live in
// transform feedback buffers. Its type picks the buffer and the particle
// pass; a shared vboId lets one item update the particles another draws.
#include <GL/glew.h>

#include "gpu/Varyings.h"
#include "items/IDrawEffect.h"

#include <QString>

#include <string>
#include <vector>

struct Mesh;

class DrawVBQML : public IDrawEffect {
    Q_OBJECT
    Q_PROPERTY(QString type READ type WRITE setType NOTIFY typeChanged)
    Q_PROPERTY(QString blendMode READ blendMode WRITE setBlendMode)
    Q_PROPERTY(QString primType READ primType WRITE setPrimType NOTIFY primTypeChanged)
    Q_PROPERTY(int gridWidth READ gridWidth WRITE setGridWidth NOTIFY gridWidthChanged)
    Q_PROPERTY(int gridHeight READ gridHeight WRITE setGridHeight NOTIFY gridHeightChanged)
    Q_PROPERTY(int drawNumPoints READ drawNumPoints WRITE setDrawNumPoints NOTIFY drawNumPointsChanged)
    Q_PROPERTY(bool halfFloats MEMBER halfFloats_)
    Q_PROPERTY(bool intPack MEMBER intPack_)
    Q_PROPERTY(QString vboId READ vboId WRITE setVboId NOTIFY vboIdChanged)
    Q_PROPERTY(float reset READ reset WRITE setReset NOTIFY resetChanged)
    Q_PROPERTY(QString tfVaryings READ tfVaryings WRITE setTfVaryings NOTIFY tfVaryingsChanged)
    Q_PROPERTY(int particleCount READ particleCount NOTIFY particleCountChanged)
    Q_PROPERTY(int drawBuffers MEMBER drawBuffers_)

public:
    explicit DrawVBQML(QQuickItem* parent = nullptr);

    QString type() const { return type_; }
    void setType(const QString& type);
    QString blendMode() const { return blendMode_; }
    void setBlendMode(const QString& mode);
    QString primType() const { return primType_; }
    void setPrimType(const QString& type);
    int gridWidth() const { return gridWidth_; }
    void setGridWidth(int width);
    int gridHeight() const { return gridHeight_; }
    void setGridHeight(int height);
    int drawNumPoints() const { return drawNumPoints_; }
    void setDrawNumPoints(int count);
    QString vboId() const { return vboId_; }
    void setVboId(const QString& id);
    float reset() const { return reset_; }
    void setReset(float value);
    QString tfVaryings() const { return tfVaryings_; }
    void setTfVaryings(const QString& text);
    int particleCount() const { return particleCount_; }

    // The shared buffer, or null until resolved.
    Mesh* vertexBuffer() const { return vb_; }
    const std::string& bufferKey() const { return bufferKey_; }

    // The buffer kind ("pointGrid", "quad" or the type itself) and the
    // particle pass of a type.
    static std::string bufferKind(const QString& type);
    static int drawPass(const QString& type);

Q_SIGNALS:
    void typeChanged(QString type);
    void primTypeChanged(QString primType);
    void gridWidthChanged(int gridWidth);
    void gridHeightChanged(int gridHeight);
    void drawNumPointsChanged(int drawNumPoints);
    void vboIdChanged(QString vboId);
    void resetChanged(float reset);
    void tfVaryingsChanged(QString tfVaryings);
    void particleCountChanged(int particleCount);
    void rendered();

public Q_SLOTS:
    std::string getEffectName() override;
    void render(RenderNameListItem* pRNLI) override;
    // Asks the buffer for a new particle seed at the next synchronisation.
    void resetParticles();
    // Accepted for symmetry with DrawMesh; a DrawVB always draws.
    void triggerRenderOnce();

protected:
    QSGNode* updatePaintNode(QSGNode* node, UpdatePaintNodeData* data) override;

private:
    void resolveBuffer();

    QString type_;
    QString blendMode_;
    QString primType_;
    int gridWidth_ = 0;
    int gridHeight_ = 0;
    int drawNumPoints_ = 0;
    bool halfFloats_ = false;
    bool intPack_ = false;
    QString vboId_;
    float reset_ = 0.0f;
    QString tfVaryings_;
    std::vector<Varying> varyings_;
    int particleCount_ = 0;
    int drawBuffers_ = 3;

    Mesh* vb_ = nullptr; // owned by the vertex-buffer table
    std::string bufferKey_;
    bool resetRequested_ = false;
    // A property changed since the last render asked for a polish pass.
    bool polishWanted_ = true;
};
