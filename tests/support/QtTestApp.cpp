#include "support/QtTestApp.h"

#include "app/QmlTypes.h"
#include "app/SurfaceFormat.h"
#include "support/TestCache.h"

#include <QApplication>
#include <QSurfaceFormat>

QApplication& ensureQtApp()
{
    static int argc = 1;
    static char name[] = "tarvonic-test";
    static char* argv[] = {name, nullptr};
    static QApplication* app = [] {
        isolateUserCache();
        qputenv("QSG_RENDER_LOOP", "basic");
        QSurfaceFormat::setDefaultFormat(app::demoSurfaceFormat(QSurfaceFormat(), 1));
        auto* a = new QApplication(argc, argv);
        app::registerQmlTypes();
        return a;
    }();
    return *app;
}
