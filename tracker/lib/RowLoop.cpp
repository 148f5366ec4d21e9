#include "tracker/lib/RowLoop.h"

#include <algorithm>

namespace tracker {

void RowLoop::set(int32_t first, int32_t last)
{
    set_ = true;
    first_ = std::min(first, last);
    last_ = std::max(first, last);
}

void RowLoop::placeDemo(int32_t row)
{
    known_ = true;
    at_ = row;
    seeking_ = false;
}

void RowLoop::seekDemo(int32_t row, int64_t nowMs)
{
    // Without knowing where the demo was, nothing it reports can be told to
    // be old.
    seeking_ = known_ && row != at_;
    seekFrom_ = at_;
    seekTo_ = row;
    seekAtMs_ = nowMs;
    staleReports_ = 0;
    known_ = true;
    at_ = row;
}

void RowLoop::forgetDemo()
{
    known_ = false;
    seeking_ = false;
}

RowLoop::Verdict RowLoop::demoReported(int32_t row, int64_t nowMs)
{
    if (seeking_ && (nowMs - seekAtMs_ > stale_report_ms || staleReports_ >= max_stale_reports))
        seeking_ = false;
    if (seeking_) {
        // The old place moves on from where the demo was. The new one may
        // read a row short of the target (the demo's clock counts in
        // seconds and truncates).
        const bool old = seekTo_ < seekFrom_ ? row > seekFrom_ : row < seekTo_ - 1;
        if (old) {
            ++staleReports_;
            return Verdict::Stale;
        }
        seeking_ = false;
    }
    const bool crossed = set_ && known_ && at_ <= last_ && row > last_;
    known_ = true;
    at_ = row;
    if (!crossed)
        return Verdict::Follow;
    seekDemo(first_, nowMs);
    return Verdict::Loop;
}

} // namespace tracker
