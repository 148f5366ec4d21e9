#include "platform/FrameWriter.h"

#include <gtest/gtest.h>

#include <mutex>
#include <vector>

TEST(FrameWriter, OneThreadKeepsTheOrderAndTheFirstFailureStopsTheRest)
{
    std::mutex mutex;
    std::vector<int> written;
    platform::FrameWriter writer(1, 2, [&](int index, const std::vector<uint8_t>& pixels, std::string& why) {
        EXPECT_EQ(pixels.size(), 4u);
        EXPECT_EQ(pixels[0], uint8_t(index));
        if (index == 5) {
            why = "disk full at 5";
            return false;
        }
        std::lock_guard<std::mutex> lock(mutex);
        written.push_back(index);
        return true;
    });
    for (int i = 0; i < 20; ++i) {
        std::vector<uint8_t> pixels = writer.takeBuffer(4);
        pixels[0] = uint8_t(i);
        writer.submit(i, std::move(pixels));
    }
    EXPECT_FALSE(writer.finish());
    EXPECT_TRUE(writer.failed());
    EXPECT_EQ(writer.error(), "disk full at 5");
    EXPECT_EQ(written, (std::vector<int>{0, 1, 2, 3, 4}));
}

TEST(FrameWriter, SeveralThreadsWriteEveryFrameOnce)
{
    std::mutex mutex;
    std::vector<int> seen(100, 0);
    platform::FrameWriter writer(3, 4, [&](int index, const std::vector<uint8_t>&, std::string&) {
        std::lock_guard<std::mutex> lock(mutex);
        ++seen[size_t(index)];
        return true;
    });
    for (int i = 0; i < 100; ++i)
        writer.submit(i, writer.takeBuffer(16));
    EXPECT_TRUE(writer.finish());
    EXPECT_EQ(writer.error(), "");
    EXPECT_EQ(seen, std::vector<int>(100, 1));
}
