#pragma once
// An MP3 decoded on demand from a memory block, as 32-bit float stereo at the
// file's own sample rate. Encoder delay and padding are removed (gapless), and
// the whole file's frame index is built when it opens, so positions are exact
// sample indices and a seek lands on the sample asked for.
#include <cstddef>
#include <cstdint>

struct mpg123_handle_struct;

class Mp3Stream {
public:
    static constexpr int kChannels = 2;

    Mp3Stream() = default;
    ~Mp3Stream();
    Mp3Stream(const Mp3Stream&) = delete;
    Mp3Stream& operator=(const Mp3Stream&) = delete;

    // Opens the MP3 in data. The block is not copied: keep it alive and
    // unchanged until close() or destruction. False, leaving the stream
    // closed, for an empty block, data that holds no MP3 frame, or a file
    // that is shorter than the length its own info tag declares (cut off).
    bool open(const unsigned char* data, size_t size);
    void close();
    bool is_open() const { return handle != nullptr; }

    int rate() const { return sample_rate; }
    // Total length in samples (per channel).
    int64_t length() const { return total; }
    // Index of the next sample read() returns.
    int64_t tell() const { return next; }

    // Moves to sample (clamped to 0..length()); returns where it landed.
    int64_t seek(int64_t sample);

    // Decodes up to frames stereo frames into out (2 * frames floats).
    // Returns the number decoded, fewer than asked only at the end of the
    // track or when the data turned out to be damaged.
    int read(float* out, int frames);

    // The reader mpg123 pulls the file through.
    struct Block {
        const unsigned char* data = nullptr;
        size_t size = 0;
        size_t pos = 0;
    };

private:
    mpg123_handle_struct* handle = nullptr;
    Block block;
    int sample_rate = 0;
    int64_t total = 0;
    int64_t next = 0;
};
