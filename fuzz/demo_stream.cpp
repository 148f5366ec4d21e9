// Our sync editor's reading of what a demo sends.
//
// The input is the stream from the demo's first byte on (greeting
// included). It is decoded once whole and once cut into pieces whose sizes
// come from the input itself. Checks that both give the same greeting,
// messages and verdict, that a stream once called garbage stays garbage,
// that no name is longer than the editor accepts, and that the decoder
// keeps no more than it was fed.
#include "fuzz_target.h"

#include "tracker/lib/wire.h"

#include <cstring>
#include <string>
#include <vector>

namespace {

using tracker::DemoMessage;
using tracker::DemoStreamDecoder;

// Everything the decoder hands out, as text, in order. True once it said
// garbage.
bool drain(DemoStreamDecoder& decoder, std::string& log)
{
    for (;;) {
        DemoMessage m;
        const DemoStreamDecoder::Result r = decoder.next(&m);
        switch (r) {
        case DemoStreamDecoder::Result::NeedMore:
            return false;
        case DemoStreamDecoder::Result::Greeted:
            log += "greeted;";
            break;
        case DemoStreamDecoder::Result::Garbage:
            log += "garbage;";
            fuzz_check(decoder.next(&m) == DemoStreamDecoder::Result::Garbage, "garbage was forgotten");
            return true;
        case DemoStreamDecoder::Result::Message: {
            fuzz_check(m.name.size() <= tracker::max_track_name_bytes, "a name longer than the limit");
            uint32_t bits;
            std::memcpy(&bits, &m.value, sizeof bits);
            log += std::to_string(int(m.cmd)) + "," + std::to_string(m.index) + "," + std::to_string(m.number) + ","
                   + std::to_string(bits) + "," + m.name + ";";
            break;
        }
        }
    }
}

int run(const uint8_t* data, size_t size)
{
    const char* bytes = reinterpret_cast<const char*>(data);
    DemoStreamDecoder whole;
    whole.feed(bytes, size);
    std::string wholeLog;
    drain(whole, wholeLog);
    fuzz_check(whole.buffered() <= size, "kept more than it was fed");

    DemoStreamDecoder pieces;
    std::string piecesLog;
    size_t at = 0;
    for (size_t i = 0; at < size; ++i) {
        const size_t piece = 1 + data[i % size] % 23;
        const size_t n = piece < size - at ? piece : size - at;
        pieces.feed(bytes + at, n);
        at += n;
        if (drain(pieces, piecesLog))
            break;
    }
    fuzz_check(piecesLog == wholeLog, "pieces decode otherwise than the whole");
    return 0;
}

} // namespace

FUZZ_TARGET(demo_stream, nullptr, run)
