#include "time/Mp3Stream.h"

#include <mpg123.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <mutex>

namespace {

mpg123_ssize_t readBlock(void* handle, void* buffer, size_t count)
{
    auto* b = static_cast<Mp3Stream::Block*>(handle);
    const size_t left = b->size - b->pos;
    count = std::min(count, left);
    std::memcpy(buffer, b->data + b->pos, count);
    b->pos += count;
    return mpg123_ssize_t(count);
}

off_t seekBlock(void* handle, off_t offset, int whence)
{
    auto* b = static_cast<Mp3Stream::Block*>(handle);
    off_t base = 0;
    if (whence == SEEK_CUR)
        base = off_t(b->pos);
    else if (whence == SEEK_END)
        base = off_t(b->size);
    else if (whence != SEEK_SET)
        return -1;
    const off_t target = base + offset;
    if (target < 0 || target > off_t(b->size))
        return -1;
    b->pos = size_t(target);
    return target;
}

void initDecoderLibrary()
{
    static std::once_flag once;
    std::call_once(once, [] { mpg123_init(); });
}

} // namespace

Mp3Stream::~Mp3Stream()
{
    close();
}

bool Mp3Stream::open(const unsigned char* data, size_t size)
{
    close();
    if (!data || size == 0)
        return false;
    initDecoderLibrary();

    int error = 0;
    handle = mpg123_new(nullptr, &error);
    if (!handle)
        return false;
    block = Block{data, size, 0};

    // Quiet: a damaged file is reported by the result, not on stderr.
    mpg123_param(handle, MPG123_ADD_FLAGS, MPG123_QUIET | MPG123_GAPLESS, 0);
    // Float stereo at whatever rate the file has; mono is spread to both.
    mpg123_format_none(handle);
    const long* rates = nullptr;
    size_t rateCount = 0;
    mpg123_rates(&rates, &rateCount);
    for (size_t i = 0; i < rateCount; ++i)
        mpg123_format(handle, rates[i], MPG123_STEREO, MPG123_ENC_FLOAT_32);

    long rate = 0;
    int channels = 0;
    int encoding = 0;
    bool ok = mpg123_replace_reader_handle(handle, readBlock, seekBlock, nullptr) == MPG123_OK
           && mpg123_open_handle(handle, &block) == MPG123_OK
           && mpg123_getformat(handle, &rate, &channels, &encoding) == MPG123_OK
           && channels == kChannels && encoding == MPG123_ENC_FLOAT_32 && rate > 0;

    if (ok) {
        // The encoder's info tag, when there is one, states how many frames
        // the file has; the scan counts what is really there and builds the
        // index that makes seeks exact. Fewer than declared means the file
        // was cut off. Without the tag the count before the scan is only an
        // estimate from the file size, so there is nothing to compare.
        long encoderDelay = -1;
        double unused = 0;
        const bool tagged = mpg123_getstate(handle, MPG123_ENC_DELAY, &encoderDelay, &unused) == MPG123_OK
                         && encoderDelay >= 0;
        const off_t declaredFrames = mpg123_framelength(handle);
        ok = mpg123_scan(handle) == MPG123_OK;
        const off_t scannedLength = mpg123_length(handle);
        ok = ok && scannedLength > 0 && !(tagged && declaredFrames > mpg123_framelength(handle));
        total = scannedLength;
    }
    if (ok) {
        // The scan counts a last frame whose body was cut off; only decoding
        // it tells. It costs a frame or two.
        float last[kChannels];
        size_t done = 0;
        ok = mpg123_seek(handle, off_t(total - 1), SEEK_SET) == off_t(total - 1)
          && mpg123_read(handle, reinterpret_cast<unsigned char*>(last), sizeof last, &done) == MPG123_OK
          && done == sizeof last;
    }
    ok = ok && mpg123_seek(handle, 0, SEEK_SET) == 0;
    if (!ok) {
        close();
        return false;
    }
    sample_rate = int(rate);
    next = 0;
    return true;
}

void Mp3Stream::close()
{
    if (handle) {
        mpg123_close(handle);
        mpg123_delete(handle);
        handle = nullptr;
    }
    block = Block{};
    sample_rate = 0;
    total = 0;
    next = 0;
}

int64_t Mp3Stream::seek(int64_t sample)
{
    if (!handle)
        return 0;
    sample = std::clamp<int64_t>(sample, 0, total);
    const off_t landed = mpg123_seek(handle, off_t(sample), SEEK_SET);
    next = landed < 0 ? total : int64_t(landed);
    return next;
}

int Mp3Stream::read(float* out, int frames)
{
    if (!handle || frames <= 0)
        return 0;
    const size_t frameBytes = kChannels * sizeof(float);
    size_t filled = 0; // bytes
    const size_t wanted = size_t(frames) * frameBytes;
    while (filled < wanted) {
        size_t done = 0;
        const int result = mpg123_read(handle, reinterpret_cast<unsigned char*>(out) + filled,
                                       wanted - filled, &done);
        filled += done;
        if (result == MPG123_NEW_FORMAT)
            continue; // the format is fixed at open; nothing to renegotiate
        if (result != MPG123_OK || done == 0)
            break;
    }
    const int got = int(filled / frameBytes);
    next += got;
    return got;
}
