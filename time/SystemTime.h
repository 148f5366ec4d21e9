#pragma once
// The high-resolution clock as a QML type: "SystemTime" 1.0 in its own module
// "SystemTime". Each object counts from its own creation.
#include "time/Stopwatch.h"

#include <QObject>

class SystemTime : public QObject {
    Q_OBJECT
    // Milliseconds since this object was created. Read it when needed: the
    // notify signal exists for QML's sake and is never emitted, so a binding
    // to timeMs does not re-evaluate by itself.
    Q_PROPERTY(float timeMs READ timeMs NOTIFY timeMsChanged)

public:
    explicit SystemTime(QObject* parent = nullptr);

    float timeMs() const;

Q_SIGNALS:
    void timeMsChanged();

private:
    Stopwatch stopwatch;
};
