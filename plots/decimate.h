#pragma once

// What a view draws of a trace: however many points fall into the visible time range, at most four per
// pixel column (the first, the lowest, the highest and the last, in time order), so a repaint costs the
// same for a thousand points as for a million and no spike is lost.

#include "plots/traceRing.h"

#include <vector>

namespace korvel {

// The points of [from, to] for `columns` pixel columns (at least one is used), plus the nearest point on
// either side outside the range, so the line runs to the edges. A NaN or infinite value cannot be drawn:
// the line breaks there (a point with a NaN value, which plots leave as a gap).
void decimateTrace(const TraceRing& ring, double from, double to, int columns, std::vector<PlotPoint>& out);

// Lowest and highest finite value among the points of [from, to]; false when there is none.
[[nodiscard]] bool finiteValueRange(const TraceRing& ring, double from, double to, double& low, double& high);

} // namespace korvel
