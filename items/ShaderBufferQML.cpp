#include "items/ShaderBufferQML.h"

#include "items/QmlText.h"

#include <QSGNode>

ShaderBufferQML::ShaderBufferQML(QQuickItem* parent)
    : IEffect(parent)
{
    setFlag(QQuickItem::ItemHasContents);
}

QSGNode* ShaderBufferQML::updatePaintNode(QSGNode* node, UpdatePaintNodeData*)
{
    return node ? node : new QSGNode();
}

void ShaderBufferQML::render(RenderNameListItem* pRNLI)
{
    polish();
    assignText(effectText_, bufferName_);
    renderChildren(pRNLI);
}
