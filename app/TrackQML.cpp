#include "app/TrackQML.h"

#include "app/AppState.h"
#include "items/QmlText.h"
#include "platform/Installed.h"
#include "sync/Rocket.h"

#include <QDebug>
#include <QMetaProperty>
#include <QVariant>

#include <algorithm>
#include <cmath>
#include <cstdint>

namespace {

// A number as QML stores it in an int property: in range it drops the
// fraction; beyond, it wraps as JavaScript's ToInt32 does.
int qmlInt(double value)
{
    if (!std::isfinite(value))
        return 0;
    if (value > -2147483649.0 && value < 2147483648.0)
        return int(value);
    const double wrapped = std::fmod(std::trunc(value), 4294967296.0);
    return int(uint32_t(int64_t(wrapped)));
}

} // namespace

TrackQML::TrackQML(QObject* parent)
    : QObject(parent)
{
}

TrackQML::~TrackQML()
{
    // The process state may already be gone at exit (the QML engine ends
    // after it); then so is the list.
    if (AppState* s = Installed<AppState>::find()) {
        auto& sources = s->trackSources;
        sources.erase(std::remove(sources.begin(), sources.end(), this), sources.end());
    }
}

void TrackQML::setTarget(const QQmlProperty& property)
{
    target_ = property;
    object_ = property.object();
    index_ = property.index();
    kind_ = Kind::Other;
    // A sub-property of a value type (pos.x) has no meta-object index of its
    // own: QQmlProperty writes it.
    const QMetaProperty meta = object_ ? object_->metaObject()->property(index_) : QMetaProperty();
    if (meta.isValid() && QString::fromLatin1(meta.name()) == property.name()) {
        switch (meta.userType()) {
        case QMetaType::Float:
            kind_ = Kind::Float;
            break;
        case QMetaType::Double:
            kind_ = Kind::Double;
            break;
        case QMetaType::Int:
            kind_ = Kind::Int;
            break;
        case QMetaType::Bool:
            kind_ = Kind::Bool;
            break;
        default:
            break;
        }
    }
    if (AppState* s = Installed<AppState>::find()) {
        auto& sources = s->trackSources;
        if (std::find(sources.begin(), sources.end(), this) == sources.end())
            sources.push_back(this);
    }
    // No write yet: the object is still being made, and the property's
    // declared value may land after this. The controller writes before
    // anything draws, so the first frame shows the track's value.
    invalidate();
}

void TrackQML::setName(const QString& name)
{
    if (name == name_)
        return;
    name_ = name;
    assignText(key_, name);
    reportedNoRocket_ = false;
    invalidate();
    Q_EMIT nameChanged();
    if (Rocket* rocket = Installed<Rocket>::find())
        apply(*rocket, false);
}

void TrackQML::setScale(double scale)
{
    if (scale == scale_)
        return;
    scale_ = scale;
    invalidate();
    Q_EMIT scaleChanged();
    if (Rocket* rocket = Installed<Rocket>::find())
        apply(*rocket, false);
}

void TrackQML::setOffset(double offset)
{
    if (offset == offset_)
        return;
    offset_ = offset;
    invalidate();
    Q_EMIT offsetChanged();
    if (Rocket* rocket = Installed<Rocket>::find())
        apply(*rocket, false);
}

void TrackQML::invalidate()
{
    written_ = false;
}

void TrackQML::follow(Rocket& rocket)
{
    apply(rocket, true);
}

void TrackQML::apply(Rocket& rocket, bool inFrame)
{
    if (kind_ == Kind::None || key_.empty())
        return;
    const float trackValue = rocket.track_value(key_);
    // Only a frame knows: while the skenes load, the rockets may not exist
    // yet.
    if (inFrame && trackValue == 0.0f && !reportedNoRocket_ && !rocket.has_rocket_for(key_)) {
        reportedNoRocket_ = true;
        qWarning().noquote() << QStringLiteral("Track \"%1\": its skene has no rocket; the property stays at 0")
                                    .arg(name_);
    }
    // As a binding computes rocket.sync(name) * scale + offset: in doubles.
    const double value = double(trackValue) * scale_ + offset_;
    if (written_ && value == lastValue_)
        return;
    written_ = true;
    lastValue_ = value;
    write(value);
}

void TrackQML::write(double value)
{
    int status = -1;
    int flags = 0;
    auto metaWrite = [&](void* typed) {
        void* argv[] = {typed, nullptr, &status, &flags};
        QMetaObject::metacall(object_, QMetaObject::WriteProperty, index_, argv);
    };
    switch (kind_) {
    case Kind::Float: {
        float f = float(value);
        metaWrite(&f);
        break;
    }
    case Kind::Double:
        metaWrite(&value);
        break;
    case Kind::Int: {
        int i = qmlInt(value);
        metaWrite(&i);
        break;
    }
    case Kind::Bool: {
        // JavaScript's truth of a number: anything but 0 and NaN.
        bool b = value != 0.0 && !std::isnan(value);
        metaWrite(&b);
        break;
    }
    case Kind::Other:
        target_.write(QVariant(value));
        break;
    case Kind::None:
        break;
    }
}
