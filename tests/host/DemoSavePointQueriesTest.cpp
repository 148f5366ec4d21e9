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
    recordSavePoint("tail", recordWith(50.0f));
    const long before = savePointTable().lookups;

    // Every component of both records, asked for in turns, as bindings do.
    EXPECT_FLOAT_EQ(demo.savePointX("tip"), 1.0f);
    EXPECT_FLOAT_EQ(demo.savePointX2D("tail"), 60.0f);
    EXPECT_FLOAT_EQ(demo.savePointZ("tip"), 3.0f);
    EXPECT_FLOAT_EQ(demo.savePointY2D("tip"), 12.0f);
    EXPECT_FLOAT_EQ(demo.savePointCZ("tail"), 72.0f);
    EXPECT_FLOAT_EQ(demo.savePointCZ("tip"), 23.0f);
    EXPECT_EQ(savePointTable().lookups, before + 2);

    // A name nothing was recorded under is 0 for the rest of the frame,
    // even once something is recorded under it.
    EXPECT_FLOAT_EQ(demo.savePointY("nothing here"), 0.0f);
    recordSavePoint("nothing here", recordWith(5.0f));
    recordSavePoint("tip", recordWith(100.0f));
    EXPECT_FLOAT_EQ(demo.savePointCX("nothing here"), 0.0f);
    EXPECT_FLOAT_EQ(demo.savePointX("tip"), 1.0f);
    EXPECT_EQ(savePointTable().lookups, before + 3);

    frameState().savePointQuery.clear(); // what the frame does at its start
    EXPECT_FLOAT_EQ(demo.savePointX("tip"), 100.0f);
    EXPECT_FLOAT_EQ(demo.savePointCX("nothing here"), 25.0f);
    EXPECT_EQ(savePointTable().lookups, before + 5);
}
