#pragma once

// A trace that shows a named signal of a database: its own copy of the message, so the trace outlives the
// database, and the signal's place in it.

#include "signals/dbc.h"
#include "signals/signalCodec.h"

#include <string>
#include <vector>

namespace korvel {

struct SignalPick {
    MessageDef message;
    int signalIndex = 0;
};

// The signal's physical value in one frame; false when the frame does not carry it (too short, or its
// multiplexor selects another signal). `scratch` is reused from frame to frame.
bool signalPickValue(const SignalPick& pick, const uint8_t* data, int length,
                     std::vector<DecodedSignal>& scratch, double& value);
// The legend's text: "EngineData.Speed".
[[nodiscard]] std::string signalPickName(const SignalPick& pick);

} // namespace korvel
