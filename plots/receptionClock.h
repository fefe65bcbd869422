#pragma once

// Frames carry times that wrap (adapters count milliseconds modulo a minute or 16 bits) and may step
// backwards (a reset adapter, frames of one poll out of order). A plot needs one continuous axis: this turns
// the times into seconds that never decrease, starting at the first frame's own time, so the first minute
// reads as the Tracer does.

#include <cstdint>
#include <optional>

namespace korvel {

class ReceptionClock {
public:
    // A frame's time stamp in milliseconds. With `hostSeconds` (a monotonic clock read when the frame
    // arrived) the clock counts wraps that no frame saw, and tells a wrap from a small step backwards by the
    // time that really passed; without it, a step back of over half the period is a wrap. `period` 0 guesses
    // it from the largest stamp seen: 60 s, 65.536 s or 100 s.
    double seconds(int64_t stampMs, std::optional<double> hostSeconds = std::nullopt);
    // For frames without a time stamp: the host clock alone.
    double hostOnly(double hostSeconds);

    void setPeriodMs(int64_t period) { periodMs_ = period; }
    void reset();

    [[nodiscard]] std::size_t backwardSteps() const { return backwardSteps_; }

private:
    [[nodiscard]] int64_t period() const;

    bool started_ = false;
    int64_t periodMs_ = 0;
    int64_t largestStamp_ = 0;
    int64_t lastStamp_ = 0;
    double lastHost_ = 0;
    int64_t elapsedMs_ = 0; // since the first frame
    int64_t firstStampMs_ = 0;
    double hostStart_ = 0;
    std::size_t backwardSteps_ = 0;
};

} // namespace korvel
