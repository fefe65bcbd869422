#pragma once

// Finding lines in the Tracer: by text (any case), by identifier, or by data with "*" standing for any
// one hexadecimal digit, as in the trigger patterns. A search reads the store's packed bytes directly and
// runs in slices, so ten million lines are searched without holding the window, and a search that is
// cancelled or outrun by edits ends cleanly.

#include "receive/tracerStore.h"

#include <array>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace korvel {

enum class TracerFindKind { text, id, data };

// A pattern ready to match; `error` says why it cannot be used (then nothing matches).
struct TracerQuery {
    TracerFindKind kind = TracerFindKind::text;
    std::string needle; // text: folded to lower case; id: the column's text; data: "11 ** 33"
    std::string error;
    std::array<std::size_t, 256> skip{}; // the text search's shifts

    [[nodiscard]] bool valid() const { return error.empty() && !needle.empty(); }
};

[[nodiscard]] TracerQuery compileTracerQuery(TracerFindKind kind, std::string_view pattern);

// Where in a line (bytes) the pattern matches first; nothing when it does not.
struct TracerSpan {
    std::size_t start = 0;
    std::size_t length = 0;
};
[[nodiscard]] std::optional<TracerSpan> matchTracerLine(const TracerQuery& query, std::string_view line);

// One search for the next (or previous) matching line after (or before) a line, going round the end of the
// text; the line it starts from is searched last.
class TracerSearch {
public:
    TracerSearch(TracerQuery query, int fromLine, bool forward, int lineCount);

    // Searches on for about `budgetBytes` of text; true once the search is over. The store may have been
    // edited between steps: lines past its end are not searched.
    bool step(const TracerStore& store, std::size_t budgetBytes);
    [[nodiscard]] bool finished() const { return finished_; }
    // The matching line, once finished; nothing when there is none.
    [[nodiscard]] std::optional<int> found() const { return found_; }
    // Lines searched out of all, 0 to 1.
    [[nodiscard]] double progress() const;

private:
    // Lines [begin, end) of one stretch, searched in the search's direction; true when the stretch is done.
    bool searchStretch(const TracerStore& store, std::size_t& budget);

    TracerQuery query_;
    bool forward_;
    int total_;
    // The stretches in order: after the start line to the end, then from the other end back to it.
    std::array<std::pair<int, int>, 2> stretches_{};
    int stretch_ = 0;
    int next_ = 0; // the next line to search in the current stretch
    long long searched_ = 0;
    bool finished_ = false;
    std::optional<int> found_;
};

} // namespace korvel
