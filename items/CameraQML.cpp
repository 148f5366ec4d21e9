#include "items/CameraQML.h"

#include "gpu/GpuResources.h"

CameraQML::CameraQML(QQuickItem* parent)
    : IEffect(parent)
{
    setFlag(QQuickItem::ItemHasContents);
}

CameraQML::~CameraQML()
{
    // A skene may outlive the frame host's resources (a view torn down).
    if (GpuResources* resources = currentGpuResources())
        resources->camera.forget(this);
}

void CameraQML::setEffectName(const QString& v)
{
    if (v == effectName_)
        return;
    effectName_ = v;
    Q_EMIT effectNameChanged();
}

CameraData CameraQML::values() const
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
    gpu().camera.set(this, values());
    renderChildren(pRNLI);
}
