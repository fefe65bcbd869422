// The receive poll of a CAN network interface. Each frame carries the kernel's receive time, so the Tracer
// keeps the real spacing of frames that one poll collects. Remote-request answers and triggers see the
// frames in the order they arrived; the Monitor keeps the newest data of each pair, as on the adapter kinds.

#include "core/basGlobal.h"
#include "link/socketCan.h"
#include "link/transport.h"
#include "receive/receivePoll.h"
#include "receive/tracerLine.h"

namespace korvel {

bool ReceivePoll::receiveSocketCanFrames() {
    SocketCanLink* link = transport_.socketCan();
    if (link == nullptr)
        return false;
    std::span<const ReceivedCanFrame> received;
    const bool ok = link->receive(received);
    // What arrived before a loss is still shown; then the caller ends the link.
    if (received.empty())
        return ok;

    comments_.setList(state_.commentListText);
    frames_.clear();
    for (const ReceivedCanFrame& record : received) {
        const CanFrame frame = frameFromSocketCan(record, state_.decimalSeparator);
        if (hooks_.frameOnBus)
            hooks_.frameOnBus(frame);
        if (!passesFilters(frame))
            continue;
        if (hooks_.frameAccepted)
            hooks_.frameAccepted(frame);
        offerToTransmit(frame);
        frames_.push_back(frame);
    }

    if (state_.isRecording) {
        batch_.clear();
        for (const CanFrame& frame : frames_)
            appendTracerLine(batch_, frame, frame.timestampText.view(), commentFor(frame));
        if (!batch_.empty() && hooks_.appendTracerText)
            hooks_.appendTracerText(batch_);
        return ok;
    }

    fold_.begin();
    for (auto it = frames_.rbegin(); it != frames_.rend(); ++it)
        fold_.add(*it);
    // The same clock as the PEAK kind's times: the PC's, in milliseconds wrapping at 60000.
    updateMonitor(rowLastTimesPeak);
    return ok;
}

} // namespace korvel
