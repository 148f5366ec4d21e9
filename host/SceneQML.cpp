#include "host/SceneQML.h"

#include <QDebug>
#include <QVariant>

#include <cstdint>

SceneQML::SceneQML(QQuickItem* parent)
    : IEffect(parent)
{
    setFlag(QQuickItem::ItemHasContents);
    qDebug() << "Making new skene:";
    qDebug("Making new skene:%llu", static_cast<unsigned long long>(reinterpret_cast<uintptr_t>(this)));
}

SceneQML::~SceneQML()
{
    qDebug("Destructor of skene:%llu", static_cast<unsigned long long>(reinterpret_cast<uintptr_t>(this)));
}

void SceneQML::setSceneEnabled(bool b)
{
    sceneEnabled_ = b;
    Q_EMIT sceneEnabledChanged(b);
}

std::string SceneQML::getEffectName()
{
    return "Scene";
}

void SceneQML::render(RenderNameListItem* pRNLI)
{
    if (!isEnabled())
        return;
    const QString sceneName = property("sceneName").toString();
    assignText(effectText_, sceneName);
    Q_EMIT setSceneName(sceneName);
    renderChildren(pRNLI);
}
