#include "items/NoiseQML.h"

#include "state/FrameState.h"
#include "sync/Rocket.h"
#include "time/Music.h"
#include "time/TimeState.h"

#include "support/FreshState.h"

#include <gtest/gtest.h>

#include <memory>

namespace {

// Two items with one seed agree frame by frame and hold while the clock
// stands. The demo clock is held on a row, as after a row change from a sync
// editor while paused; a music object must exist for it to run.
TEST(NoiseItem, FollowsTheDemoClockAndReplaysForTheSameSeed)
{
    resetProcessState();
    timeState().music = std::make_unique<Music>();
    Rocket& rocket = Rocket::instance();

    NoiseQML a, b, other;
    EXPECT_EQ((a.render(nullptr), a.value()), -1.0f); // no seed yet: a window of zeros
    for (NoiseQML* n : {&a, &b, &other})
        n->setFreq(2.0f);
    a.setSeed(9);
    b.setSeed(9);
    other.setSeed(10);

    int changes = 0;
    bool differed = false;
    float previous = 0.0f;
    for (int row = 0; row < 60; ++row) {
        rocket.on_set_row(row); // paused: the editor scrubs the clock to the row
        rocket.publish_time(frameState().time);
        for (NoiseQML* n : {&a, &b, &other})
            n->render(nullptr);
        ASSERT_EQ(a.value(), b.value()) << "row " << row;
        differed = differed || a.value() != other.value();
        changes += row > 0 && a.value() != previous;
        previous = a.value();
        a.render(nullptr); // the clock stands still: nothing changes
        ASSERT_EQ(a.value(), previous);
    }
    EXPECT_EQ(changes, 10); // one per 500 ms: 59 rows are 5.03 s
    EXPECT_TRUE(differed);
}

// An interpolation outside the table holds the value; its clock runs on, so
// that once switched back the item shows what one that never left shows.
TEST(NoiseItem, AnInterpolationOutsideTheTableHoldsTheValueButNotTheClock)
{
    resetProcessState();
    timeState().music = std::make_unique<Music>();
    Rocket& rocket = Rocket::instance();

    NoiseQML steady, switched;
    for (NoiseQML* n : {&steady, &switched}) {
        n->setFreq(2.0f);
        n->setSeed(3);
        n->setInterpolation(1);
    }
    switched.setInterpolation(7);
    float held = 0.0f;
    for (int row = 0; row < 40; ++row) {
        rocket.on_set_row(row);
        rocket.publish_time(frameState().time);
        steady.render(nullptr);
        switched.render(nullptr);
        if (row == 0)
            held = switched.value();
        ASSERT_EQ(switched.value(), held) << "row " << row;
    }
    switched.setInterpolation(1);
    for (int row = 40; row < 50; ++row) {
        rocket.on_set_row(row);
        rocket.publish_time(frameState().time);
        steady.render(nullptr);
        switched.render(nullptr);
        ASSERT_EQ(switched.value(), steady.value()) << "row " << row;
    }
}

} // namespace
