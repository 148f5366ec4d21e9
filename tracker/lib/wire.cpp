#include "tracker/lib/wire.h"

#include <cstdio>
#include <cstring>

namespace tracker {

const char demo_greeting[] = "hello, synctracker!";
const char editor_greeting[] = "hello, demo!";

namespace {

uint32_t be32(const unsigned char* p)
{
    return uint32_t(p[0]) << 24 | uint32_t(p[1]) << 16 | uint32_t(p[2]) << 8 | uint32_t(p[3]);
}

uint32_t le32(const unsigned char* p)
{
    return uint32_t(p[0]) | uint32_t(p[1]) << 8 | uint32_t(p[2]) << 16 | uint32_t(p[3]) << 24;
}

void put_be32(std::string& out, uint32_t v)
{
    const char b[4] = {char(v >> 24), char(v >> 16), char(v >> 8), char(v)};
    out.append(b, 4);
}

void put_le32(std::string& out, uint32_t v)
{
    const char b[4] = {char(v), char(v >> 8), char(v >> 16), char(v >> 24)};
    out.append(b, 4);
}

float float_from_bits(uint32_t bits)
{
    float f;
    std::memcpy(&f, &bits, sizeof f);
    return f;
}

uint32_t bits_of(float f)
{
    uint32_t bits;
    std::memcpy(&bits, &f, sizeof bits);
    return bits;
}

// Commands whose payload is a 4-byte field, a name length and the name.
bool is_named(SyncCommand cmd)
{
    return cmd == SyncCommand::GET_TRACK || cmd == SyncCommand::FIND_TRACK
        || cmd == SyncCommand::SET_TRACK_VALUE || cmd == SyncCommand::FIND_SKENE_START
        || cmd == SyncCommand::SET_FIRST_VALUE;
}

} // namespace

void DemoStreamDecoder::feed(const char* data, size_t len)
{
    if (broken_)
        return;
    // Drop what was handled before growing, so a long session does not keep
    // every byte it ever received.
    if (pos_ > 0 && pos_ == buffer_.size()) {
        buffer_.clear();
        pos_ = 0;
    } else if (pos_ > 64 * 1024) {
        buffer_.erase(0, pos_);
        pos_ = 0;
    }
    buffer_.append(data, len);
}

DemoStreamDecoder::Result DemoStreamDecoder::fail(std::string why)
{
    broken_ = true;
    error_ = std::move(why);
    buffer_.clear();
    pos_ = 0;
    return Result::Garbage;
}

DemoStreamDecoder::Result DemoStreamDecoder::next(DemoMessage* out)
{
    if (broken_)
        return Result::Garbage;
    const size_t avail = buffer_.size() - pos_;
    const auto* p = reinterpret_cast<const unsigned char*>(buffer_.data() + pos_);

    if (!greeted_) {
        // Refuse as soon as one byte differs rather than waiting for 19.
        const size_t n = avail < demo_greeting_len ? avail : demo_greeting_len;
        if (std::memcmp(p, demo_greeting, n) != 0)
            return fail("not a demo: wrong greeting");
        if (n < demo_greeting_len)
            return Result::NeedMore;
        pos_ += demo_greeting_len;
        greeted_ = true;
        return Result::Greeted;
    }
    if (avail == 0)
        return Result::NeedMore;

    const auto cmd = SyncCommand(p[0]);
    DemoMessage msg;
    msg.cmd = cmd;
    size_t size = 1;
    if (is_named(cmd)) {
        if (avail < 9)
            return Result::NeedMore;
        const uint32_t len = be32(p + 5);
        if (len > max_track_name_bytes)
            return fail("track name of " + std::to_string(len) + " bytes");
        size = 9 + size_t(len);
        if (avail < size)
            return Result::NeedMore;
        const uint32_t field = be32(p + 1);
        if (cmd == SyncCommand::SET_TRACK_VALUE || cmd == SyncCommand::SET_FIRST_VALUE)
            msg.value = float_from_bits(le32(p + 1));
        else if (cmd == SyncCommand::GET_TRACK)
            msg.index = field;
        else
            msg.number = int32_t(field);
        msg.name.assign(reinterpret_cast<const char*>(p + 9), len);
    } else if (cmd == SyncCommand::SET_ROW) {
        size = 5;
        if (avail < size)
            return Result::NeedMore;
        msg.number = int32_t(be32(p + 1));
    } else if (cmd != SyncCommand::SAVE_ALL) {
        char hex[8];
        std::snprintf(hex, sizeof hex, "%02x", unsigned(p[0]));
        return fail(std::string("unknown command ") + hex);
    }
    pos_ += size;
    *out = std::move(msg);
    return Result::Message;
}

void encode_set_key(std::string& out, uint32_t index, int32_t row, float value, uint8_t type)
{
    out.push_back(char(SyncCommand::SET_KEY));
    put_be32(out, index);
    put_be32(out, uint32_t(row));
    put_be32(out, bits_of(value));
    out.push_back(char(type));
}

void encode_delete_key(std::string& out, uint32_t index, int32_t row)
{
    out.push_back(char(SyncCommand::DELETE_KEY));
    put_be32(out, index);
    put_be32(out, uint32_t(row));
}

void encode_set_no_key(std::string& out, uint32_t index)
{
    out.push_back(char(SyncCommand::SET_NO_KEY));
    put_be32(out, index);
}

void encode_set_row(std::string& out, int32_t row)
{
    out.push_back(char(SyncCommand::SET_ROW));
    put_be32(out, uint32_t(row));
}

void encode_pause(std::string& out, bool pause, int32_t row)
{
    out.push_back(char(SyncCommand::PAUSE));
    out.push_back(char(pause ? 1 : 0));
    put_le32(out, uint32_t(row));
}

void encode_plain(std::string& out, SyncCommand cmd)
{
    out.push_back(char(cmd));
}

} // namespace tracker
