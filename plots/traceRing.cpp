#include "plots/traceRing.h"

#include <algorithm>

namespace korvel {

TraceRing::TraceRing(std::size_t capacity) : capacity_(std::max<std::size_t>(capacity, 1)) {
}

void TraceRing::append(double t, double v) {
    if (points_.size() < capacity_) {
        points_.push_back({t, v});
        return;
    }
    points_[head_] = {t, v};
    head_ = head_ + 1 == capacity_ ? 0 : head_ + 1;
    ++dropped_;
}

void TraceRing::clear() {
    points_.clear();
    points_.shrink_to_fit();
    head_ = 0;
    dropped_ = 0;
}

std::size_t TraceRing::lowerBound(double t) const {
    std::size_t low = 0;
    std::size_t high = points_.size();
    while (low < high) {
        const std::size_t mid = low + (high - low) / 2;
        if (at(mid).t < t)
            low = mid + 1;
        else
            high = mid;
    }
    return low;
}

bool TraceRing::lastAtOrBefore(double t, std::size_t& index) const {
    std::size_t low = 0;
    std::size_t high = points_.size();
    while (low < high) {
        const std::size_t mid = low + (high - low) / 2;
        if (at(mid).t <= t)
            low = mid + 1;
        else
            high = mid;
    }
    if (low == 0)
        return false;
    index = low - 1;
    return true;
}

} // namespace korvel
