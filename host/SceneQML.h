#pragma once
// Root item of one skene file ("Scene"): an effect that the author switches
// on and off as a whole with sceneEnabled, and that announces its skene name
// every time it renders.
#include "items/IEffect.h"

#include <QString>

class SceneQML : public IEffect {
    Q_OBJECT
    Q_PROPERTY(bool sceneEnabled READ sceneEnabled WRITE setSceneEnabled NOTIFY sceneEnabledChanged)

public:
    explicit SceneQML(QQuickItem* parent = nullptr);
    ~SceneQML() override;

    bool sceneEnabled() const { return sceneEnabled_; }
    // Stores and emits sceneEnabledChanged, also when the value is the same:
    // QML that toggles a skene relies on hearing every write.
    void setSceneEnabled(bool b);
    bool switchedOn() const override { return sceneEnabled_; }

Q_SIGNALS:
    void sceneEnabledChanged(bool b);
    void setSceneName(QString sn);

public Q_SLOTS:
    std::string getEffectName() override;
    // While enabled: takes the "sceneName" property that the skene loader
    // set as the effect text, emits setSceneName and renders the children.
    void render(RenderNameListItem* pRNLI) override;

protected:
    bool event(QEvent* e) override;

private:
    // The "sceneName" that the skene's QML declares or the loader set.
    QString sceneNameValue() const;
    QString dynamicSceneName_;
    bool sceneEnabled_ = false;
};
