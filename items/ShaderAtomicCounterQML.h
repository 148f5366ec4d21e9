#pragma once
// "ShaderAtomicCounter": gives the draws below it a 32-bit atomic counter
// at a binding point (the layout binding of the GLSL atomic_uint). The
// counter belongs to the item's name: every item with that name, in any
// skene, counts in the same buffer. With clear, the counter starts from 0
// at each of the item's renders; without, it keeps counting across frames.
#include "items/IEffect.h"

class ShaderAtomicCounterQML : public IEffect {
    Q_OBJECT
    Q_PROPERTY(int bind READ bind WRITE setBind NOTIFY bindChanged)
    Q_PROPERTY(bool clear MEMBER clear_)

public:
    explicit ShaderAtomicCounterQML(QQuickItem* parent = nullptr);

    int bind() const { return bind_; }
    void setBind(int binding);

Q_SIGNALS:
    void bindChanged(int bind);

public Q_SLOTS:
    std::string getEffectName() override { return "ShaderAtomicCounter"; }
    void render(RenderNameListItem* pRNLI) override;

protected:
    QSGNode* updatePaintNode(QSGNode* node, UpdatePaintNodeData* data) override;

private:
    int bind_ = 0;
    bool clear_ = false;
    bool badBindingLogged_ = false;
};
