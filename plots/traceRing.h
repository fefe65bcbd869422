#pragma once

// The points of one trace: a ring that keeps the newest `capacity` points, so a trace fed for hours holds
// bounded memory. Times are expected in order (the reception clock never goes backwards), which lets a
// view find its range by binary search.

#include <cstddef>
#include <vector>

namespace korvel {

struct PlotPoint {
    double t = 0; // seconds
    double v = 0; // NaN or infinite when the source delivered such a value
};

class TraceRing {
public:
    explicit TraceRing(std::size_t capacity);

    // Drops the oldest point when full. Memory grows with the points, up to the capacity.
    void append(double t, double v);
    void clear();

    [[nodiscard]] std::size_t size() const { return points_.size(); }
    [[nodiscard]] std::size_t capacity() const { return capacity_; }
    [[nodiscard]] bool empty() const { return points_.empty(); }
    // Points dropped to make room since the last clear().
    [[nodiscard]] std::size_t dropped() const { return dropped_; }
    // 0 is the oldest point held.
    [[nodiscard]] const PlotPoint& at(std::size_t index) const {
        const std::size_t i = head_ + index;
        return points_[i < points_.size() ? i : i - points_.size()];
    }
    [[nodiscard]] const PlotPoint& back() const { return at(points_.size() - 1); }
    // Index of the first point at or after `t`; size() when there is none.
    [[nodiscard]] std::size_t lowerBound(double t) const;
    // Index of the last point at or before `t`; false when every point is later.
    [[nodiscard]] bool lastAtOrBefore(double t, std::size_t& index) const;

private:
    std::size_t capacity_;
    std::vector<PlotPoint> points_;
    std::size_t head_ = 0; // index of the oldest point once the ring is full
    std::size_t dropped_ = 0;
};

} // namespace korvel
