#pragma once

// One tick of the receive poll: takes the frames that arrived from the open link, drops what the software
// filters reject, offers each frame to the remote-request answer and the triggers, then appends the poll's
// lines to the Tracer (while recording) or folds the frames into the Monitor.

#include "link/canLink.h"
#include "receive/comments.h"
#include "receive/monitorFold.h"
#include "receive/monitorModel.h"

#include <functional>
#include <string>
#include <string_view>
#include <vector>

namespace korvel {

struct GlobalState;
class LinkTransport;

// What the poll reaches outside the receive area, handed over by the main window.
struct ReceiveHooks {
    std::function<void(std::string_view idText)> answerRemoteRequest;
    std::function<void(std::string_view idText, std::string_view dataText)> checkTriggers;
    std::function<void(std::string_view text)> appendTracerText;
    std::function<void()> refreshDetails;
    // The adapter refused a frame (BELL instead of its acknowledgement); the tag it was written with.
    std::function<void(int tag)> frameRefused;
    // Every frame that passed the filters, in the order of arrival (the plots).
    std::function<void(const CanFrame& frame)> frameAccepted;
    // The PC clock's seconds since midnight, for links whose frames bring no time; replaceable in tests.
    std::function<double()> secondsSinceMidnight;
    // The host's monotonic clock in seconds, which times frames an adapter sends without its time stamp.
    std::function<double()> hostSeconds;
    // Every frame the link delivered, before the filters: what the bus carried, for its statistics.
    std::function<void(const CanFrame& frame)> frameOnBus;
};

class ReceivePoll {
public:
    ReceivePoll(GlobalState& state, LinkTransport& transport, MonitorModel& monitor, ReceiveHooks hooks);

    // One poll of the open link. False when the adapter or the library failed: the caller then disconnects
    // and tells the user.
    bool poll();
    // The names the poll had per kind, kept for callers written against them: each is one poll.
    bool receiveAsciiFrames() { return poll(); }
    bool receivePeakFrames() { return poll(); }
    bool receiveSocketCanFrames() { return poll(); }

    // The ASCII adapters' unfinished line, for tests.
    [[nodiscard]] const LineCutter& lineCutter() const;

private:
    [[nodiscard]] bool passesFilters(const CanFrame& frame, bool maskHere) const;
    void offerToTransmit(const CanFrame& frame);
    void updateMonitor(RowTimes& rowTimes);
    const std::string& commentFor(const CanFrame& frame);

    GlobalState& state_;
    LinkTransport& transport_;
    MonitorModel& monitor_;
    ReceiveHooks hooks_;

    // Reused from poll to poll, so a steady stream allocates nothing.
    ArrivedFrames arrived_;
    std::string batch_;
    std::string comment_;
    MonitorFold fold_;
    CommentIndex comments_;
};

} // namespace korvel
