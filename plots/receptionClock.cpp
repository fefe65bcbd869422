#include "plots/receptionClock.h"

#include <cmath>
#include <cstdlib>

namespace korvel {

int64_t ReceptionClock::period() const {
    if (periodMs_ > 0)
        return periodMs_;
    if (largestStamp_ < 60000)
        return 60000;
    return largestStamp_ < 65536 ? 65536 : 100000;
}

double ReceptionClock::seconds(int64_t stampMs, std::optional<double> hostSeconds) {
    if (!started_) {
        started_ = true;
        firstStampMs_ = stampMs;
        lastStamp_ = largestStamp_ = stampMs;
        lastHost_ = hostSeconds && std::isfinite(*hostSeconds) ? *hostSeconds : 0;
        return firstStampMs_ / 1000.0;
    }
    if (stampMs > largestStamp_)
        largestStamp_ = stampMs;
    const int64_t p = period();
    const int64_t step = stampMs - lastStamp_;
    int64_t advance = 0;
    if (hostSeconds && std::isfinite(*hostSeconds)) {
        // Of the steps the stamps allow (the plain difference, or one plus whole periods), the one nearest
        // to the time that passed on the host.
        const double hostMs = (*hostSeconds - lastHost_) * 1000.0;
        const int64_t wrapped = step < 0 ? step + p : step;
        const double periods = std::floor((hostMs - wrapped) / p + 0.5);
        advance = wrapped + (periods > 0 ? static_cast<int64_t>(periods) * p : 0);
        if (step < 0 && std::abs(static_cast<double>(step) - hostMs) < std::abs(advance - hostMs))
            advance = step;
        lastHost_ = *hostSeconds;
    } else {
        advance = step < 0 && -step > p / 2 ? step + p : step;
    }
    lastStamp_ = stampMs;
    if (advance < 0) {
        ++backwardSteps_;
        advance = 0;
    }
    elapsedMs_ += advance;
    return (firstStampMs_ + elapsedMs_) / 1000.0;
}

double ReceptionClock::hostOnly(double hostSeconds) {
    if (!started_) {
        started_ = true;
        hostStart_ = hostSeconds;
        lastHost_ = hostSeconds;
    }
    // A clock read that is earlier than the last one keeps the last time.
    if (hostSeconds > lastHost_)
        lastHost_ = hostSeconds;
    return lastHost_ - hostStart_;
}

void ReceptionClock::reset() {
    const int64_t period = periodMs_;
    *this = ReceptionClock{};
    periodMs_ = period;
}

} // namespace korvel
