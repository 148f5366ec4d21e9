#pragma once
// "ShaderParam": sets one named uniform of the current shader from QML,
// usually bound to a sync track.
#include "items/Vec4Text.h"

#include <QQuickItem>
#include <QString>

class ShaderParamQML : public QQuickItem {
    Q_OBJECT
    Q_PROPERTY(QString paramName MEMBER paramName)
    Q_PROPERTY(float paramValue MEMBER paramValue)
    Q_PROPERTY(QString paramValueVec4 MEMBER paramValueVec4)

public:
    explicit ShaderParamQML(QQuickItem* parent = nullptr) : QQuickItem(parent) {}

    // Sets the uniform on the current shader (nothing when none is current).
    void applyToCurrentShader() const;

    QString paramName;
    float paramValue = 0.0f;
    QString paramValueVec4; // when not empty, a vec4 uniform is set from it

private:
    // The 8-bit name (assignText keeps an unchanged one in place) and the
    // parsed vector, made again only when QML has written a different text:
    // the frame sets the uniform every time.
    mutable std::string nameText_;
    mutable QString vec4Seen_;
    mutable std::array<float, 4> vec4_{};
};
