#pragma once
// The demo controller ("Rocket"): the QML item through which skenes and the
// shell views reach the demo clock, the sync tracks and the start settings.
// It lives in the item tree, so the frame renders it with the skenes.
#include "items/IEffect.h"

#include <QString>

class RocketQML : public IEffect {
    Q_OBJECT
    // Always 0; its signal fires once a frame after the editors were polled,
    // so bindings that read it are re-evaluated every frame.
    Q_PROPERTY(float syncUpdate READ syncUpdate NOTIFY rocketUpdated)
    Q_PROPERTY(double time READ getTime NOTIFY timeUpdated)
    Q_PROPERTY(float timeStep READ getTimeStepRocket NOTIFY timeStepUpdated)
    Q_PROPERTY(float timeStepReal READ getFrameTimeSmooth NOTIFY timeStepUpdated)
    Q_PROPERTY(bool isPaused READ getIsPaused NOTIFY isPausedUpdated)
    // While live editing waits for an editor: "waiting for sync editor on
    // port <port>" for the first rocket without one; empty otherwise.
    Q_PROPERTY(QString editorStatus READ editorStatus NOTIFY editorStatusChanged)
    // The start dialog's "Errors in the edit view": shader and skene QML
    // errors go to the edit view's list instead of a modal box.
    Q_PROPERTY(bool errorsBesideDemo READ getErrorsBesideDemo WRITE setErrorsBesideDemo NOTIFY
                   errorsBesideDemoChanged)

public:
    explicit RocketQML(QQuickItem* parent = nullptr);

    // It polls the editors, whose changes end a paused demo's idle state.
    bool rendersWhileIdle() const override { return true; }

    QString editorStatus() const { return editorStatus_; }

Q_SIGNALS:
    void timeUpdated();
    void timeStepUpdated();
    void isPausedUpdated();
    void rocketUpdated();
    void resolutionsChanged();
    void rocketsIgnited();
    void fileNotFound(QString fileName, QString skeneName);
    void editorStatusChanged();
    void errorsBesideDemoChanged();

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
    void setErrorsBesideDemo(bool b);
    bool getErrorsBesideDemo();
    void finishIgnite();

    // Start flow: the active skene setup and the sync editors.
    void setActiveSkeneSetup(QString activeSkenesSetupFile);
    void igniteRockets();

    // Effect.
    std::string getEffectName() override;
    void render(RenderNameListItem* pRNLI) override;

    // Tracks, the clock and the editors.
    float sync(const QString& track);
    float syncTrigger(const QString& track);
    void openFile(QString typeName, QString fileName);
    // Opens fileName in Qt Creator at line (1-based; 0 or less: at its top).
    void openFileAtLine(QString fileName, int line);
    void runCommand(QString command);
    void findTrack(QString track);
    void rocketWindowToForeground(QString track);
    void findSkeneStart(QString track);
    void setTrackValue(QString track, float trackValue);
    void setTrackFirstValue(QString track, float trackValue);
    void setTrackTempValue(QString track, float trackValue);
    void clearTrackTempValues();
    int getTrackNumKeys(QString track);
    double getTime();
    bool getIsPaused();
    void setPause(bool bPause);
    float getFrameTime();
    float getFrameTimeSmooth();
    float getTimeStepRocket();
    void update();
    void markDemoLoaded();
    void reload();
    void reloadParticles();
    void markUpdateFrequent();
    void remoteExportAll();
    void saveAll();
    bool fileExists(QString fileName);
    QString path(QString fileName, QString skeneName);
    QString rootPath();

public:
    float syncUpdate() const { return 0.0f; }

private:
    void followEditorStatus();

    QString editorStatus_;
};
