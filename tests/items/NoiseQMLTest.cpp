#include "items/NoiseQML.h"

#include "sync/Rocket.h"
#include "time/Music.h"
#include "time/TimeState.h"

#include "support/FreshState.h"
#include "support/ProbeEffect.h"

#include <gtest/gtest.h>

#include <QSignalSpy>

#include <cmath>
#include <memory>

namespace {

// The demo clock held by the editor's cursor: paused on a row, as after a
// row change from a sync editor. A music object must exist for the clock to
// run; it need not have anything loaded.
struct NoiseItem : FreshStateTest {
    NoiseItem()
    {
        timeState().music = std::make_unique<Music>();
        Rocket::instance().scrubbing = true;
    }
    static void atRow(int row) { Rocket::instance().prev_row = row; }
};

TEST_F(NoiseItem, FollowsTheDemoClockAndReplaysForTheSameSeed)
{
    NoiseQML a, b, other;
    for (NoiseQML* n : {&a, &b, &other}) {
        n->setFreq(2.0f);
        n->setInterpolation(NoiseSignal::None);
    }
    a.setSeed(9);
    b.setSeed(9);
    other.setSeed(10);
    auto* probe = new ProbeEffect;
    probe->setParentItem(&a);

    int changes = 0;
    bool differed = false;
    float previous = 0.0f;
    for (int row = 0; row < 60; ++row) {
        atRow(row);
        for (NoiseQML* n : {&a, &b, &other})
            n->render(nullptr);
        ASSERT_EQ(a.value(), b.value()) << "row " << row;
        differed = differed || a.value() != other.value();
        // A new value exactly when the row's time enters a new 500 ms period.
        const Rocket& rocket = Rocket::instance();
        const double ms = rocket.demo_seconds() * 1000.0;
        const double before = sync_row_to_seconds(row - 1, rocket.bpm, rocket.rows_per_beat) * 1000.0;
        if (row > 0) {
            EXPECT_EQ(a.value() != previous, std::floor(ms / 500.0) != std::floor(before / 500.0)) << "row " << row;
            changes += a.value() != previous;
        }
        previous = a.value();

        // Frames while the clock stands still change nothing.
        a.render(nullptr);
        ASSERT_EQ(a.value(), previous);
    }
    EXPECT_EQ(changes, 10); // 59 rows are 5.03 s
    EXPECT_TRUE(differed);
    EXPECT_EQ(probe->renders, 120);
}

TEST_F(NoiseItem, ANewSeedRestartsTheWindowFromItsSequence)
{
    NoiseQML noise;
    QSignalSpy seeds(&noise, &NoiseQML::seedChanged);
    // Until a seed is set the window holds zeros: -1 at the bottom.
    noise.render(nullptr);
    EXPECT_EQ(noise.value(), -1.0f);
    noise.setSeed(0); // the value it has: nothing happens
    EXPECT_EQ(seeds.count(), 0);
    EXPECT_EQ(noise.signal().window[1], 0u);

    noise.setSeed(-3);
    EXPECT_EQ(seeds.count(), 1);
    Mt19937 reference(uint32_t(-3));
    for (uint32_t r : noise.signal().window)
        EXPECT_EQ(r, reference.draw());
    noise.render(nullptr);
    EXPECT_EQ(noise.value(), noiseUnit(noise.signal().window[1]));

    // No period: the value holds.
    noise.setFreq(0.0f);
    atRow(100);
    noise.render(nullptr);
    EXPECT_EQ(noise.value(), noiseUnit(noise.signal().window[1]));
}

} // namespace
