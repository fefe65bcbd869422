#pragma once

// The Tracer's undo and redo history: each edit as the lines it replaced and the lines it put in their
// place, with their times of reception. Recording is no edit and is never undone. The history holds at
// most a fixed number of bytes; the oldest steps go first, and an edit larger than the whole history is
// not kept (the history is then emptied, since the steps before it no longer fit the text).

#include "receive/tracerStore.h"

#include <cstddef>
#include <cstdint>
#include <deque>
#include <string>
#include <vector>

namespace korvel {

inline constexpr std::size_t kTracerUndoBytes = std::size_t{64} << 20;

struct TracerEditStep {
    int first = 0;      // the first line replaced
    std::string before; // the lines replaced, joined by LF
    std::vector<std::int64_t> beforeTimes;
    std::string after; // the lines put in their place, joined by LF
    std::vector<std::int64_t> afterTimes;
    TracerPos anchorBefore;
    TracerPos caretBefore;
    TracerPos caretAfter;

    [[nodiscard]] std::size_t bytes() const;
};

class TracerUndo {
public:
    explicit TracerUndo(std::size_t limitBytes = kTracerUndoBytes) : limit_(limitBytes) {}

    // A new edit: the redo steps are dropped. Typing character after character on one line makes one step.
    void record(TracerEditStep step);
    // Whether an edit of about this many bytes can be kept; when not, the caller forgets the history.
    [[nodiscard]] bool fits(std::size_t bytes) const { return bytes <= limit_; }

    [[nodiscard]] bool canUndo() const { return !undo_.empty(); }
    [[nodiscard]] bool canRedo() const { return !redo_.empty(); }
    // The step to take back, moved to the redo side; null when there is none.
    const TracerEditStep* undo();
    // The step to do again, moved back to the undo side; null when there is none.
    const TracerEditStep* redo();
    void clear();

    [[nodiscard]] std::size_t bytes() const { return bytes_; }
    [[nodiscard]] std::size_t steps() const { return undo_.size() + redo_.size(); }

private:
    [[nodiscard]] bool continuesTyping(const TracerEditStep& step) const;
    void trim();

    std::size_t limit_;
    std::deque<TracerEditStep> undo_;
    std::deque<TracerEditStep> redo_;
    std::size_t bytes_ = 0;
};

// The lines from `first` on that `joined` (lines joined by LF) holds are still there, as they were.
[[nodiscard]] bool tracerLinesAre(const TracerStore& store, int first, std::string_view joined);

} // namespace korvel
