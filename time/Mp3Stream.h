#pragma once
// An MP3 decoded on demand from a memory block, as 32-bit float stereo at a
// chosen output rate (the file's own rate unless told otherwise; any other
// rate is resampled). Encoder delay and padding are removed (gapless), and
// the whole file's frame index is built when it opens, so positions are
// sample indices at the output rate and a seek lands on the sample asked for.
//
// Damage is played over rather than refused: a file cut short plays what it
// holds, and frames that do not decode are skipped (the music after them
// comes that much earlier).
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

struct mpg123_handle_struct;
struct _SDL_AudioStream;

class Mp3Stream {
public:
    static constexpr int kChannels = 2;

    Mp3Stream() = default;
    ~Mp3Stream();
    Mp3Stream(const Mp3Stream&) = delete;
    Mp3Stream& operator=(const Mp3Stream&) = delete;

    // Opens the MP3 in data, to be read at output_rate (0: the file's rate).
    // The block is not copied: keep it alive and unchanged until close() or
    // destruction. False, leaving the stream closed and failure() saying
    // why, for an empty block or data that holds no MP3 frame.
    bool open(const unsigned char* data, size_t size, int output_rate = 0);
    void close();
    bool is_open() const { return handle != nullptr; }
    // Why the last open() failed; empty after a successful one.
    const std::string& failure() const { return failed; }

    // The output rate, and the rate the file was encoded at.
    int rate() const { return out_rate; }
    int file_rate() const { return in_rate; }
    // Total length in samples (per channel) at the output rate.
    int64_t length() const { return total; }
    // Index of the next sample read() returns.
    int64_t tell() const { return next; }

    // Moves to sample (clamped to 0..length()); returns where it landed.
    int64_t seek(int64_t sample);

    // Decodes up to frames stereo frames into out (2 * frames floats).
    // Returns the number decoded, fewer than asked only at the end of what
    // the file holds.
    int read(float* out, int frames);

    // The reader mpg123 pulls the file through.
    struct Block {
        const unsigned char* data = nullptr;
        size_t size = 0;
        size_t pos = 0;
    };

private:
    bool fail(const char* why);
    // Decodes at the file's rate; skips over frames that do not decode.
    int decode(float* out, int frames);

    mpg123_handle_struct* handle = nullptr;
    _SDL_AudioStream* resampler = nullptr; // null while the rates agree
    bool decoder_done = false;             // the resampler has had the last samples
    std::vector<float> decoded;            // file-rate samples on their way to it
    Block block;
    std::string failed;
    int in_rate = 0;
    int out_rate = 0;
    int64_t total = 0;
    int64_t next = 0;
};
