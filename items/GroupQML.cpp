#include "items/GroupQML.h"

GroupQML::GroupQML(QQuickItem* parent)
    : IEffect(parent)
{
    setFlag(QQuickItem::ItemHasContents);
}

void GroupQML::render(RenderNameListItem* pRNLI)
{
    if (isEnabled())
        renderChildren(pRNLI);
}
