#pragma once
// The editor's end of the sync wire format.
//
// The demo connects, sends "hello, synctracker!" and waits for
// "hello, demo!"; from then on both sides send one command byte followed by a
// fixed payload. Integers are big-endian, except the floats of
// SET_TRACK_VALUE and SET_FIRST_VALUE and the row of PAUSE, which travel
// little-endian. The command numbers are the demo's own (sync/sync_device.h).
//
// DemoStreamDecoder takes the demo's bytes as they arrive, in pieces of any
// size, and hands out whole messages; it never trusts a length it has not
// checked. The encode_* functions append one editor command to a buffer.
#include "sync/sync_device.h"

#include <cstddef>
#include <cstdint>
#include <string>

namespace tracker {

extern const char demo_greeting[];   // "hello, synctracker!" (19 bytes)
extern const char editor_greeting[]; // "hello, demo!" (12 bytes)
constexpr size_t demo_greeting_len = 19;
constexpr size_t editor_greeting_len = 12;

// Longest track name the editor accepts (far beyond any name a skene
// builds). A longer claim is garbage: waiting for it would let a stray peer
// make us buffer whatever it claims.
constexpr uint32_t max_track_name_bytes = 1024 * 1024;

// One command from the demo. Fields that the command lacks stay 0/empty.
struct DemoMessage {
    SyncCommand cmd = SyncCommand::SAVE_ALL;
    uint32_t index = 0;  // GET_TRACK: the demo's track index
    int32_t number = 0;  // SET_ROW: the row; FIND_TRACK, FIND_SKENE_START: the number
    float value = 0.0f;  // SET_TRACK_VALUE, SET_FIRST_VALUE
    std::string name;    // the raw name bytes
};

class DemoStreamDecoder {
public:
    enum class Result {
        Message,   // *out holds the next message
        NeedMore,  // wait for more bytes
        Greeted,   // the greeting arrived whole and correct
        Garbage,   // the stream is not a demo's: drop it (see error())
    };

    // Appends bytes received from the demo.
    void feed(const char* data, size_t len);
    // Takes the next complete item from what was fed. Once it has said
    // Garbage it says so for ever.
    Result next(DemoMessage* out);
    // What was wrong, after Garbage.
    const std::string& error() const { return error_; }
    bool greeted() const { return greeted_; }
    size_t buffered() const { return buffer_.size() - pos_; }

private:
    Result fail(std::string why);

    std::string buffer_;
    size_t pos_ = 0;
    bool greeted_ = false;
    bool broken_ = false;
    std::string error_;
};

// Editor commands, appended to out in wire order.
void encode_set_key(std::string& out, uint32_t index, int32_t row, float value, uint8_t type);
void encode_delete_key(std::string& out, uint32_t index, int32_t row);
void encode_set_no_key(std::string& out, uint32_t index);
void encode_set_row(std::string& out, int32_t row);
void encode_pause(std::string& out, bool pause, int32_t row);
// SAVE_TRACKS, MAKE_MASTER, DEFERRED_PURGE, DATA_RECEIVED_ALL: the byte alone.
void encode_plain(std::string& out, SyncCommand cmd);

} // namespace tracker
