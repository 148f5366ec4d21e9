#include "sync/track.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <random>
#include <vector>

namespace {

constexpr int32_t Step = int32_t(KeyType::Step);
constexpr int32_t Linear = int32_t(KeyType::Linear);
constexpr int32_t Smooth = int32_t(KeyType::Smooth);
constexpr int32_t Ramp = int32_t(KeyType::Ramp);
constexpr int32_t Spline = int32_t(KeyType::Spline);

// A track that frees its keys with the test.
struct TestTrack {
    SyncTrack track{};
    explicit TestTrack(std::initializer_list<TrackKey> keys)
    {
        for (const TrackKey& k : keys)
            EXPECT_EQ(set_key(&track, k), 0);
    }
    ~TestTrack() { clear_keys(&track); }
    SyncTrack* operator->() { return &track; }
    SyncTrack* get() { return &track; }
};

float hermite(float v0, float v1, float m0, float m1, float t)
{
    const float t2 = t * t, t3 = t2 * t;
    return (2 * t3 - 3 * t2 + 1) * v0 + (t3 - 2 * t2 + t) * m0 + (3 * t2 - 2 * t3) * v1 + (t3 - t2) * m1;
}

} // namespace

TEST(TrackKeys, FindKeyGivesIndexOrComplementOfInsertionPoint)
{
    TestTrack empty({});
    EXPECT_EQ(find_key(empty.get(), 0), -1);
    EXPECT_EQ(key_index_floor(empty.get(), 0), -1);

    TestTrack t({{0, 1.0f, Linear}, {10, 3.0f, Linear}});
    EXPECT_EQ(find_key(t.get(), 0), 0);
    EXPECT_EQ(find_key(t.get(), 10), 1);
    EXPECT_EQ(find_key(t.get(), 5), -2);
    EXPECT_EQ(find_key(t.get(), 11), -3);
    EXPECT_EQ(find_key(t.get(), -1), -1);

    EXPECT_EQ(key_index_floor(t.get(), 5), 0);
    EXPECT_EQ(key_index_floor(t.get(), 10), 1);
    EXPECT_EQ(key_index_floor(t.get(), 11), 1);
    EXPECT_EQ(key_index_floor(t.get(), -1), -1);
}

TEST(TrackValues, EmptyTrackIsZeroAndEndsHoldTheirKeys)
{
    TestTrack empty({});
    EXPECT_EQ(get_value(empty.get(), 0.0), 0.0f);
    EXPECT_EQ(get_value(empty.get(), -7.5), 0.0f);

    TestTrack t({{0, 1.0f, Linear}, {10, 3.0f, Linear}});
    EXPECT_FLOAT_EQ(get_value(t.get(), 5.0), 2.0f);
    EXPECT_FLOAT_EQ(get_value(t.get(), 2.5), 1.5f);
    EXPECT_FLOAT_EQ(get_value(t.get(), -3.0), 1.0f);
    EXPECT_FLOAT_EQ(get_value(t.get(), 10.0), 3.0f);
    EXPECT_FLOAT_EQ(get_value(t.get(), 50.0), 3.0f);
    // Rows far outside the int range clamp instead of overflowing.
    EXPECT_FLOAT_EQ(get_value(t.get(), 1e300), 3.0f);
    EXPECT_FLOAT_EQ(get_value(t.get(), -1e300), 1.0f);
}

TEST(TrackValues, StepRampAndSmoothSegments)
{
    TestTrack step({{0, 1.0f, Step}, {4, 9.0f, Linear}});
    EXPECT_FLOAT_EQ(get_value(step.get(), 0.0), 1.0f);
    EXPECT_FLOAT_EQ(get_value(step.get(), 3.99), 1.0f);
    EXPECT_FLOAT_EQ(get_value(step.get(), 4.0), 9.0f);

    TestTrack ramp({{0, 0.0f, Ramp}, {4, 1.0f, Linear}});
    EXPECT_FLOAT_EQ(get_value(ramp.get(), 2.0), 0.25f);
    EXPECT_FLOAT_EQ(get_value(ramp.get(), 1.0), 0.0625f);

    TestTrack smooth({{0, 0.0f, Smooth}, {4, 1.0f, Linear}});
    EXPECT_FLOAT_EQ(get_value(smooth.get(), 2.0), 0.5f);
    EXPECT_FLOAT_EQ(get_value(smooth.get(), 1.0), 0.15625f); // t*t*(3-2t) at 1/4
}

TEST(TrackValues, LoneSplineSegmentUsesHalfTheRiseAsBothTangents)
{
    TestTrack t({{0, 0.0f, Spline}, {4, 1.0f, Linear}});
    EXPECT_FLOAT_EQ(get_value(t.get(), 2.0), 0.5f);
    // h00*0 + h10*0.5 + h01*1 + h11*0.5 at t = 0.25, not the linear 0.25.
    EXPECT_FLOAT_EQ(get_value(t.get(), 1.0), 0.203125f);
}

TEST(TrackValues, SplineTakesTangentsOnlyFromSplineNeighbours)
{
    // Segment 4..8 (values 1 -> 3), neighbours at 0 (value 0) and 12 (value 2).
    // All Spline: evenly spaced, so Catmull-Rom tangents (3-0)/2 and (2-1)/2.
    TestTrack all({{0, 0.0f, Spline}, {4, 1.0f, Spline}, {8, 3.0f, Spline}, {12, 2.0f, Spline}});
    EXPECT_FLOAT_EQ(get_value(all.get(), 5.0), hermite(1, 3, 1.5f, 0.5f, 0.25f));

    // The next point is taken when the segment's end key is Spline, whatever
    // the type of the key after it.
    TestTrack lastLinear({{0, 0.0f, Spline}, {4, 1.0f, Spline}, {8, 3.0f, Spline}, {12, 2.0f, Linear}});
    EXPECT_FLOAT_EQ(get_value(lastLinear.get(), 5.0), hermite(1, 3, 1.5f, 0.5f, 0.25f));

    // End key not Spline: the next point is the end key itself.
    // drA = 8, dvA = 3, drB = 4, dvB = 2: m0 = 4*3/12, m1 = 8*2/12.
    TestTrack endLinear({{0, 0.0f, Spline}, {4, 1.0f, Spline}, {8, 3.0f, Linear}, {12, 2.0f, Spline}});
    EXPECT_FLOAT_EQ(get_value(endLinear.get(), 5.0), hermite(1, 3, 1.0f, 16.0f / 12.0f, 0.25f));

    // Previous key not Spline: the previous point is the start key itself.
    // drA = 4, dvA = 2, drB = 8, dvB = 1: m0 = 8*2/12, m1 = 4*1/12.
    TestTrack firstLinear({{0, 0.0f, Linear}, {4, 1.0f, Spline}, {8, 3.0f, Spline}, {12, 2.0f, Spline}});
    EXPECT_FLOAT_EQ(get_value(firstLinear.get(), 5.0), hermite(1, 3, 16.0f / 12.0f, 4.0f / 12.0f, 0.25f));
}

TEST(TrackValues, UnknownKeyTypeGivesZeroInsideItsSegmentOnly)
{
    TestTrack t({{0, 5.0f, 7}, {4, 9.0f, -1}, {8, 2.0f, Linear}});
    EXPECT_FLOAT_EQ(get_value(t.get(), -1.0), 5.0f);
    EXPECT_EQ(get_value(t.get(), 1.0), 0.0f);
    EXPECT_EQ(get_value(t.get(), 6.0), 0.0f);
    EXPECT_FLOAT_EQ(get_value(t.get(), 8.0), 2.0f);
}

TEST(TrackValues, HugeRisesAndDamagedKeyOrderGiveNoNaN)
{
    TestTrack huge({{0, -3e38f, Step}, {4, 3e38f, Linear}});
    EXPECT_EQ(get_value(huge.get(), 2.0), -3e38f); // the rise overflows; Step ignores it

    // Keys as a damaged track file may hold them: a repeated and a falling row.
    TestTrack damaged({});
    damaged->keys = static_cast<TrackKey*>(std::malloc(3 * sizeof(TrackKey)));
    damaged->keys[0] = {5, 1.0f, Step};
    damaged->keys[1] = {5, 2.0f, Linear};
    damaged->keys[2] = {3, 4.0f, Spline};
    damaged->num_keys = 3;
    damaged->capacity = 3;
    for (double row : {-1.0, 3.0, 4.5, 5.0, 5.5, 6.0, 100.0})
        EXPECT_FALSE(std::isnan(get_value(damaged.get(), row))) << row;
}

// The value with the key found by find_key's plain binary search: the
// segment's keys and their neighbours alone, with that key remembered, so
// that get_value searches nothing.
float plainValue(const SyncTrack* track, double row)
{
    const int num = track->num_keys;
    if (num == 0)
        return 0.0f;
    int i = find_key(track, int(std::floor(row)));
    if (i == -1)
        return track->keys[0].value;
    if (i < -1)
        i = -i - 2;
    if (i > num - 2)
        return track->keys[num - 1].value;
    const int lo = std::max(0, i - 1);
    SyncTrack segment{};
    segment.keys = track->keys + lo;
    segment.num_keys = std::min(num, i + 3) - lo;
    segment.last_key = i - lo;
    return get_value(&segment, row);
}

TEST(TrackValues, RememberedKeyGivesWhatAPlainSearchGives)
{
    std::mt19937 rng(7);
    std::uniform_int_distribution<int> rows(-20, 420);
    std::uniform_int_distribution<int> types(0, 5); // 5: an unknown type
    std::uniform_real_distribution<float> values(-5.0f, 5.0f);
    TestTrack track({});
    for (int i = 0; i < 60; ++i)
        set_key(track.get(), {rows(rng), values(rng), types(rng)});

    auto expectSame = [&](double row) {
        const float plain = plainValue(track.get(), row);
        const float got = get_value(track.get(), row);
        EXPECT_EQ(std::memcmp(&got, &plain, sizeof got), 0) << "row " << row << ": " << got << " vs " << plain;
    };
    auto sweep = [&] {
        // Forward and backward as playback and scrubbing go, by steps below
        // and above a segment's length, then scattered rows.
        for (double step : {0.2, 3.7, 41.0})
            for (double row = -30.0; row < 440.0; row += step)
                expectSame(row);
        for (double row = 440.0; row > -30.0; row -= 0.7)
            expectSame(row);
        std::uniform_real_distribution<double> any(-30.0, 440.0);
        for (int i = 0; i < 500; ++i)
            expectSame(any(rng));
    };
    sweep();

    // An editor's edits while the track is read: inserts before and after
    // the remembered key, overwrites, deletes down to one key and none.
    for (int round = 0; round < 200; ++round) {
        const double row = rows(rng) + 0.5;
        expectSame(row);
        if (round % 3 == 0 && track->num_keys > 0)
            delete_key(track.get(), track->keys[std::uniform_int_distribution<int>(0, track->num_keys - 1)(rng)].row);
        else
            set_key(track.get(), {int(row) + std::uniform_int_distribution<int>(-2, 2)(rng), values(rng), types(rng)});
        expectSame(row);
        expectSame(row + 0.2);
    }
    sweep();
    while (track->num_keys > 0) {
        delete_key(track.get(), track->keys[0].row);
        expectSame(track->num_keys > 0 ? track->keys[0].row - 1.0 : 0.0);
        expectSame(500.0);
    }
    EXPECT_EQ(get_value(track.get(), 10.0), 0.0f);
}

TEST(TrackKeys, SetKeyInsertsInRowOrderAndOverwritesInPlace)
{
    TestTrack t({});
    EXPECT_EQ(key_count_or_one(t.get()), 1); // content not known yet
    EXPECT_EQ(t->data_received, 0);

    ASSERT_EQ(set_key(t.get(), {10, 1.0f, Linear}), 0);
    EXPECT_EQ(t->data_received, 1);
    EXPECT_EQ(key_count_or_one(t.get()), 1);
    set_key(t.get(), {0, 2.0f, Step});
    set_key(t.get(), {5, 3.0f, Smooth});
    ASSERT_EQ(t->num_keys, 3);
    EXPECT_EQ(t->keys[0].row, 0);
    EXPECT_EQ(t->keys[1].row, 5);
    EXPECT_EQ(t->keys[2].row, 10);
    EXPECT_EQ(key_count_or_one(t.get()), 3);

    set_key(t.get(), {5, 7.0f, Ramp});
    ASSERT_EQ(t->num_keys, 3);
    EXPECT_EQ(t->keys[1].value, 7.0f);
    EXPECT_EQ(t->keys[1].type, Ramp);

    // A known but empty track counts as empty.
    TestTrack known({});
    known->data_received = 1;
    EXPECT_EQ(key_count_or_one(known.get()), 0);
}

TEST(TrackKeys, ManyInsertsStaySortedAndUnique)
{
    TestTrack t({});
    std::mt19937 rng(7);
    std::uniform_int_distribution<int> rows(-5000, 5000);
    std::vector<bool> seen(10001);
    int distinct = 0;
    for (int i = 0; i < 20000; ++i) {
        const int r = rows(rng);
        if (!seen[size_t(r + 5000)]) {
            seen[size_t(r + 5000)] = true;
            ++distinct;
        }
        ASSERT_EQ(set_key(t.get(), {r, float(r), Linear}), 0);
    }
    ASSERT_EQ(t->num_keys, distinct);
    for (int i = 1; i < t->num_keys; ++i)
        ASSERT_LT(t->keys[i - 1].row, t->keys[i].row);
    for (int i = 0; i < t->num_keys; ++i)
        ASSERT_EQ(find_key(t.get(), t->keys[i].row), i);
}

TEST(TrackKeys, DeleteKeyRemovesOnlyTheKeyOnThatRow)
{
    TestTrack t({{0, 1.0f, Linear}, {5, 2.0f, Linear}, {10, 3.0f, Linear}});
    delete_key(t.get(), 7); // no key there
    ASSERT_EQ(t->num_keys, 3);
    delete_key(t.get(), 5);
    ASSERT_EQ(t->num_keys, 2);
    EXPECT_EQ(t->keys[0].row, 0);
    EXPECT_EQ(t->keys[1].row, 10);
    delete_key(t.get(), 10);
    delete_key(t.get(), 0);
    EXPECT_EQ(t->num_keys, 0);
    delete_key(t.get(), 0);
    EXPECT_EQ(t->num_keys, 0);
    EXPECT_EQ(get_value(t.get(), 3.0), 0.0f);
}

TEST(TrackKeys, KeyAtOrBeforeClampsToFirstAndLastKey)
{
    TestTrack empty({});
    int row = 1234;
    EXPECT_EQ(key_at_or_before(empty.get(), 5, &row), 0);
    EXPECT_EQ(row, 1234);

    TestTrack t({{4, 1.0f, Step}, {8, 2.0f, Step}, {12, 3.0f, Step}});
    EXPECT_EQ(key_at_or_before(t.get(), 0, &row), 0);
    EXPECT_EQ(row, 4);
    EXPECT_EQ(key_at_or_before(t.get(), 9, &row), 1);
    EXPECT_EQ(row, 8);
    EXPECT_EQ(key_at_or_before(t.get(), 8, &row), 1);
    EXPECT_EQ(row, 8);
    EXPECT_EQ(key_at_or_before(t.get(), 12, &row), 2);
    EXPECT_EQ(row, 12);
    EXPECT_EQ(key_at_or_before(t.get(), 100, &row), 2);
    EXPECT_EQ(row, 12);
}

TEST(TrackSet, TracksAreFoundByExactNameAndKeepTheirIndex)
{
    SyncTrackSet set{};
    EXPECT_EQ(find_track(&set, "a.x"), -1);
    EXPECT_EQ(create_track(&set, "a.x"), 0);
    EXPECT_EQ(create_track(&set, "a.y"), 1);
    SyncTrack* first = set.tracks[0];
    EXPECT_EQ(first->num_keys, 0);
    EXPECT_EQ(first->data_received, 0);
    EXPECT_EQ(first->keys, nullptr);

    for (int i = 0; i < 500; ++i)
        create_track(&set, ("b.t" + std::to_string(i)).c_str());
    EXPECT_EQ(set.tracks[0], first); // growing the set does not move tracks
    EXPECT_EQ(find_track(&set, "a.y"), 1);
    EXPECT_EQ(find_track(&set, "b.t499"), 501);
    EXPECT_EQ(find_track(&set, "A.x"), -1);
    EXPECT_EQ(find_track(&set, "a.x "), -1);
    EXPECT_EQ(find_track(&set, "a."), -1);
    track_set_free(&set);
    EXPECT_EQ(set.num_tracks, 0);
}

TEST(RowClock, DefaultRateAndConversions)
{
    const double rate = sync_row_rate(sync_default_bpm, sync_default_rows_per_beat);
    EXPECT_NEAR(rate, 11.7333333, 1e-6);
    EXPECT_NEAR(sync_row_to_seconds(1.0, sync_default_bpm, sync_default_rows_per_beat), 0.0852273, 1e-6);
    EXPECT_NEAR(sync_seconds_to_row(12.5, sync_default_bpm, sync_default_rows_per_beat), 146.666667, 1e-5);
    EXPECT_NEAR(sync_row_to_seconds(sync_seconds_to_row(3.25, 120.0f, 4), 120.0f, 4), 3.25, 1e-12);
}
