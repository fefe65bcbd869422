#include "traces/replay.h"

#include "core/basGlobal.h"
#include "core/deadlineTimer.h"
#include "core/prompts.h"
#include "link/transport.h"

#include <QCoreApplication>

#include <algorithm>
#include <cmath>

namespace korvel {

TraceReplay::TraceReplay(GlobalState& state, ReplayScript script, ReplayHooks hooks)
    : state_(state), script_(std::move(script)), hooks_(std::move(hooks)) {
}

namespace {

// The last line to replay: the empty piece after the final line end is not a line.
int lastLineOf(const TracerStore& lines) {
    int count = lines.lineCount();
    if (count > 0 && lines.line(count - 1).empty())
        --count;
    return count - 1;
}

} // namespace

ReplayOutcome TraceReplay::replayLines(ReplayMode mode) {
    script_.focus();
    if (mode == ReplayMode::single) {
        const Pass pass = stepLine();
        hooks_.wait(0);
        return pass == Pass::failed ? ReplayOutcome::syntaxError : ReplayOutcome::finished;
    }
    // A play sends the lines as they stand at its start: edits during it, or a trace loaded meanwhile, are
    // not read. The copy costs about the text's own size, for the length of the play.
    const TracerStore lines = script_.lines();
    for (;;) {
        const Pass pass = playPass(lines);
        if (pass == Pass::failed)
            return ReplayOutcome::syntaxError;
        hooks_.wait(0);
        // A pass that found nothing to send would otherwise loop without end.
        if (pass != Pass::sentSome || !state_.hasOption(optLoop) || !state_.isReplaying)
            return ReplayOutcome::finished;
    }
}

TraceReplay::Pass TraceReplay::stepLine() {
    const TracerStore& lines = script_.lines();
    const int last = lastLineOf(lines);
    if (last < 0) {
        fail(lines, -1);
        return Pass::failed;
    }
    int i = script_.selectionStartLine();
    if (i < 0 || i > last)
        i = 0;
    const std::string text(lines.line(i));
    const Sent sent = isSkippedTraceLine(text) ? Sent::sent : sendTraceLine(text);
    if (sent == Sent::failed) {
        fail(lines, i);
        return Pass::failed;
    }
    if (sent == Sent::notSent)
        return Pass::sentNone;
    if (i < last)
        script_.selectLine(i + 1);
    else if (state_.hasOption(optLoop))
        script_.selectLine(0);
    hooks_.wait(0);
    return Pass::sentSome;
}

TraceReplay::Pass TraceReplay::playPass(const TracerStore& lines) {
    const int last = lastLineOf(lines);
    // Each pass starts at once, even when its first line was recorded later than the last one.
    anchorClock_.reset();
    bool sent = false;
    Pass pass = Pass::stopped;
    for (int i = 0;; ++i) {
        if (i > last) {
            pass = sent ? Pass::sentSome : Pass::sentNone;
            break;
        }
        const std::string_view text = lines.line(i);
        if (!isSkippedTraceLine(text)) {
            const Sent result = sendTraceLine(text);
            if (result == Sent::failed) {
                fail(lines, i);
                return Pass::failed;
            }
            // The line that did not go stays highlighted as the next one.
            if (result == Sent::notSent)
                break;
            sent = true;
        }
        if (i < last)
            highlight(lines, i + 1);
        hooks_.wait(0);
        if (!state_.isReplaying)
            break;
    }
    flushHighlight();
    return pass;
}

TraceReplay::Sent TraceReplay::sendTraceLine(std::string_view line) {
    if (!state_.isConnected)
        return Sent::notSent;
    const std::optional<TraceFrame> frame = parseTraceLine(line);
    if (!frame)
        return Sent::failed;
    const double time = frame->timeSeconds;
    // The first line of a pass leaves at once, a step too, and a line earlier than the one before (the time
    // field wrapped) starts the schedule afresh. A line of the same time is due with the previous one.
    bool onSchedule = anchorClock_ && time >= lastLineTime_;
    if (onSchedule) {
        const double due = *anchorClock_ + (time - anchorLineTime_);
        for (;;) {
            const double remaining = due - clockSeconds();
            // The clock has four decimals: anything less is no wait at all.
            if (remaining < 0.00005 || !state_.isReplaying)
                break;
            if (remaining > kHighlightSeconds)
                flushHighlight();
            hooks_.wait(std::min(remaining, kWaitSliceSeconds));
        }
        // A disconnect during the wait ends the play; the waiting line has nowhere to go.
        if (!state_.isConnected)
            return Sent::notSent;
        // A stopped play sends the waiting line at once.
        onSchedule = state_.isReplaying && clockSeconds() - due <= kStallSeconds;
    }
    if (!onSchedule) {
        anchorClock_ = clockSeconds();
        anchorLineTime_ = time;
    }
    lastLineTime_ = time;
    if (!hooks_.send(*frame))
        return Sent::failed;
    // The device may wait for room itself, and a disconnect there leaves the line unwritten.
    return state_.isConnected ? Sent::sent : Sent::notSent;
}

void TraceReplay::highlight(const TracerStore& lines, int index) {
    pendingLines_ = &lines;
    pendingHighlight_ = index;
    const double now = clockSeconds();
    if (!state_.isReplaying || !lastHighlightClock_ || now - *lastHighlightClock_ >= kHighlightSeconds ||
        now < *lastHighlightClock_)
        flushHighlight();
}

void TraceReplay::flushHighlight() {
    if (pendingHighlight_ < 0 || !pendingLines_)
        return;
    const TracerStore& lines = *pendingLines_;
    const int index = pendingHighlight_;
    pendingHighlight_ = -1;
    pendingLines_ = nullptr;
    lastHighlightClock_ = clockSeconds();
    // After an edit or a newly loaded trace the Tracer may show another line there; it is not the next one.
    const TracerStore& shown = script_.lines();
    if (&shown == &lines || shown.line(index) == lines.line(index))
        script_.selectLine(index);
}

void TraceReplay::fail(const TracerStore& lines, int line) {
    if (line >= 0) {
        highlight(lines, line);
        flushHighlight();
    }
    prompts().critical(QStringLiteral("Script Syntax Error!"));
}

void waitInEventLoop(double seconds) {
    if (seconds <= 0) {
        QCoreApplication::processEvents();
        return;
    }
    // Waits to the microsecond with the events running, not rounded to whole milliseconds.
    runEventLoopUntil(steadyMicroseconds() + static_cast<int64_t>(std::llround(seconds * 1e6)));
}

CanFrame frameFromTrace(const TraceFrame& trace) {
    CanFrame frame;
    frame.idText.assign(trace.idText);
    frame.isExtended = trace.isExtended;
    frame.isRemote = trace.isRemote;
    frame.dlc = static_cast<uint8_t>(trace.dlc);
    frame.lineSaysRemoteLength = true;
    if (trace.isRemote) {
        frame.dataText.assign("RTR");
    } else {
        // The line's own digits, so an ASCII adapter gets them as written.
        for (std::size_t at = 0; at + 2 <= trace.dataHex.size(); at += 2) {
            if (at > 0)
                frame.dataText.push_back(' ');
            frame.dataText.append(std::string_view(trace.dataHex).substr(at, 2));
        }
    }
    return frame;
}

bool sendTraceFrame(LinkTransport& transport, const TraceFrame& frame) {
    CanLink* link = transport.link();
    if (link == nullptr)
        return true; // no device: nothing is sent
    // A frame the adapter refused or had no room for is counted by the link and the play goes on; only a
    // link that is closed or gone ends it.
    return link->send(frameFromTrace(frame), 0) || link->usable();
}

bool sendTraceFrame(LinkTransport& transport, int, const TraceFrame& frame) {
    return sendTraceFrame(transport, frame);
}

} // namespace korvel
