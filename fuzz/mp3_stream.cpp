// Opens any bytes as an MP3 the way the music player does, at the file's
// own rate or resampled, then decodes all of it and seeks about.
//
// Input byte 0 picks the output rate; the rest is the file. Checks that an
// opened stream has a rate and a length, that reads never give more than
// asked or run past the length it announced, and that seeks land where they
// say, inside 0..length.
#include "fuzz_target.h"

#include "time/Mp3Stream.h"

#include <vector>

namespace {

void check_position(const Mp3Stream& stream)
{
    fuzz_check(stream.tell() >= 0 && stream.tell() <= stream.length(), "position outside the stream");
}

int run(const uint8_t* data, size_t size)
{
    if (size == 0)
        return 0;
    static const int rates[] = {0, 44100, 48000, 22050};
    const int rate = rates[data[0] % 4];
    Mp3Stream stream;
    if (!stream.open(data + 1, size - 1, rate)) {
        fuzz_check(!stream.is_open() && !stream.failure().empty(), "a failed open without a reason");
        return 0;
    }
    fuzz_check(stream.rate() > 0 && stream.file_rate() > 0, "no rate");
    fuzz_check(rate == 0 || stream.rate() == rate, "not the rate asked for");
    fuzz_check(stream.length() > 0, "an opened stream without samples");

    std::vector<float> out(1024 * Mp3Stream::kChannels);
    int64_t total = 0;
    for (int guard = 0; guard < 100000; ++guard) {
        const int got = stream.read(out.data(), 1024);
        fuzz_check(got >= 0 && got <= 1024, "read more than asked");
        if (got == 0)
            break;
        total += got;
        check_position(stream);
    }
    fuzz_check(total <= stream.length(), "read past the announced length");

    const int64_t length = stream.length();
    for (int64_t target : {length / 2, int64_t(0), length + 5, int64_t(-3), length - 1}) {
        const int64_t landed = stream.seek(target);
        fuzz_check(landed >= 0 && landed <= length, "seek outside the stream");
        fuzz_check(landed == stream.tell(), "seek and position disagree");
        const int got = stream.read(out.data(), 256);
        fuzz_check(got >= 0 && got <= 256 && landed + got <= length, "read past the end after a seek");
        check_position(stream);
    }
    return 0;
}

} // namespace

FUZZ_TARGET(mp3_stream, nullptr, run)
