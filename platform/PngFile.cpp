#include "platform/PngFile.h"

#include <zlib.h>

#include <cerrno>
#include <cstdio>
#include <cstring>

namespace platform {

namespace {

constexpr int kMaxSide = 16384;
constexpr uint8_t kSignature[8] = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1a, '\n'};
constexpr uint8_t kFilterSub = 1;

void putBigEndian(std::vector<uint8_t>& out, uint32_t v)
{
    const uint8_t bytes[4] = {uint8_t(v >> 24), uint8_t(v >> 16), uint8_t(v >> 8), uint8_t(v)};
    out.insert(out.end(), bytes, bytes + 4);
}

// Appends the chunk's length, type and data, and the CRC over type and data.
void putChunk(std::vector<uint8_t>& out, const char* type, const uint8_t* data, size_t size)
{
    putBigEndian(out, uint32_t(size));
    const size_t typeAt = out.size();
    out.insert(out.end(), type, type + 4);
    if (size > 0)
        out.insert(out.end(), data, data + size);
    const uLong crc = crc32(0L, out.data() + typeAt, uInt(4 + size));
    putBigEndian(out, uint32_t(crc));
}

} // namespace

bool encodePng(const uint8_t* rgb, int width, int height, std::vector<uint8_t>& out)
{
    if (!rgb || width < 1 || height < 1 || width > kMaxSide || height > kMaxSide)
        return false;
    const size_t rowBytes = size_t(width) * 3;
    // One filter byte, then the row. The scanlines are deflated a row at a
    // time, so the filtered copy never holds more than one row.
    std::vector<uint8_t> row(rowBytes + 1);
    row[0] = kFilterSub;

    z_stream z{};
    if (deflateInit(&z, Z_BEST_SPEED) != Z_OK)
        return false;
    // deflate writes straight into out after the IDAT chunk's length and
    // type, which are filled in once the stream's length is known.
    out.clear();
    out.insert(out.end(), kSignature, kSignature + sizeof kSignature);
    const uint32_t w = uint32_t(width), h = uint32_t(height);
    // 8 bits a sample, truecolour, deflate, adaptive filtering, no interlace.
    const uint8_t header[13] = {uint8_t(w >> 24), uint8_t(w >> 16), uint8_t(w >> 8), uint8_t(w),
                                uint8_t(h >> 24), uint8_t(h >> 16), uint8_t(h >> 8), uint8_t(h),
                                8, 2, 0, 0, 0};
    putChunk(out, "IHDR", header, sizeof header);
    const size_t idatAt = out.size();
    const size_t dataAt = idatAt + 8;
    out.resize(dataAt + deflateBound(&z, uLong((rowBytes + 1) * size_t(height))));

    // Feeds one row (or, with Z_FINISH, the end of the stream), growing out
    // whenever deflate runs short of room.
    auto feed = [&](int flush) {
        int result = Z_OK;
        do {
            const size_t produced = z.total_out;
            if (out.size() - dataAt - produced < 4096)
                out.resize(out.size() + out.size() / 2 + 4096);
            z.next_out = out.data() + dataAt + produced;
            z.avail_out = uInt(out.size() - dataAt - produced);
            result = deflate(&z, flush);
        } while (result == Z_OK && (flush == Z_FINISH || z.avail_in > 0));
        return flush == Z_FINISH ? result == Z_STREAM_END : result == Z_OK;
    };
    bool ok = true;
    for (int y = 0; y < height && ok; ++y) {
        const uint8_t* src = rgb + rowBytes * size_t(y);
        uint8_t* dst = row.data() + 1;
        std::memcpy(dst, src, 3);
        for (size_t i = 3; i < rowBytes; ++i)
            dst[i] = uint8_t(src[i] - src[i - 3]);
        z.next_in = row.data();
        z.avail_in = uInt(row.size());
        ok = feed(Z_NO_FLUSH);
    }
    ok = ok && feed(Z_FINISH);
    const size_t compressed = z.total_out;
    deflateEnd(&z);
    if (!ok)
        return false;

    out.resize(idatAt + 8 + compressed);
    const uint32_t length = uint32_t(compressed);
    const uint8_t lengthAndType[8] = {uint8_t(length >> 24), uint8_t(length >> 16), uint8_t(length >> 8),
                                      uint8_t(length), 'I', 'D', 'A', 'T'};
    std::memcpy(out.data() + idatAt, lengthAndType, 8);
    putBigEndian(out, uint32_t(crc32(0L, out.data() + idatAt + 4, uInt(4 + compressed))));
    putChunk(out, "IEND", nullptr, 0);
    return true;
}

bool writePngFile(const std::string& path, const uint8_t* rgb, int width, int height, std::string& error)
{
    // Each writing thread keeps its buffer, so steady capture allocates
    // nothing per frame.
    thread_local std::vector<uint8_t> png;
    if (!encodePng(rgb, width, height, png)) {
        error = "cannot encode " + path + " (" + std::to_string(width) + "x" + std::to_string(height) + ")";
        return false;
    }
    FILE* file = std::fopen(path.c_str(), "wb");
    if (!file) {
        error = "cannot write " + path + ": " + std::strerror(errno);
        return false;
    }
    const bool written = std::fwrite(png.data(), 1, png.size(), file) == png.size();
    const int writeErrno = errno;
    const bool closed = std::fclose(file) == 0;
    if (written && closed)
        return true;
    error = "cannot write " + path + ": " + std::strerror(written ? errno : writeErrno);
    return false;
}

} // namespace platform
