#include "host/SceneQML.h"

#include "items/QmlText.h"

#include <QDebug>
#include <QEvent>
#include <QMetaProperty>
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

QString SceneQML::sceneNameValue() const
{
    const QMetaObject* meta = metaObject();
    const int index = meta->indexOfProperty("sceneName");
    if (index >= 0)
        return meta->property(index).read(this).toString();
    return dynamicSceneName_;
}

bool SceneQML::event(QEvent* e)
{
    // The loader gives the skene its name as a dynamic property. Reading
    // one builds a byte array for its name, every frame; keep its value as
    // it is set instead.
    if (e->type() == QEvent::DynamicPropertyChange &&
        static_cast<QDynamicPropertyChangeEvent*>(e)->propertyName() == "sceneName")
        dynamicSceneName_ = property("sceneName").toString();
    return IEffect::event(e);
}

void SceneQML::render(RenderNameListItem* pRNLI)
{
    if (!isEnabled())
        return;
    const QString sceneName = sceneNameValue();
    assignText(effectText_, sceneName);
    Q_EMIT setSceneName(sceneName);
    renderChildren(pRNLI);
}
