#include "plots/decimate.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <limits>

namespace korvel {

namespace {

constexpr double kGap = std::numeric_limits<double>::quiet_NaN();

void appendDrawable(std::vector<PlotPoint>& out, const PlotPoint& point) {
    out.push_back(std::isfinite(point.v) ? point : PlotPoint{point.t, kGap});
}

// One column's finite points in time order, then a gap when the column held a value that cannot be drawn.
struct Column {
    std::size_t first = 0, low = 0, high = 0, last = 0;
    bool any = false;
    bool gap = false;
    double gapTime = 0;

    void add(const TraceRing& ring, std::size_t i) {
        const double v = ring.at(i).v;
        if (!std::isfinite(v)) {
            gap = true;
            gapTime = ring.at(i).t;
            return;
        }
        if (!any) {
            first = low = high = last = i;
            any = true;
            return;
        }
        last = i;
        if (v < ring.at(low).v)
            low = i;
        if (v > ring.at(high).v)
            high = i;
    }

    void emit(const TraceRing& ring, std::vector<PlotPoint>& out) const {
        if (any) {
            std::array<std::size_t, 4> picks{first, low, high, last};
            std::sort(picks.begin(), picks.end());
            const auto end = std::unique(picks.begin(), picks.end());
            for (auto pick = picks.begin(); pick != end; ++pick)
                out.push_back(ring.at(*pick));
        }
        if (gap)
            out.push_back({gapTime, kGap});
    }
};

} // namespace

void decimateTrace(const TraceRing& ring, double from, double to, int columns, std::vector<PlotPoint>& out) {
    out.clear();
    if (ring.empty() || !(to >= from))
        return;
    columns = std::max(columns, 1);
    const std::size_t begin = ring.lowerBound(from);
    std::size_t end = begin;
    std::size_t lastInside = 0;
    if (ring.lastAtOrBefore(to, lastInside))
        end = std::max(begin, lastInside + 1);

    if (begin > 0)
        appendDrawable(out, ring.at(begin - 1));
    if (end - begin <= 4 * static_cast<std::size_t>(columns)) {
        for (std::size_t i = begin; i < end; ++i)
            appendDrawable(out, ring.at(i));
    } else {
        const double width = (to - from) / columns;
        Column column;
        int current = 0;
        for (std::size_t i = begin; i < end; ++i) {
            const double offset = width > 0 ? (ring.at(i).t - from) / width : 0;
            const int index = static_cast<int>(std::clamp(offset, 0.0, static_cast<double>(columns - 1)));
            if (index != current) {
                column.emit(ring, out);
                column = Column{};
                current = index;
            }
            column.add(ring, i);
        }
        column.emit(ring, out);
    }
    if (end < ring.size())
        appendDrawable(out, ring.at(end));
}

bool finiteValueRange(const TraceRing& ring, double from, double to, double& low, double& high) {
    bool any = false;
    for (std::size_t i = ring.lowerBound(from); i < ring.size() && ring.at(i).t <= to; ++i) {
        const double v = ring.at(i).v;
        if (!std::isfinite(v))
            continue;
        if (!any) {
            low = high = v;
            any = true;
        } else {
            low = std::min(low, v);
            high = std::max(high, v);
        }
    }
    return any;
}

} // namespace korvel
