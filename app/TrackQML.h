#pragma once
// "Track", a property value source: `Rot { Track on d { name: "hello.spin" } }`
// makes the property follow a sync track without a script binding. The demo
// controller writes every live source once a frame, after the editors were
// polled and before the items render: the value rocket.sync(name) answers in
// that frame, times scale plus offset, converted as QML converts a number
// for the property's type, and only when it differs from what it wrote last.
//
// A binding costs the QML engine a script evaluation per property per frame;
// a source costs a track look-up and, when the value moved, one property
// write through the meta-object (the target's index is found once).
#include <QObject>
#include <QQmlProperty>
#include <QQmlPropertyValueSource>
#include <QString>

#include <string>

class Rocket;

class TrackQML : public QObject, public QQmlPropertyValueSource {
    Q_OBJECT
    Q_INTERFACES(QQmlPropertyValueSource)
    // A full track name, as rocket.sync takes it: "<skene>.<track>".
    Q_PROPERTY(QString name READ name WRITE setName NOTIFY nameChanged)
    Q_PROPERTY(double scale READ scale WRITE setScale NOTIFY scaleChanged)
    Q_PROPERTY(double offset READ offset WRITE setOffset NOTIFY offsetChanged)

public:
    explicit TrackQML(QObject* parent = nullptr);
    ~TrackQML() override;

    void setTarget(const QQmlProperty& property) override;

    QString name() const { return name_; }
    void setName(const QString& name);
    double scale() const { return scale_; }
    void setScale(double scale);
    double offset() const { return offset_; }
    void setOffset(double offset);

    // The frame's write: the track's value now, when it moved.
    void follow(Rocket& rocket);

Q_SIGNALS:
    void nameChanged();
    void scaleChanged();
    void offsetChanged();

private:
    // How the target takes a number: straight through the meta-object for
    // the types a track drives, else through QQmlProperty's conversions.
    enum class Kind { None, Float, Double, Int, Bool, Other };

    // Writes again on the next frame (a setting changed, or the target).
    void invalidate();
    void apply(Rocket& rocket, bool inFrame);
    void write(double value);

    QString name_;
    std::string key_;
    double scale_ = 1.0;
    double offset_ = 0.0;

    QQmlProperty target_;
    QObject* object_ = nullptr;
    int index_ = -1;
    Kind kind_ = Kind::None;

    bool written_ = false;
    double lastValue_ = 0.0;
    bool reportedNoRocket_ = false;
};
