#include "plots/plotHub.h"

#include "plots/plotSession.h"
#include "signals/databaseSet.h"

#include <algorithm>

namespace korvel {

void PlotHub::attach(PlotSession* session) {
    if (std::find(sessions_.begin(), sessions_.end(), session) == sessions_.end())
        sessions_.push_back(session);
}

void PlotHub::detach(PlotSession* session) {
    sessions_.erase(std::remove(sessions_.begin(), sessions_.end(), session), sessions_.end());
}

void PlotHub::frameReceived(const CanFrame& frame, bool stamped, double hostSeconds) {
    if (sessions_.empty())
        return;
    uint32_t id = 0;
    if (frame.isRemote || !frameIdValue(frame.idText.view(), id))
        return;
    // Every frame advances the clock, so a wrap is seen when it happens, however rare the traced frames.
    const double t = stamped ? clock_.seconds(frame.timestampMs, hostSeconds) : clock_.hostOnly(hostSeconds);
    uint8_t data[8] = {};
    int length = -1;
    for (PlotSession* session : sessions_) {
        if (!session->wants(id, frame.isExtended))
            continue;
        if (length < 0)
            length = frameDataBytes(frame.dataText.view(), data);
        session->addFrame(id, frame.isExtended, data, length, t);
    }
}

} // namespace korvel
