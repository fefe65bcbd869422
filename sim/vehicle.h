// The built-in vehicle: a few dozen identifiers whose payloads carry counters and slowly changing signals,
// so a newcomer sees believable traffic with no scenario file.
#pragma once

#include "sim/periodicFrame.h"
#include "sim/rng.h"

#include <cstdint>
#include <vector>

namespace korvel::sim {

[[nodiscard]] const std::vector<PeriodicFrameSpec>& defaultVehicle();

// Fills frame.data for one of the vehicle's signals; `count` is how many frames of it were sent before,
// `sinceOpenUs` the frame's time since the channel was opened.
void fillVehiclePayload(int signal, uint64_t count, int64_t sinceOpenUs, Rng& rng, SimFrame& frame);

} // namespace korvel::sim
