#include "plots/plotSession.h"

#include "plots/plotSignals.h"
#include "plots/receptionClock.h"
#include "traces/logFrame.h"

#include <algorithm>
#include <cmath>
#include <limits>

namespace korvel {

namespace {

uint32_t idKey(uint32_t id, bool extended) {
    return extended ? id | 0x80000000u : id;
}

} // namespace

struct DecodeScratch {
    std::vector<DecodedSignal> decoded;
};

PlotSession::PlotSession(std::size_t ringPoints)
    : ringPoints_(std::clamp(ringPoints, kMinRingPoints, kMaxRingPoints)),
      scratch_(std::make_unique<DecodeScratch>()) {
}

PlotSession::~PlotSession() = default;

void PlotSession::addTraceRecord(std::unique_ptr<PlotTrace> trace) {
    traces_.push_back(std::move(trace));
    indexTraces();
}

bool PlotSession::addTrace(const ByteSource& source) {
    if (!isValidByteSource(source))
        return false;
    auto trace = std::make_unique<PlotTrace>(
        PlotTrace{source, nullptr, byteSourceName(source), {}, TraceRing(ringPoints_)});
    addTraceRecord(std::move(trace));
    return true;
}

bool PlotSession::addSignalTrace(const MessageDef& message, int signalIndex) {
    if (signalIndex < 0 || static_cast<std::size_t>(signalIndex) >= message.signalList.size())
        return false;
    auto pick = std::make_shared<SignalPick>(SignalPick{message, signalIndex});
    ByteSource where;
    where.id = message.id;
    where.extended = message.extended;
    const std::string unit = message.signalList[static_cast<std::size_t>(signalIndex)].unit;
    auto trace = std::make_unique<PlotTrace>(
        PlotTrace{where, pick, signalPickName(*pick), unit, TraceRing(ringPoints_)});
    addTraceRecord(std::move(trace));
    return true;
}

void PlotSession::removeTrace(int index) {
    if (index < 0 || index >= traceCount())
        return;
    traces_.erase(traces_.begin() + index);
    indexTraces();
    ++revision_;
}

void PlotSession::indexTraces() {
    byId_.clear();
    for (std::size_t i = 0; i < traces_.size(); ++i) {
        const ByteSource& where = traces_[i]->bytes;
        byId_[idKey(where.id, where.extended)].push_back(static_cast<int>(i));
    }
}

bool PlotSession::wants(uint32_t id, bool extended) const {
    return byId_.count(idKey(id, extended)) != 0;
}

void PlotSession::addFrame(uint32_t id, bool extended, const uint8_t* data, int length, double t, int line) {
    const auto found = byId_.find(idKey(id, extended));
    if (found == byId_.end())
        return;
    bool added = false;
    for (int index : found->second) {
        PlotTrace& trace = *traces_[static_cast<std::size_t>(index)];
        double value = 0;
        const bool present = trace.signal
                                 ? signalPickValue(*trace.signal, data, length, scratch_->decoded, value)
                                 : byteSourceValue(trace.bytes, data, length, value);
        if (!present)
            continue;
        trace.ring.append(t, value);
        added = true;
    }
    if (!added)
        return;
    ++revision_;
    if (line >= 0 && lines_.size() < ringPoints_) {
        lineTimes_.push_back(t);
        lines_.push_back(line);
    }
}

void PlotSession::clearPoints() {
    for (auto& trace : traces_)
        trace->ring.clear();
    lineTimes_.clear();
    lines_.clear();
    ++revision_;
}

bool PlotSession::timeRange(double& first, double& last) const {
    bool any = false;
    for (const auto& trace : traces_) {
        if (trace->ring.empty())
            continue;
        const double a = trace->ring.at(0).t;
        const double b = trace->ring.back().t;
        first = any ? std::min(first, a) : a;
        last = any ? std::max(last, b) : b;
        any = true;
    }
    return any;
}

int PlotSession::lineNearest(double t) const {
    if (lines_.empty())
        return -1;
    const auto after = std::lower_bound(lineTimes_.begin(), lineTimes_.end(), t);
    auto index = static_cast<std::size_t>(after - lineTimes_.begin());
    if (index == lines_.size() || (index > 0 && t - lineTimes_[index - 1] <= lineTimes_[index] - t))
        --index;
    return lines_[index];
}

std::size_t ringPointsSetting(std::string_view text) {
    std::size_t i = 0;
    while (i < text.size() && text[i] == ' ')
        ++i;
    uint64_t value = 0;
    bool digits = false;
    for (; i < text.size() && text[i] >= '0' && text[i] <= '9'; ++i) {
        digits = true;
        value = std::min<uint64_t>(value * 10 + static_cast<uint64_t>(text[i] - '0'), kMaxRingPoints);
    }
    if (!digits)
        return kDefaultRingPoints;
    return std::clamp(static_cast<std::size_t>(value), kMinRingPoints, kMaxRingPoints);
}

std::size_t loadTracerLines(PlotSession& session, const PlotLineSource& lines) {
    // The wrap period of the time field is told by the largest time, so the lines are read twice.
    int64_t largest = 0;
    LogFrame frame;
    int64_t timeMs = 0;
    lines([&](std::string_view line) {
        if (readTracerFrameLine(line, frame, timeMs) == TracerLineRead::frame)
            largest = std::max(largest, timeMs);
    });
    ReceptionClock clock;
    clock.setPeriodMs(tracerWrapPeriodMs(largest));
    session.clearPoints();
    std::size_t frames = 0;
    int lineIndex = -1;
    lines([&](std::string_view line) {
        ++lineIndex;
        if (readTracerFrameLine(line, frame, timeMs) != TracerLineRead::frame)
            return;
        ++frames;
        const double t = clock.seconds(timeMs);
        if (!frame.remote && session.wants(frame.id, frame.extended))
            session.addFrame(frame.id, frame.extended, frame.data.data(), frame.dlc, t, lineIndex);
    });
    return frames;
}

} // namespace korvel
