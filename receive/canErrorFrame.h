#pragma once

// The kernel's CAN error frames in words: the error class of the identifier, the controller's status, the
// protocol violation and where it struck, the transceiver's state, and the error counters where the driver
// reports them.

#include "link/socketCanFrame.h"

#include <optional>
#include <string>

namespace korvel {

struct CanErrorReport {
    std::string words; // "bus off; controller: RX error passive", joined by "; "
    // "error active", "error warning", "error passive" or "bus off"; nothing when the frame does not tell.
    std::optional<std::string> state;
    std::optional<int> txErrors;
    std::optional<int> rxErrors;
    bool overrun = false; // the controller lost frames for want of buffer room
};

// Nothing for a frame without the error flag: it is no error frame.
[[nodiscard]] std::optional<CanErrorReport> decodeCanErrorFrame(const CanWireFrame& frame);

} // namespace korvel
