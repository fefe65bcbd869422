// What a periodic frame of the virtual adapter's traffic is made of; the built-in vehicle and scenario files
// both describe their frames this way.
#pragma once

#include "sim/simFrame.h"

#include <array>
#include <cstdint>

namespace korvel::sim {

enum class ByteKind : uint8_t {
    Fixed,   // the byte in frame.data
    Counter, // increments with every frame sent, wraps at 256
    Random,  // a fresh random byte every frame
};

inline constexpr int64_t kMinPeriodUs = 1000;
inline constexpr int64_t kMaxPeriodUs = 3600LL * 1000 * 1000;

struct PeriodicFrameSpec {
    SimFrame frame; // identifier, kind, DLC and the fixed bytes
    int64_t periodUs = 100'000;
    std::array<ByteKind, 8> kinds{};
    int signal = -1;          // >= 0: the payload comes from the built-in vehicle's signal of that number
    uint16_t permille = 1000; // chance that a due frame is actually sent, for "occasional" frames
    bool answersRtr = false;  // a remote request for this identifier gets the current payload at once
};

} // namespace korvel::sim
