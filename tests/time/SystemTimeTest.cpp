#include "time/SystemTime.h"

#include "support/QtTestApp.h"

#include <QQmlComponent>
#include <QQmlEngine>
#include <gtest/gtest.h>

#include <chrono>
#include <memory>
#include <thread>

namespace {

void sleepMs(int ms)
{
    std::this_thread::sleep_for(std::chrono::milliseconds(ms));
}

TEST(SystemTime, EachObjectStartsAtZeroAndIsMonotonic)
{
    SystemTime early;
    sleepMs(40);
    SystemTime late;
    const float lateAtStart = late.timeMs();
    const float earlyNow = early.timeMs();

    EXPECT_LT(lateAtStart, 10.0f);
    EXPECT_GE(earlyNow, 40.0f);
    EXPECT_GT(earlyNow, late.timeMs() + 30.0f);

    float previous = late.timeMs();
    for (int i = 0; i < 10000; ++i) {
        const float now = late.timeMs();
        ASSERT_GE(now, previous);
        previous = now;
    }
}

TEST(SystemTime, IsCreatableFromQmlInItsOwnModule)
{
    ensureQtApp();
    QQmlEngine engine;
    QQmlComponent component(&engine);
    component.setData("import SystemTime 1.0\nSystemTime {}\n", QUrl());
    std::unique_ptr<QObject> clock(component.create());
    ASSERT_TRUE(clock) << component.errorString().toStdString();
    sleepMs(20);
    const QVariant timeMs = clock->property("timeMs");
    ASSERT_EQ(timeMs.userType(), int(QMetaType::Float));
    EXPECT_GE(timeMs.toFloat(), 20.0f);
}

} // namespace
