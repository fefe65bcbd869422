#include "receive/monitorFold.h"

namespace korvel {

RowTimes rowLastTimesAscii;
RowTimes rowLastTimesPeak;

void MonitorFold::begin() {
    entries_.clear();
    index_.clear();
}

void MonitorFold::add(const CanFrame& frame, int32_t timestampMs) {
    const PairKey key = pairKey(frame.idText.view(), frame.dlc);
    const uint32_t found = index_.find(key);
    if (found != PairIndex::npos) {
        ++entries_[found].frameCount;
        return;
    }
    index_.insert(key, static_cast<uint32_t>(entries_.size()));
    entries_.push_back(PollEntry{frame.idText, frame.dlc, 1, frame.dataText, timestampMs});
}

bool commentColumnClickOpens(int x, int commentColumnLeft, int rowCount) {
    return rowCount > 0 && x > commentColumnLeft;
}

} // namespace korvel
