#include "receive/tracerUndo.h"

#include <algorithm>
#include <utility>

namespace korvel {

std::size_t TracerEditStep::bytes() const {
    return sizeof(TracerEditStep) + before.size() + after.size() +
           sizeof(std::int64_t) * (beforeTimes.size() + afterTimes.size());
}

bool TracerUndo::continuesTyping(const TracerEditStep& step) const {
    if (undo_.empty())
        return false;
    const TracerEditStep& last = undo_.back();
    const bool oneLine = step.first == last.first && step.caretBefore.line == step.first &&
                         step.after.find('\n') == std::string::npos &&
                         step.before.find('\n') == std::string::npos;
    // A character typed where the last one left the caret, with nothing selected.
    return oneLine && step.caretBefore == step.anchorBefore && step.caretBefore == last.caretAfter &&
           step.caretAfter.column == step.caretBefore.column + 1 && step.after.size() > step.before.size() &&
           last.after == step.before;
}

void TracerUndo::record(TracerEditStep step) {
    bytes_ -= [this] {
        std::size_t dropped = 0;
        for (const TracerEditStep& s : redo_)
            dropped += s.bytes();
        return dropped;
    }();
    redo_.clear();
    if (continuesTyping(step)) {
        TracerEditStep& last = undo_.back();
        bytes_ -= last.bytes();
        last.after = std::move(step.after);
        last.afterTimes = std::move(step.afterTimes);
        last.caretAfter = step.caretAfter;
        bytes_ += last.bytes();
        trim();
        return;
    }
    if (!fits(step.bytes())) {
        clear();
        return;
    }
    bytes_ += step.bytes();
    undo_.push_back(std::move(step));
    trim();
}

void TracerUndo::trim() {
    while (bytes_ > limit_ && !undo_.empty()) {
        bytes_ -= undo_.front().bytes();
        undo_.pop_front();
    }
}

const TracerEditStep* TracerUndo::undo() {
    if (undo_.empty())
        return nullptr;
    redo_.push_back(std::move(undo_.back()));
    undo_.pop_back();
    return &redo_.back();
}

const TracerEditStep* TracerUndo::redo() {
    if (redo_.empty())
        return nullptr;
    undo_.push_back(std::move(redo_.back()));
    redo_.pop_back();
    return &undo_.back();
}

void TracerUndo::clear() {
    undo_.clear();
    redo_.clear();
    bytes_ = 0;
}

bool tracerLinesAre(const TracerStore& store, int first, std::string_view joined) {
    int line = first;
    std::size_t start = 0;
    for (;;) {
        const std::size_t end = std::min(joined.find('\n', start), joined.size());
        if (line >= store.lineCount() || store.line(line) != joined.substr(start, end - start))
            return false;
        if (end == joined.size())
            return true;
        start = end + 1;
        ++line;
    }
}

} // namespace korvel
