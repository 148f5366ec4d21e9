#pragma once
// The Qt application object for tests that need one (each test case runs in
// its own process, so one per process is enough).
class QApplication;

// Creates the application on first use with the settings the program uses
// (basic render loop, 4.5 compatibility default format).
QApplication& ensureQtApp();

// Runs the event loop until pred() holds or timeoutMs passes; returns pred().
template <typename Pred>
bool waitUntil(Pred pred, int timeoutMs = 5000);

#include <QCoreApplication>
#include <QElapsedTimer>

template <typename Pred>
bool waitUntil(Pred pred, int timeoutMs)
{
    QElapsedTimer t;
    t.start();
    while (!pred() && t.elapsed() < timeoutMs)
        QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
    return pred();
}
