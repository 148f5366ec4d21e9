// Keys that a paste in our sync editor reads from the clipboard's text,
// which any program can put there.
//
// The input is that text. Checks that text read as a block gives only keys
// inside the block it claims, with values that are finite numbers, and that
// the block written out again reads back to the same keys.
#include "fuzz_target.h"

#include "tracker/lib/KeyClipboard.h"

#include <QString>

#include <cmath>

namespace {

constexpr int32_t kMaxRows = 1 << 24;

int run(const uint8_t* data, size_t size)
{
    const QString text = QString::fromUtf8(reinterpret_cast<const char*>(data), int(size));
    tracker::KeyBlock block;
    std::vector<tracker::RefusedKey> refused;
    QString why;
    if (!tracker::parseKeyBlock(text, kMaxRows, &block, &refused, &why)) {
        fuzz_check(!why.isEmpty(), "text refused without a word");
        return 0;
    }
    fuzz_check(block.tracks >= 1 && block.tracks <= tracker::max_block_tracks && block.rows >= 1
                   && block.rows <= kMaxRows,
               "a block of a size it cannot have");
    for (const tracker::BlockKey& k : block.keys) {
        fuzz_check(k.track >= 0 && k.track < block.tracks && k.row >= 0 && k.row < block.rows,
                   "a key outside its block");
        fuzz_check(std::isfinite(k.value), "a value that is no number");
    }
    tracker::KeyBlock again;
    fuzz_check(tracker::parseKeyBlock(tracker::keyBlockText(block), kMaxRows, &again, &refused, &why),
               "a block written out does not read back");
    fuzz_check(again.tracks == block.tracks && again.rows == block.rows && again.keys.size() == block.keys.size(),
               "a block changed on its way through text");
    for (size_t i = 0; i < block.keys.size(); ++i) {
        const tracker::BlockKey& a = block.keys[i];
        const tracker::BlockKey& b = again.keys[i];
        fuzz_check(a.track == b.track && a.row == b.row && a.value == b.value && a.type == b.type,
                   "a key changed on its way through text");
    }
    return 0;
}

} // namespace

FUZZ_TARGET(key_clipboard, nullptr, run)
