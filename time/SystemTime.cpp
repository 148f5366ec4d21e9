#include "time/SystemTime.h"

SystemTime::SystemTime(QObject* parent)
    : QObject(parent)
{
}

float SystemTime::timeMs() const
{
    return float(stopwatch.elapsed_ms());
}
