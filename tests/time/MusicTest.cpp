#include "time/Music.h"

#include "support/LogCapture.h"
#include "support/TempDemo.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <set>
#include <string>
#include <thread>
#include <vector>

namespace {

// The test track (tools/make-test-music), encoded at 44.1 kHz: 0-2 s a sine
// of 861.3 Hz left and 1722.7 Hz right, amplitude 0.5; 2-6 s a sweep from
// 200 Hz rising 1000 Hz per second on both channels. The output plays it at
// 48 kHz, where a bin of the 2048-sample window is 23.4 Hz wide.
constexpr double kBinHz = 48000.0 / 2048.0;
constexpr double kLeftHz = 40 * 44100.0 / 2048.0;
constexpr double kRightHz = 80 * 44100.0 / 2048.0;

std::string testDataBytes(const std::string& name)
{
    std::ifstream in(std::string(TARVONIC_TEST_DATA) + "/" + name, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
}

std::string testMusicBytes()
{
    return testDataBytes("test_music.mp3");
}

float peakOf(const std::vector<float>& bins)
{
    return *std::max_element(bins.begin(), bins.end());
}

void sleepMs(int ms)
{
    std::this_thread::sleep_for(std::chrono::milliseconds(ms));
}

int peakBin(const std::vector<float>& bins)
{
    return int(std::max_element(bins.begin() + 1, bins.end()) - bins.begin());
}

// Plays in a throw-away demo folder on SDL's silent output, so nothing is
// heard and the tests run the same everywhere.
class MusicTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        setenv("SDL_AUDIODRIVER", "dummy", 1);
        demo.enter();
    }
    void TearDown() override { unsetenv("SDL_AUDIODRIVER"); }

    void writeMusic(const std::string& name = "music.mp3") { demo.write(name, testMusicBytes()); }

    std::vector<float> spectrum(Music& music, int channel)
    {
        std::vector<float> bins(1024, -1.0f);
        music.get_spectrum(bins.data(), 1024, channel, 0);
        return bins;
    }

    TempDemo demo;
};

TEST_F(MusicTest, LoadsPausedAtZeroWithItsLength)
{
    writeMusic();
    Music music;
    ASSERT_TRUE(music.load("music.mp3"));
    EXPECT_EQ(music.length_ms(), 6000u);
    EXPECT_EQ(music.position(), 0.0);
    EXPECT_FALSE(music.is_playing());

    sleepMs(100); // paused: nothing advances
    EXPECT_EQ(music.position(), 0.0);
}

TEST_F(MusicTest, WhilePausedThePositionIsTheOneSet)
{
    writeMusic();
    Music music;
    ASSERT_TRUE(music.load("music.mp3"));
    music.set_paused(true);
    music.set_position(42.0); // past the end: still what the editor asked for
    EXPECT_EQ(music.position(), 42.0);
    music.set_position(1.5);
    EXPECT_EQ(music.position(), 1.5);
    EXPECT_FALSE(music.is_playing());
}

TEST_F(MusicTest, PlayingAdvancesWithTheWallClockAndPauseStopsIt)
{
    writeMusic();
    Music music;
    ASSERT_TRUE(music.load("music.mp3"));
    const auto start = std::chrono::steady_clock::now();
    music.set_paused(false);
    EXPECT_TRUE(music.is_playing());
    sleepMs(600);
    const double played = music.position();
    const double wall = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    // The output runs up to a couple of 23 ms buffers ahead of the clock; on
    // a loaded machine the silent output's thread may fall behind it, so
    // only a clear half of the time is asked for on that side.
    EXPECT_LE(played, wall + 0.12);
    EXPECT_GE(played, wall * 0.5);

    // What sounds moves on between the output's buffers, where the
    // position steps a buffer at a time, and never past what went out.
    std::set<double> steps, sounding;
    for (int i = 0; i < 60; ++i) {
        const double now = music.sounding_position();
        EXPECT_LE(now, music.position() + 1e-9);
        EXPECT_GE(now, music.position() - 0.1);
        steps.insert(music.position());
        sounding.insert(now);
        sleepMs(1);
    }
    EXPECT_GT(sounding.size(), 2 * steps.size());

    music.set_paused(true);
    EXPECT_FALSE(music.is_playing());
    EXPECT_EQ(music.position(), 0.0); // nothing was set while paused
    EXPECT_EQ(music.sounding_position(), 0.0);
}

TEST_F(MusicTest, SeekWhilePlayingLandsOnTheTargetAndPlaysFromThere)
{
    writeMusic();
    Music music;
    ASSERT_TRUE(music.load("music.mp3"));
    music.set_paused(false);
    sleepMs(50);

    music.set_position(4.0);
    EXPECT_NEAR(music.position(), 4.0, 0.05);
    sleepMs(200);

    // The newest 2048 samples of the sweep say where the music really is:
    // their middle lies about 23 ms before the position.
    const double at = music.position();
    const std::vector<float> bins = spectrum(music, 0);
    const double heard = at - 1024.0 / 48000.0;
    const double expectedHz = 200.0 + 1000.0 * (heard - 2.0);
    EXPECT_NEAR(peakBin(bins) * kBinHz, expectedHz, 3 * kBinHz) << "position " << at;
}

TEST_F(MusicTest, SeekWhilePausedThenResumeContinuesFromThere)
{
    writeMusic();
    Music music;
    ASSERT_TRUE(music.load("music.mp3"));
    music.set_paused(true);
    music.set_position(3.0);
    music.set_paused(false);
    EXPECT_NEAR(music.position(), 3.0, 0.05);
    sleepMs(300);
    EXPECT_NEAR(music.position(), 3.3, 0.12);
}

TEST_F(MusicTest, ASineOfKnownFrequencyPeaksInItsBin)
{
    writeMusic();
    Music music;
    ASSERT_TRUE(music.load("music.mp3"));
    music.set_paused(false);
    sleepMs(300);

    // Off a bin's centre, a sine's energy spreads over its neighbours.
    const std::vector<float> left = spectrum(music, 0);
    EXPECT_NEAR(peakBin(left) * kBinHz, kLeftHz, kBinHz);
    EXPECT_NEAR(peakOf(left), 0.45f, 0.05f);
    const std::vector<float> right = spectrum(music, 1);
    EXPECT_NEAR(peakBin(right) * kBinHz, kRightHz, kBinHz);

    music.set_volume(0.5f);
    sleepMs(200);
    EXPECT_NEAR(peakOf(spectrum(music, 0)), 0.5f * peakOf(left), 0.03f);
    music.set_volume(0.0f);
    sleepMs(200);
    const std::vector<float> silent = spectrum(music, 0);
    EXPECT_LT(*std::max_element(silent.begin(), silent.end()), 1e-6f);
}

TEST_F(MusicTest, PlaysToTheEndAndStops)
{
    writeMusic();
    Music music;
    ASSERT_TRUE(music.load("music.mp3"));
    music.set_position(5.9);
    music.set_paused(false);
    sleepMs(400);
    EXPECT_FALSE(music.is_playing());
    EXPECT_DOUBLE_EQ(music.position(), 6.0);

    music.set_position(1.0); // a seek back brings it to life again
    EXPECT_TRUE(music.is_playing());
}

TEST_F(MusicTest, LoadsFromTheDataPack)
{
    std::string pack = "demo/music.mp3";
    pack.push_back('\0');
    const std::string bytes = testMusicBytes();
    for (int i = 0; i < 4; ++i)
        pack.push_back(char((bytes.size() >> (8 * i)) & 0xff));
    demo.write("datapack.dat", pack + bytes);

    Music music;
    ASSERT_TRUE(music.load("music.mp3"));
    EXPECT_EQ(music.length_ms(), 6000u);
}

TEST_F(MusicTest, BadFilesLeaveItSilentAndHarmless)
{
    demo.write("empty.mp3", "");
    demo.write("text.mp3", "not music at all\n");

    for (const char* name : {"missing.mp3", "empty.mp3", "text.mp3"}) {
        Music music;
        EXPECT_FALSE(music.load(name)) << name;
        EXPECT_FALSE(music.is_loaded());
        music.set_paused(false);
        music.set_position(3.0);
        music.set_volume(0.5f);
        EXPECT_EQ(music.position(), 0.0) << name;
        EXPECT_FALSE(music.is_playing()) << name;
        EXPECT_EQ(music.length_ms(), 0u);
        std::vector<float> bins(1024, -1.0f);
        music.get_spectrum(bins.data(), 1024, 0, 0);
        EXPECT_EQ(bins, std::vector<float>(1024, 0.0f)) << name;
    }
}

TEST_F(MusicTest, AFailedLoadAfterAGoodOneLeavesNothingPlaying)
{
    writeMusic();
    Music music;
    ASSERT_TRUE(music.load("music.mp3"));
    music.set_paused(false);
    EXPECT_FALSE(music.load("missing.mp3"));
    EXPECT_FALSE(music.is_playing());
    EXPECT_EQ(music.position(), 0.0);
}

TEST_F(MusicTest, WithoutAnyWorkingDriverItFallsBackToTheSilentOutput)
{
    // A driver that does not exist fails the way a machine without sound
    // does.
    setenv("SDL_AUDIODRIVER", "no-such-driver", 1);
    writeMusic();
    Music music;
    ASSERT_TRUE(music.load("music.mp3"));
    music.set_paused(false);
    sleepMs(200);
    EXPECT_GT(music.position(), 0.1);
}

TEST_F(MusicTest, OutOfRangeSeeksAndSpectrumRequestsAreSafe)
{
    writeMusic();
    Music music;
    ASSERT_TRUE(music.load("music.mp3"));
    music.set_paused(false);
    music.set_position(-5.0);
    EXPECT_LT(music.position(), 0.05);
    music.set_position(std::nan(""));
    EXPECT_LT(music.position(), 0.05);

    std::vector<float> bins(8, -1.0f);
    music.get_spectrum(bins.data(), 0, 0, 0);
    music.get_spectrum(nullptr, 1024, 0, 0);
    music.get_spectrum(bins.data(), 8, 7, 0); // no such channel
    EXPECT_EQ(bins, std::vector<float>(8, 0.0f));
}

TEST_F(MusicTest, ASpectrumBinMeansOneFrequencyWhateverTheFilesRate)
{
    // 220 Hz lies between bins 9 and 10 at the output's 48 kHz.
    for (const char* name : {"tone220_24k.mp3", "tone220_48k.mp3"}) {
        SCOPED_TRACE(name);
        demo.write(name, testDataBytes(name));
        Music music;
        ASSERT_TRUE(music.load(name));
        music.set_paused(false);
        sleepMs(300);
        const std::vector<float> bins = spectrum(music, 0);
        EXPECT_GE(peakBin(bins), 9);
        EXPECT_LE(peakBin(bins), 10);
        EXPECT_GT(peakOf(bins), 0.2f);
    }
}

TEST_F(MusicTest, WhilePausedTheSpectrumIsSilence)
{
    writeMusic();
    Music music;
    ASSERT_TRUE(music.load("music.mp3"));
    music.set_paused(false);
    sleepMs(300);
    ASSERT_GT(peakOf(spectrum(music, 0)), 0.3f);

    music.set_paused(true);
    EXPECT_EQ(spectrum(music, 0), std::vector<float>(1024, 0.0f));
    music.set_position(4.0); // a seek while paused changes nothing either
    EXPECT_EQ(spectrum(music, 0), std::vector<float>(1024, 0.0f));

    // Playing again, the window holds only what played after the pause:
    // the sweep at 4 s, no longer the 861 Hz tone from before it.
    music.set_paused(false);
    sleepMs(300);
    const std::vector<float> after = spectrum(music, 0);
    EXPECT_GT(peakOf(after), 0.1f);
    EXPECT_LT(after[size_t(std::lround(kLeftHz / kBinHz))], 0.05f);
}

TEST_F(MusicTest, ACutFilePlaysAndRefusalsSayWhy)
{
    // Cut by an editor, its tag still declaring all 6 s (Mp3Stream's tests
    // cover other damage).
    const std::string good = testMusicBytes();
    demo.write("cut.mp3", good.substr(0, good.size() / 2));
    {
        Music cut;
        ASSERT_TRUE(cut.load("cut.mp3"));
        EXPECT_NEAR(cut.length_ms(), 3000u, 100u);
    }

    LogCapture log;
    demo.write("text.mp3", "not music at all\n");
    Music refused;
    EXPECT_FALSE(refused.load("text.mp3"));
    EXPECT_FALSE(refused.load("missing.mp3"));
    ASSERT_EQ(log.lines().size(), 2u) << ::testing::PrintToString(log.lines());
    EXPECT_EQ(log.lines()[0].rfind("music: cannot play text.mp3: ", 0), 0u) << log.lines()[0];
    EXPECT_EQ(log.lines()[1], "music: missing.mp3 is neither a file nor in the data pack");
}

} // namespace

TEST_F(MusicTest, SteppedOutputMovesOnlyWhenAdvancedAndTakesSilencePastTheEnd)
{
    writeMusic();
    Music music;
    music.use_stepped_output();
    ASSERT_TRUE(music.load("music.mp3"));
    music.advance_to(1.0); // paused: nothing moves
    EXPECT_EQ(music.position(), 0.0);
    music.set_paused(false);
    sleepMs(50); // no sound card: the wall clock moves nothing
    EXPECT_EQ(music.position(), 0.0);
    music.advance_to(1.0);
    EXPECT_EQ(music.position(), 1.0);
    EXPECT_EQ(peakBin(spectrum(music, 0)), int(std::lround(kLeftHz / kBinHz)));

    // Past the end the position stays at the end and the window fills with
    // silence; a time before the last one seeks back.
    music.advance_to(7.0);
    EXPECT_EQ(music.position(), 6.0);
    EXPECT_FALSE(music.is_playing());
    EXPECT_EQ(peakOf(spectrum(music, 0)), 0.0f);
    music.advance_to(1.5);
    EXPECT_TRUE(music.is_playing());
    EXPECT_EQ(music.position(), 1.5);
}
