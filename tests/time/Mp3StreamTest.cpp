#include "time/Mp3Stream.h"

#include <gtest/gtest.h>

#include <cstddef>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

namespace {

std::vector<unsigned char> testMusic()
{
    std::ifstream in(std::string(TARVONIC_TEST_DATA) + "/test_music.mp3", std::ios::binary);
    return std::vector<unsigned char>(std::istreambuf_iterator<char>(in), {});
}

// Every sample of the track, decoded front to back.
std::vector<float> decodeAll(Mp3Stream& stream)
{
    std::vector<float> all;
    std::vector<float> chunk(1000 * Mp3Stream::kChannels);
    int got = 0;
    while ((got = stream.read(chunk.data(), 1000)) > 0)
        all.insert(all.end(), chunk.begin(), chunk.begin() + got * Mp3Stream::kChannels);
    return all;
}

TEST(Mp3Stream, OpensWithTheExactGaplessLength)
{
    const auto file = testMusic();
    ASSERT_FALSE(file.empty());
    Mp3Stream stream;
    ASSERT_TRUE(stream.open(file.data(), file.size()));
    EXPECT_EQ(stream.rate(), 44100);
    // The tool encodes exactly 6 s; encoder delay and padding are removed.
    EXPECT_EQ(stream.length(), 6 * 44100);

    const std::vector<float> all = decodeAll(stream);
    EXPECT_EQ(all.size(), size_t(6 * 44100 * Mp3Stream::kChannels));
    EXPECT_EQ(stream.tell(), stream.length());
    float out[8];
    EXPECT_EQ(stream.read(out, 4), 0);
}

TEST(Mp3Stream, SeeksLandOnTheSampleAskedFor)
{
    const auto file = testMusic();
    Mp3Stream stream;
    ASSERT_TRUE(stream.open(file.data(), file.size()));
    const std::vector<float> all = decodeAll(stream);

    // Back and forth, inside frames, on frame edges and near both ends.
    for (int64_t target : {132300, 5, 1152, 1153, 200000, 44100, 0, 264000}) {
        EXPECT_EQ(stream.seek(target), target);
        float got[2 * 256];
        const int n = stream.read(got, 256);
        ASSERT_GT(n, 0);
        for (int i = 0; i < n * Mp3Stream::kChannels; ++i)
            ASSERT_EQ(got[i], all[size_t(target) * Mp3Stream::kChannels + size_t(i)])
                << "after seeking to " << target << ", value " << i;
    }
}

TEST(Mp3Stream, SeekIsClampedToTheTrack)
{
    const auto file = testMusic();
    Mp3Stream stream;
    ASSERT_TRUE(stream.open(file.data(), file.size()));
    EXPECT_EQ(stream.seek(-100), 0);
    EXPECT_EQ(stream.seek(stream.length() + 5000), stream.length());
    float out[4];
    EXPECT_EQ(stream.read(out, 2), 0);
}

TEST(Mp3Stream, AFileWithoutTheEncoderInfoTagStillPlays)
{
    auto file = testMusic();
    // The tag is the first frame: MPEG-1 layer III, frame bytes =
    // 144 * bit rate / sample rate + padding.
    ASSERT_GE(file.size(), 4u);
    ASSERT_EQ(file[0], 0xff);
    const int bitRates[] = {0, 32, 40, 48, 56, 64, 80, 96, 112, 128, 160, 192, 224, 256, 320};
    const int kbps = bitRates[file[2] >> 4];
    ASSERT_EQ((file[2] >> 2) & 3, 0); // 44.1 kHz
    const size_t tagFrame = size_t(144 * kbps * 1000 / 44100 + ((file[2] >> 1) & 1));
    file.erase(file.begin(), file.begin() + std::ptrdiff_t(tagFrame));

    Mp3Stream stream;
    ASSERT_TRUE(stream.open(file.data(), file.size()));
    // Without the tag the encoder's delay and padding stay in.
    EXPECT_GE(stream.length(), 6 * 44100);
    EXPECT_LE(stream.length(), 6 * 44100 + 2 * 1152);
}

TEST(Mp3Stream, RefusesWhatHoldsNoMp3FrameAndSaysWhy)
{
    const auto file = testMusic();
    Mp3Stream stream;
    EXPECT_FALSE(stream.open(file.data(), 0));
    EXPECT_EQ(stream.failure(), "the file is empty");
    EXPECT_FALSE(stream.open(nullptr, 100));
    EXPECT_FALSE(stream.open(file.data(), 1));

    const std::string text = "This is a shader, not music.\nvoid main() {}\n";
    EXPECT_FALSE(stream.open(reinterpret_cast<const unsigned char*>(text.data()), text.size()));
    EXPECT_FALSE(stream.failure().empty());
    const std::vector<unsigned char> zeros(64 * 1024, 0);
    EXPECT_FALSE(stream.open(zeros.data(), zeros.size()));
    EXPECT_FALSE(stream.is_open());

    float out[4];
    EXPECT_EQ(stream.read(out, 2), 0);
    EXPECT_EQ(stream.seek(100), 0);
}

TEST(Mp3Stream, ACutOrDamagedFilePlaysWhatItHolds)
{
    const auto file = testMusic();
    // Cut anywhere after the first frames (an editor trimmed it; its tag
    // still declares all 6 s): what is there plays, to its end.
    for (size_t cut : {file.size() / 10, file.size() / 2, file.size() - 400, file.size() - 1}) {
        SCOPED_TRACE(cut);
        Mp3Stream stream;
        ASSERT_TRUE(stream.open(file.data(), cut));
        EXPECT_NEAR(double(stream.length()), 6.0 * 44100 * double(cut) / double(file.size()), 0.1 * 44100);
        const std::vector<float> all = decodeAll(stream);
        EXPECT_GE(all.size(), size_t(stream.length() - 2 * 1152) * Mp3Stream::kChannels);
    }

    // Garbage in the middle: skipped, and the rest of the track plays on.
    auto damaged = file;
    for (size_t i = damaged.size() / 3; i < damaged.size() / 3 + 4096; ++i)
        damaged[i] = (unsigned char)(i * 7919 % 251);
    Mp3Stream stream;
    ASSERT_TRUE(stream.open(damaged.data(), damaged.size()));
    EXPECT_GT(stream.length(), int64_t(5.5 * 44100));
    EXPECT_EQ(decodeAll(stream).size(), size_t(stream.length()) * Mp3Stream::kChannels);
}

TEST(Mp3Stream, ResamplesToTheOutputRate)
{
    const auto file = testMusic();
    Mp3Stream stream;
    ASSERT_TRUE(stream.open(file.data(), file.size(), 48000));
    EXPECT_EQ(stream.rate(), 48000);
    EXPECT_EQ(stream.file_rate(), 44100);
    EXPECT_EQ(stream.length(), 6 * 48000);
    EXPECT_EQ(decodeAll(stream).size(), size_t(6 * 48000 * Mp3Stream::kChannels));

    // One second of the 861.3 Hz tone, seeked into: 1723 zero crossings
    // at any rate.
    EXPECT_EQ(stream.seek(48000 / 2), 48000 / 2);
    std::vector<float> second(2 * 48000);
    ASSERT_EQ(stream.read(second.data(), 48000), 48000);
    int crossings = 0;
    for (size_t i = 2; i < second.size(); i += 2)
        crossings += (second[i - 2] < 0.0f) != (second[i] < 0.0f);
    EXPECT_NEAR(crossings, 2 * 40 * 44100 / 2048, 3);
}

} // namespace
