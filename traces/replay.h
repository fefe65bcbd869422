#pragma once

// Sends the Tracer's lines back onto the bus: one line from the caret ("step") or every line with the
// recorded spacing in time ("play"), optionally over and over. The window hands in how to read and
// highlight its lines, how to send a frame and how to wait, so this code includes none of it.

#include "receive/tracerStore.h"
#include "traces/traceLine.h"

#include <functional>
#include <optional>
#include <string>
#include <string_view>

namespace korvel {

struct GlobalState;

// The Tracer as the replay sees it: its lines as they stand now (the piece after the final line end
// included), the line where its selection starts, the highlight of one whole line, and the focus.
struct ReplayScript {
    std::function<const TracerStore&()> lines;
    std::function<int()> selectionStartLine;
    std::function<void(int index)> selectLine;
    std::function<void()> focus;
};

struct ReplayHooks {
    // Puts one frame on the wire of the current device; false when it could not be written.
    std::function<bool(const TraceFrame& frame)> send;
    // Lets window events run for at most the given seconds without spinning; 0 runs what is pending.
    std::function<void(double seconds)> wait;
};

enum class ReplayMode { single, all };
enum class ReplayOutcome { finished, syntaxError };

class TraceReplay {
public:
    TraceReplay(GlobalState& state, ReplayScript script, ReplayHooks hooks);

    // Replays and, on a line that cannot be parsed or sent, shows "Script Syntax Error!", highlights that
    // line and returns syntaxError; the lines before it have been sent.
    ReplayOutcome replayLines(ReplayMode mode);
    enum class Sent { sent, notSent, failed };
    // Parses, paces and sends one line; notSent while not connected or when the link is lost during the wait.
    Sent sendTraceLine(std::string_view line);

    // Longest single wait, so a stop click or a disconnect is noticed at once.
    static constexpr double kWaitSliceSeconds = 0.01;
    // A line later than this behind its time starts the schedule afresh, so the lines after a stall keep
    // their spacing instead of leaving in a burst to catch up.
    static constexpr double kStallSeconds = 0.1;
    // During a play the next line is highlighted at most this often: a repaint per line costs the window
    // more than the replay itself.
    static constexpr double kHighlightSeconds = 0.04;

private:
    enum class Pass { sentSome, sentNone, failed, stopped };
    Pass stepLine();
    Pass playPass(const TracerStore& lines);
    // Highlights line `index` of `lines` where the Tracer still shows it there; during a play it may be
    // held back until flushHighlight.
    void highlight(const TracerStore& lines, int index);
    void flushHighlight();
    void fail(const TracerStore& lines, int line);

    GlobalState& state_;
    ReplayScript script_;
    ReplayHooks hooks_;
    // Each line is due at the anchor's clock plus its time's distance from the anchor line's time.
    std::optional<double> anchorClock_;
    double anchorLineTime_ = 0;
    double lastLineTime_ = 0;
    const TracerStore* pendingLines_ = nullptr;
    int pendingHighlight_ = -1;
    std::optional<double> lastHighlightClock_;
};

class LinkTransport;
// The frame a trace line sends, its texts as the line holds them.
[[nodiscard]] CanFrame frameFromTrace(const TraceFrame& frame);
// Puts a frame on the wire of the open link; nothing is sent without a device. False when the link is
// closed or gone.
bool sendTraceFrame(LinkTransport& transport, const TraceFrame& frame);
// The same; the kind is the open link's.
bool sendTraceFrame(LinkTransport& transport, int deviceKind, const TraceFrame& frame);

// The production wait: blocks in the event loop until the time is up, a bounded slice at most.
void waitInEventLoop(double seconds);

} // namespace korvel
