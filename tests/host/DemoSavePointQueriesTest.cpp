#include "host/DemoQML.h"

#include "state/FrameState.h"
#include "state/SavePoints.h"

#include "support/FreshState.h"
#include "support/QtTestApp.h"

#include <gtest/gtest.h>

namespace {

struct SavePointQueries : FreshStateTest {
    SavePointQueries() { ensureQtApp(); }
};

SavePointRecord recordWith(float base)
{
    return {{base, base + 1, base + 2}, {base + 10, base + 11, base + 12}, {base + 20, base + 21, base + 22}};
}

} // namespace

TEST_F(SavePointQueries, EachNameIsLookedUpOncePerFrame)
{
    DemoQML demo;
    recordSavePoint("tip", recordWith(1.0f));
    EXPECT_FLOAT_EQ(demo.savePointX("tip"), 1.0f);
    EXPECT_FLOAT_EQ(demo.savePointZ("tip"), 3.0f);
    EXPECT_FLOAT_EQ(demo.savePointY2D("tip"), 12.0f);
    EXPECT_FLOAT_EQ(demo.savePointCZ("tip"), 23.0f);
    EXPECT_FLOAT_EQ(demo.savePointX("nothing here"), 0.0f);

    // A new record reaches the same name only in the next frame; another
    // name is looked up at once.
    recordSavePoint("tip", recordWith(100.0f));
    recordSavePoint("tail", recordWith(50.0f));
    EXPECT_FLOAT_EQ(demo.savePointX2D("tail"), 60.0f);
    EXPECT_FLOAT_EQ(demo.savePointX2D("tail"), 60.0f);
    frameState().savePointQuery.clear(); // what the frame does at its start
    EXPECT_FLOAT_EQ(demo.savePointX("tip"), 100.0f);
}
