#pragma once

// One receive poll folded into one entry per distinct (identifier text, data length) pair, which the
// Monitor then writes once per pair instead of once per frame. Every pair of a poll gets an entry, however
// many there are, so no frame is ever lost for the view.

#include "link/canFrame.h"
#include "link/shortText.h"
#include "receive/pairIndex.h"

#include <cstdint>
#include <span>
#include <vector>

namespace korvel {

struct PollEntry {
    ShortText<8> idText;
    uint8_t dlc = 0;
    uint32_t frameCount = 0; // frames of this pair in this poll
    ShortText<23> dataText;  // of the frame that made the entry
    int32_t timestampMs = 0; // of the frame that made the entry
};

// The Monitor's per-row times (milliseconds, wrapping at 60000), one table per receive procedure, indexed
// by row number from 0. They outlive clearing the rows; updateMonitorRows grows them as rows appear.
using RowTimes = std::vector<int32_t>;
extern RowTimes rowLastTimesAscii;
extern RowTimes rowLastTimesPeak;

// Fed frame by frame during a poll. The first frame of a pair makes its entry and keeps its data and
// time; later frames of the pair only count. Storage is reused from poll to poll, so a steady stream
// allocates nothing.
class MonitorFold {
public:
    // Starts a new poll: forgets the entries of the last one.
    void begin();
    // The frame's own timestamp is its time (adapter kinds).
    void add(const CanFrame& frame) { add(frame, frame.timestampMs); }
    // The caller supplies the time (the PC clock for PEAK); only a new entry uses it.
    void add(const CanFrame& frame, int32_t timestampMs);

    [[nodiscard]] std::span<const PollEntry> entries() const { return entries_; }
    [[nodiscard]] bool empty() const { return entries_.empty(); }

private:
    std::vector<PollEntry> entries_;
    PairIndex index_;
};

// Whether a release in the Monitor list opens the comment dialog: only to the right of the left edge of
// the comment column, and only when there is a row. Both positions in the list's viewport coordinates.
[[nodiscard]] bool commentColumnClickOpens(int x, int commentColumnLeft, int rowCount);

} // namespace korvel
