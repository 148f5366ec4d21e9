#pragma once
// The demo controller ("Rocket"): the QML item through which skenes and the
// shell views reach the demo clock, the sync tracks and the start settings.
// It lives in the item tree, so the frame renders it with the skenes.
#include "items/IEffect.h"

#include <QString>

class RocketQML : public IEffect {
    Q_OBJECT

public:
    explicit RocketQML(QQuickItem* parent = nullptr);

Q_SIGNALS:
    void timeUpdated();
    void timeStepUpdated();
    void isPausedUpdated();
    void rocketUpdated();
    void resolutionsChanged();
    void rocketsIgnited();
    void fileNotFound(QString fileName, QString skeneName);

public Q_SLOTS:
    // Start flow.
    void startDemo();
    void exitDemo();
    void setEditViewEnabled(bool b);
    void setFullScreen(bool b);
    bool getFullScreen();
    void setRocketEnabled(bool b);
    void setMultiRocketEnabled(bool b);
    void setSelectedResolution(QString resString);
    void finishIgnite();

    // Start flow: the active skene setup and the sync editors.
    void setActiveSkeneSetup(QString activeSkenesSetupFile);
    void igniteRockets();

    // Effect.
    std::string getEffectName() override;
    void render(RenderNameListItem* pRNLI) override;
};
