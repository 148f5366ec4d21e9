#pragma once
// A block of rows the playing demo goes round: when the row the demo reports
// passes the block's last row, the demo is sent back to its first, and music
// and picture jump back together.
//
// The demo reports its row once a frame while it plays, and a slow frame
// covers several rows, so the loop watches for the row passing the end, not
// for the end row itself. It pulls back only a demo that played across the
// end from at or before it: a demo the author sent past the block plays on,
// and one that plays into the block later loops again.
//
// A seek takes a frame to reach the demo, and the rows it reports meanwhile
// still belong to where it was (the frame that takes the seek reports the
// row it had before). Those would pull the demo back a second time or undo
// the author's seek, so they are told apart here: after a seek forwards,
// rows before its target; after one backwards, rows past where the demo
// was. Only a few such reports can be on their way, and only for a moment.
#include <cstdint>

namespace tracker {

// Reports of the demo's old place taken as such after a seek, at most, and
// for how long.
constexpr int max_stale_reports = 2;
constexpr int64_t stale_report_ms = 500;

class RowLoop {
public:
    enum class Verdict {
        Follow, // where the demo plays now
        Stale,  // where it was before the last seek: not to be shown
        Loop,   // it passed the end: send it to first()
    };

    bool isSet() const { return set_; }
    int32_t first() const { return first_; }
    int32_t last() const { return last_; }
    // The rows first..last loop (the two in either order).
    void set(int32_t first, int32_t last);
    void clear() { set_ = false; }

    // The demo is at row and reports nothing old (it was paused there, or
    // has just connected).
    void placeDemo(int32_t row);
    // The editor sent the playing demo to row at nowMs (a monotonic clock).
    void seekDemo(int32_t row, int64_t nowMs);
    // Where the demo is, is not known (it started to play without us, or
    // went away); its next row only says where it is.
    void forgetDemo();
    // A row the playing demo reported at nowMs. On Loop the demo counts as
    // sent to first() at nowMs; sending it there is the caller's.
    Verdict demoReported(int32_t row, int64_t nowMs);

private:
    bool set_ = false;
    int32_t first_ = 0;
    int32_t last_ = 0;

    bool known_ = false; // at_ holds where the demo is
    int32_t at_ = 0;

    bool seeking_ = false; // old reports may still come
    int32_t seekFrom_ = 0;
    int32_t seekTo_ = 0;
    int64_t seekAtMs_ = 0;
    int staleReports_ = 0;
};

} // namespace tracker
