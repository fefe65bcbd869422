#pragma once

// The one place received frames reach the plots: every live plot shares one reception clock, so the same
// frame lands at the same time in every window. With no live plot open a frame costs one check.

#include "link/canFrame.h"
#include "plots/receptionClock.h"

#include <vector>

namespace korvel {

class PlotSession;

class PlotHub {
public:
    void attach(PlotSession* session);
    void detach(PlotSession* session);
    [[nodiscard]] bool active() const { return !sessions_.empty(); }

    // A frame that passed the filters, in arrival order. `stamped` says its time stamp is the adapter's
    // (or the kernel's); otherwise the host clock read at `hostSeconds` is its only time.
    void frameReceived(const CanFrame& frame, bool stamped, double hostSeconds);

private:
    std::vector<PlotSession*> sessions_;
    ReceptionClock clock_;
};

} // namespace korvel
