#include "items/CameraQML.h"

namespace {

// The current camera is a copy taken at render time plus the item it came
// from, so that destroying that item clears it.
struct CurrentCamera {
    const CameraQML* owner = nullptr;
    CameraData data;
};

CurrentCamera& current()
{
    static CurrentCamera camera;
    return camera;
}

} // namespace

const CameraData* currentCamera()
{
    return current().owner ? &current().data : nullptr;
}

void resetCurrentCamera()
{
    current() = CurrentCamera();
}

CameraQML::CameraQML(QQuickItem* parent)
    : IEffect(parent)
{
    setFlag(QQuickItem::ItemHasContents);
}

CameraQML::~CameraQML()
{
    if (current().owner == this)
        current().owner = nullptr;
}

void CameraQML::setEffectName(const QString& v)
{
    if (v == effectName_)
        return;
    effectName_ = v;
    Q_EMIT effectNameChanged();
}

CameraData CameraQML::data() const
{
    CameraData d;
    d.x = x_;
    d.y = y_;
    d.z = z_;
    d.lookAtX = lookAtX_;
    d.lookAtY = lookAtY_;
    d.lookAtZ = lookAtZ_;
    d.upX = upX_;
    d.upY = upY_;
    d.upZ = upZ_;
    d.pitchLA = pitchLA_;
    d.yawLA = yawLA_;
    d.viewAngle = viewAngle_;
    return d;
}

std::string CameraQML::getEffectName()
{
    return effectName_.toStdString();
}

void CameraQML::render(RenderNameListItem* pRNLI)
{
    evaluateRocketName();
    current().owner = this;
    current().data = data();
    renderChildren(pRNLI);
}
