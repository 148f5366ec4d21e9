#pragma once
// "Camera" / "DemoCamera": becomes the current camera (gpu/Camera.h) for
// everything rendered after it, until another camera renders.
#include "gpu/Camera.h"
#include "items/IEffect.h"

#include <QString>

class CameraQML : public IEffect {
    Q_OBJECT
    Q_PROPERTY(QString effectName READ effectName WRITE setEffectName NOTIFY effectNameChanged)
    Q_PROPERTY(float x MEMBER x_)
    Q_PROPERTY(float y MEMBER y_)
    Q_PROPERTY(float z MEMBER z_)
    Q_PROPERTY(float lookAtX MEMBER lookAtX_)
    Q_PROPERTY(float lookAtY MEMBER lookAtY_)
    Q_PROPERTY(float lookAtZ MEMBER lookAtZ_)
    Q_PROPERTY(float upX MEMBER upX_)
    Q_PROPERTY(float upY MEMBER upY_)
    Q_PROPERTY(float upZ MEMBER upZ_)
    Q_PROPERTY(float pitchLA MEMBER pitchLA_)
    Q_PROPERTY(float yawLA MEMBER yawLA_)
    Q_PROPERTY(float viewAngle MEMBER viewAngle_)

public:
    explicit CameraQML(QQuickItem* parent = nullptr);
    ~CameraQML() override;

    QString effectName() const { return effectName_; }
    void setEffectName(const QString& v);

    // The camera's values as they stand now.
    CameraData values() const;

Q_SIGNALS:
    void effectNameChanged();

public Q_SLOTS:
    std::string getEffectName() override;
    void render(RenderNameListItem* pRNLI) override;

private:
    QString effectName_ = "Camera";
    float x_ = 0.0f, y_ = 0.0f, z_ = -10.0f;
    float lookAtX_ = 0.0f, lookAtY_ = 0.0f, lookAtZ_ = 0.0f;
    float upX_ = 0.0f, upY_ = 1.0f, upZ_ = 0.0f;
    float pitchLA_ = 0.0f;
    float yawLA_ = 0.0f;
    float viewAngle_ = 45.0f;
};
