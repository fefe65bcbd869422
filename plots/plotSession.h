#pragma once

// The data of one plot window: its traces, each a source and a ring of points, fed frame by frame (live)
// or from the Tracer's lines (offline). No widgets; the window only draws what this holds.

#include "plots/plotSource.h"
#include "plots/traceRing.h"

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

namespace korvel {

struct MessageDef;
struct SignalPick; // a named signal of a database, defined in plotSignals.h
struct DecodeScratch;

inline constexpr std::size_t kDefaultRingPoints = 1'000'000;
inline constexpr std::size_t kMinRingPoints = 1'000;
inline constexpr std::size_t kMaxRingPoints = 50'000'000;

struct PlotTrace {
    ByteSource bytes;                         // when `signal` is empty
    std::shared_ptr<const SignalPick> signal; // a named signal
    std::string name;                         // the legend's text
    std::string unit;
    TraceRing ring;
};

class PlotSession {
public:
    explicit PlotSession(std::size_t ringPoints = kDefaultRingPoints);
    ~PlotSession();
    PlotSession(const PlotSession&) = delete;
    PlotSession& operator=(const PlotSession&) = delete;

    // False for a field that cannot exist in a frame.
    bool addTrace(const ByteSource& source);
    // A signal of a loaded database; the message is copied, so removing the database later leaves the trace.
    bool addSignalTrace(const MessageDef& message, int signalIndex);
    void removeTrace(int index);
    [[nodiscard]] int traceCount() const { return static_cast<int>(traces_.size()); }
    [[nodiscard]] const PlotTrace& trace(int index) const {
        return *traces_[static_cast<std::size_t>(index)];
    }
    [[nodiscard]] std::size_t ringPoints() const { return ringPoints_; }

    // True when some trace takes values from this identifier: the receive path asks before doing more.
    [[nodiscard]] bool wants(uint32_t id, bool extended) const;
    // One frame at `t` seconds; `line` is the Tracer line it came from (-1 live). A frame too short for a
    // trace's field adds nothing to that trace.
    void addFrame(uint32_t id, bool extended, const uint8_t* data, int length, double t, int line = -1);
    void clearPoints();

    // Counts every point added, so a window repaints only when something changed.
    [[nodiscard]] uint64_t revision() const { return revision_; }
    // Earliest and latest time held by any trace; false when none holds a point.
    [[nodiscard]] bool timeRange(double& first, double& last) const;
    // The Tracer line of the traced frame nearest to `t`; -1 when there is none (live data).
    [[nodiscard]] int lineNearest(double t) const;

private:
    void indexTraces();
    void addTraceRecord(std::unique_ptr<PlotTrace> trace);

    std::size_t ringPoints_;
    std::vector<std::unique_ptr<PlotTrace>> traces_;
    std::unordered_map<uint32_t, std::vector<int>> byId_; // identifier (bit 31: extended) -> traces
    std::unique_ptr<DecodeScratch> scratch_;
    // Offline only: the time and Tracer line of each traced frame, in time order.
    std::vector<double> lineTimes_;
    std::vector<int> lines_;
    uint64_t revision_ = 0;
};

// The ring size from the settings text: leading decimal digits, clamped to a sane range; the default when
// there are none.
[[nodiscard]] std::size_t ringPointsSetting(std::string_view text);

// Feeds a session from the Tracer's lines (without line ends), each frame at its own time made continuous
// across the wraps of the time field. Lines that hold no frame are passed over. Returns the frames read.
using PlotLineSource = std::function<void(const std::function<void(std::string_view line)>& visit)>;
std::size_t loadTracerLines(PlotSession& session, const PlotLineSource& lines);

} // namespace korvel
