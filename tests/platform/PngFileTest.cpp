#include "platform/PngFile.h"

#include "support/TempDemo.h"

#include <QImage>
#include <gtest/gtest.h>

#include <cstring>
#include <random>

TEST(PngFile, WhatItWritesDecodesToTheSamePixels)
{
    std::mt19937 random(7);
    // One pixel, odd widths, and a row wider than the first pixel's filter
    // reach; noise, so every filtered byte wraps somewhere.
    for (const auto& [w, h] : {std::pair<int, int>{1, 1}, {3, 2}, {37, 5}, {640, 3}}) {
        std::vector<uint8_t> rgb(size_t(w) * size_t(h) * 3);
        for (uint8_t& b : rgb)
            b = uint8_t(random());
        std::vector<uint8_t> png;
        ASSERT_TRUE(platform::encodePng(rgb.data(), w, h, png));
        QImage image;
        ASSERT_TRUE(image.loadFromData(png.data(), int(png.size()), "PNG")) << w << "x" << h;
        image = image.convertToFormat(QImage::Format_RGB888);
        ASSERT_EQ(image.size(), QSize(w, h));
        for (int y = 0; y < h; ++y)
            ASSERT_EQ(std::memcmp(image.constScanLine(y), rgb.data() + size_t(y) * size_t(w) * 3, size_t(w) * 3), 0)
                << w << "x" << h << " row " << y;
    }
}

TEST(PngFile, RefusesSizesItCannotWriteAndSaysWhereWritingFailed)
{
    const uint8_t pixel[3] = {1, 2, 3};
    std::vector<uint8_t> png;
    EXPECT_FALSE(platform::encodePng(pixel, 0, 1, png));
    EXPECT_FALSE(platform::encodePng(pixel, 16385, 1, png));
    TempDemo folder;
    std::string error;
    EXPECT_FALSE(platform::writePngFile(folder.path("missing/frame.png"), pixel, 1, 1, error));
    EXPECT_EQ(error.rfind("cannot write " + folder.path("missing/frame.png") + ": ", 0), 0u) << error;
}
