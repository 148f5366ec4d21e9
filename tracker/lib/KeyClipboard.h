#pragma once
// A block of keys as text on the system clipboard, so that keys move
// between editors (the demo starts one process per skene) and to and from a
// text editor. Tab-separated lines:
//
//   sync-keys	2 tracks	9 rows
//   row	track	value	interpolation	name
//   0	0	1	linear	g.a
//   4	1	5	smooth	g.b
//
// Rows and tracks count from the block's first; values are written with
// every digit a float needs, so a copy pastes back exactly. The name is
// there for people and is not read back: a paste places the keys from the
// cursor on, track by track, as a copy within one editor does.
#include <QString>

#include <cstdint>
#include <string>
#include <vector>

namespace tracker {

struct BlockKey {
    int track;      // 0 .. tracks - 1
    int32_t row;    // 0 .. rows - 1
    float value;
    int32_t type;
};

struct KeyBlock {
    int tracks = 0;
    int32_t rows = 0;
    std::vector<BlockKey> keys;
    std::vector<std::string> names; // one per track, for the text only
};

// A key's value as text, typed or pasted ("1.5", "-2", "1e-3"), always in
// the C locale's notation.
enum class ValueText {
    Number,     // *value holds it
    NotFinite,  // nan, inf, or beyond a float's range (1e39): no key holds it
    NotANumber, // not a number at all
};
ValueText parseKeyValue(const QString& text, float* value);
// A value as text that reads back as the same float.
QString keyValueText(float value);

// The most tracks and rows a pasted block may claim; its keys must lie
// inside what it claims.
constexpr int max_block_tracks = 100000;

// The text of block.
QString keyBlockText(const KeyBlock& block);

// A key that a pasted text holds but that is not taken: its value is not a
// finite number a key can hold (nan, inf, or beyond a float's range).
struct RefusedKey {
    int track;
    int32_t row;
    QString text; // the value as written
};

// Reads text back into *block. False, with *why, when the text is not such
// a block (a heading other than ours, a line that does not parse, a key
// outside the block). Keys whose value is no finite number are left out and
// listed in *refused.
bool parseKeyBlock(const QString& text, int32_t maxRows, KeyBlock* block, std::vector<RefusedKey>* refused,
                   QString* why);

} // namespace tracker
