#include "plots/plotCsv.h"

#include <charconv>
#include <cmath>
#include <limits>
#include <vector>

namespace korvel {

namespace {

void appendCsvField(std::string& out, std::string_view text) {
    if (text.find_first_of(",\"\r\n") == std::string_view::npos) {
        out.append(text);
        return;
    }
    out.push_back('"');
    for (char c : text) {
        if (c == '"')
            out.push_back('"');
        out.push_back(c);
    }
    out.push_back('"');
}

constexpr std::size_t kPieceBytes = std::size_t{1} << 20;

} // namespace

void appendCsvNumber(std::string& out, double value) {
    if (std::isnan(value)) {
        out.append("nan");
        return;
    }
    if (std::isinf(value)) {
        out.append(value > 0 ? "inf" : "-inf");
        return;
    }
    char text[32];
    const auto result = std::to_chars(text, text + sizeof text, value);
    out.append(text, result.ptr);
}

bool writePlotCsv(const PlotSession& session, double from, double to, const CsvSink& sink) {
    std::string out;
    out.append("Time (s)");
    const int count = session.traceCount();
    std::vector<std::size_t> next(static_cast<std::size_t>(count));
    std::vector<std::size_t> end(static_cast<std::size_t>(count));
    for (int k = 0; k < count; ++k) {
        const PlotTrace& trace = session.trace(k);
        out.push_back(',');
        appendCsvField(out, trace.unit.empty() ? trace.name : trace.name + " (" + trace.unit + ")");
        next[static_cast<std::size_t>(k)] = trace.ring.lowerBound(from);
        std::size_t last = 0;
        end[static_cast<std::size_t>(k)] = trace.ring.lastAtOrBefore(to, last) ? last + 1 : 0;
    }
    out.append("\r\n");

    // A merge of the traces' points by time: each row takes the earliest time left, and every trace whose
    // next point has that time gives its cell (several points of one trace at one time make several rows).
    for (;;) {
        double t = std::numeric_limits<double>::infinity();
        for (int k = 0; k < count; ++k) {
            const auto i = static_cast<std::size_t>(k);
            if (next[i] < end[i])
                t = std::min(t, session.trace(k).ring.at(next[i]).t);
        }
        if (std::isinf(t))
            break;
        appendCsvNumber(out, t);
        for (int k = 0; k < count; ++k) {
            const auto i = static_cast<std::size_t>(k);
            out.push_back(',');
            if (next[i] < end[i] && session.trace(k).ring.at(next[i]).t == t)
                appendCsvNumber(out, session.trace(k).ring.at(next[i]++).v);
        }
        out.append("\r\n");
        if (out.size() >= kPieceBytes) {
            if (!sink(out))
                return false;
            out.clear();
        }
    }
    return sink(out);
}

} // namespace korvel
