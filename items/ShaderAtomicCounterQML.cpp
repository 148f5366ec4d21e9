#include <GL/glew.h>

#include "items/ShaderAtomicCounterQML.h"

#include "gpu/GpuResources.h"

#include <QDebug>
#include <QSGNode>

ShaderAtomicCounterQML::ShaderAtomicCounterQML(QQuickItem* parent)
    : IEffect(parent)
{
    setFlag(QQuickItem::ItemHasContents);
}

void ShaderAtomicCounterQML::setBind(int binding)
{
    if (binding == bind_)
        return;
    bind_ = binding;
    Q_EMIT bindChanged(binding);
}

QSGNode* ShaderAtomicCounterQML::updatePaintNode(QSGNode* node, UpdatePaintNodeData*)
{
    return node ? node : new QSGNode();
}

void ShaderAtomicCounterQML::render(RenderNameListItem* pRNLI)
{
    polish();
    evaluateRocketName();
    const AtomicCounterBuffer& counter = gpu().counters.get(name_);
    if (clear_)
        clearAtomicCounter(counter);

    // A binding the context does not have would raise a GL error at every
    // frame; the draws below then run without the counter.
    GLint bindings = 0;
    glGetIntegerv(GL_MAX_ATOMIC_COUNTER_BUFFER_BINDINGS, &bindings);
    if (bind_ >= 0 && bind_ < bindings) {
        glBindBufferBase(GL_ATOMIC_COUNTER_BUFFER, GLuint(bind_), counter.buffer);
    } else if (!badBindingLogged_) {
        qDebug("ShaderAtomicCounter: binding %d is not one of the %d this context has", bind_, bindings);
        badBindingLogged_ = true;
    }
    renderChildren(pRNLI);
}
