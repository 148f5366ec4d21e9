#include "time/Mp3Stream.h"

#include <mpg123.h>
#include <SDL_audio.h>

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

bool Mp3Stream::fail(const char* why)
{
    close();
    failed = why;
    return false;
}

bool Mp3Stream::open(const unsigned char* data, size_t size, int output_rate)
{
    close();
    failed.clear();
    if (!data || size == 0)
        return fail("the file is empty");
    initDecoderLibrary();

    int error = 0;
    handle = mpg123_new(nullptr, &error);
    if (!handle)
        return fail("the MP3 decoder could not start");
    block = Block{data, size, 0};

    // Quiet: a damaged file is reported by the result, not on stderr. No
    // limit on the search for the next frame, so that a damaged stretch of
    // any length is skipped instead of ending the track there.
    mpg123_param(handle, MPG123_ADD_FLAGS, MPG123_QUIET | MPG123_GAPLESS, 0);
    mpg123_param(handle, MPG123_RESYNC_LIMIT, -1, 0);
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
    if (mpg123_replace_reader_handle(handle, readBlock, seekBlock, nullptr) != MPG123_OK
        || mpg123_open_handle(handle, &block) != MPG123_OK
        || mpg123_getformat(handle, &rate, &channels, &encoding) != MPG123_OK)
        return fail("no MPEG audio frame found");
    if (channels != kChannels || encoding != MPG123_ENC_FLOAT_32 || rate <= 0)
        return fail("the decoder offers no float stereo output");
    // The scan counts the frames really there (a file cut short by an
    // editor has fewer than its tag declares) and builds the index that
    // makes seeks exact.
    if (mpg123_scan(handle) != MPG123_OK || mpg123_length(handle) <= 0)
        return fail("no playable MPEG audio frame found");
    const int64_t fileLength = mpg123_length(handle);
    if (mpg123_seek(handle, 0, SEEK_SET) != 0)
        return fail("the decoder cannot seek in the file");

    in_rate = int(rate);
    out_rate = output_rate > 0 ? output_rate : in_rate;
    if (out_rate != in_rate) {
        resampler = SDL_NewAudioStream(AUDIO_F32SYS, kChannels, in_rate, AUDIO_F32SYS, kChannels, out_rate);
        if (!resampler)
            return fail("no resampler to the output rate");
    }
    total = fileLength * out_rate / in_rate;
    next = 0;
    decoder_done = false;
    return true;
}

void Mp3Stream::close()
{
    if (handle) {
        mpg123_close(handle);
        mpg123_delete(handle);
        handle = nullptr;
    }
    if (resampler) {
        SDL_FreeAudioStream(resampler);
        resampler = nullptr;
    }
    block = Block{};
    in_rate = 0;
    out_rate = 0;
    total = 0;
    next = 0;
}

int64_t Mp3Stream::seek(int64_t sample)
{
    if (!handle)
        return 0;
    sample = std::clamp<int64_t>(sample, 0, total);
    if (!resampler) {
        const off_t landed = mpg123_seek(handle, off_t(sample), SEEK_SET);
        // In a damaged file the decoder may land past the length its scan
        // counted; the stream is then at its end, not beyond it.
        next = landed < 0 || int64_t(landed) > total ? total : int64_t(landed);
        return next;
    }
    // The resampler starts afresh from the file sample at the same moment.
    SDL_AudioStreamClear(resampler);
    decoder_done = false;
    const int64_t source = (sample * in_rate + out_rate / 2) / out_rate;
    if (mpg123_seek(handle, off_t(source), SEEK_SET) < 0) {
        decoder_done = true;
        next = total;
        return next;
    }
    next = sample;
    return next;
}

int Mp3Stream::decode(float* out, int frames)
{
    const size_t frameBytes = kChannels * sizeof(float);
    size_t filled = 0; // bytes
    const size_t wanted = size_t(frames) * frameBytes;
    int failures = 0;
    while (filled < wanted) {
        size_t done = 0;
        const int result = mpg123_read(handle, reinterpret_cast<unsigned char*>(out) + filled,
                                       wanted - filled, &done);
        filled += done;
        if (result == MPG123_NEW_FORMAT || (result == MPG123_OK && done > 0))
            continue; // the format is fixed at open; nothing to renegotiate
        if (result == MPG123_DONE || result == MPG123_OK)
            break;
        // A frame that does not decode: the next read goes on after it.
        // Only a run of failures without any progress ends the track.
        if (done > 0)
            failures = 0;
        else if (++failures > 16)
            break;
    }
    return int(filled / frameBytes);
}

int Mp3Stream::read(float* out, int frames)
{
    if (!handle || frames <= 0)
        return 0;
    // Never past the length given at open, which the position relies on
    // (a damaged file can decode to more than its scan counted).
    frames = int(std::min<int64_t>(frames, total - next));
    if (frames <= 0)
        return 0;
    if (!resampler) {
        const int got = decode(out, frames);
        next += got;
        return got;
    }
    const int frameBytes = int(kChannels * sizeof(float));
    int got = 0;
    while (got < frames) {
        const int available = SDL_AudioStreamAvailable(resampler) / frameBytes;
        if (available > 0) {
            const int take = std::min(available, frames - got);
            const int bytes = SDL_AudioStreamGet(resampler, out + size_t(got) * kChannels, take * frameBytes);
            if (bytes <= 0)
                break;
            got += bytes / frameBytes;
            continue;
        }
        if (decoder_done) {
            // The resampler's filter keeps back a few samples of the very
            // end; silence stands in, so the track is as long as announced.
            std::fill(out + size_t(got) * kChannels, out + size_t(frames) * kChannels, 0.0f);
            got = frames;
            break;
        }
        // About as many file samples as the output still needs, and enough
        // that the resampler always has some to work on.
        const int want = std::max(1024, int(int64_t(frames - got) * in_rate / out_rate) + 64);
        decoded.resize(size_t(want) * kChannels);
        const int n = decode(decoded.data(), want);
        if (n > 0 && SDL_AudioStreamPut(resampler, decoded.data(), n * frameBytes) != 0)
            break;
        if (n < want) {
            // The file is over: let the resampler give out what it holds.
            SDL_AudioStreamFlush(resampler);
            decoder_done = true;
        }
    }
    next += got;
    return got;
}
