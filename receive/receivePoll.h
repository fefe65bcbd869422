#pragma once

// One tick of the receive poll: drains what the adapter delivered, drops what the software filters reject,
// offers each frame to the remote-request answer and the triggers, then appends the poll's lines to the
// Tracer (while recording) or folds the frames into the Monitor.

#include "link/canFrame.h"
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
    // The PC clock's seconds since midnight, for PEAK frames; replaceable in tests.
    std::function<double()> secondsSinceMidnight;
    // Every frame the link delivered, before the filters: what the bus carried, for its statistics.
    std::function<void(const CanFrame& frame)> frameOnBus;
};

class ReceivePoll {
public:
    ReceivePoll(GlobalState& state, LinkTransport& transport, MonitorModel& monitor, ReceiveHooks hooks);

    // One poll for the device kind in use. False when the adapter or the library failed: the caller then
    // disconnects and tells the user.
    bool poll();
    bool receiveAsciiFrames();
    bool receivePeakFrames();
    bool receiveSocketCanFrames();

    [[nodiscard]] const LineCutter& lineCutter() const { return cutter_; }

private:
    [[nodiscard]] bool passesFilters(const CanFrame& frame) const;
    void offerToTransmit(const CanFrame& frame);
    void updateMonitor(RowTimes& rowTimes);
    const std::string& commentFor(const CanFrame& frame);

    GlobalState& state_;
    LinkTransport& transport_;
    MonitorModel& monitor_;
    ReceiveHooks hooks_;

    // Reused from poll to poll, so a steady stream allocates nothing.
    LineCutter cutter_;
    std::string text_;
    std::vector<std::string_view> lines_;
    std::vector<CanFrame> frames_;
    std::string batch_;
    std::string comment_;
    MonitorFold fold_;
    CommentIndex comments_;
};

} // namespace korvel
