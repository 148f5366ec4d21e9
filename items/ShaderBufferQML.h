#pragma once
// "ShaderBuffer": a named node for the shader storage that the draws below
// it use. It carries its name as its effect text and renders its children.
#include "items/IEffect.h"

#include <QString>

class ShaderBufferQML : public IEffect {
    Q_OBJECT
    // Shadows the effect's name for QML: a plain store, without a signal.
    Q_PROPERTY(QString name READ bufferName WRITE setBufferName)

public:
    explicit ShaderBufferQML(QQuickItem* parent = nullptr);

    QString bufferName() const { return bufferName_; }
    void setBufferName(const QString& name) { bufferName_ = name; }

public Q_SLOTS:
    std::string getEffectName() override { return "ShaderBuffer"; }
    void render(RenderNameListItem* pRNLI) override;

protected:
    QSGNode* updatePaintNode(QSGNode* node, UpdatePaintNodeData* data) override;

private:
    QString bufferName_;
};
