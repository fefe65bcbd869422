#include "receive/receivePoll.h"

#include "core/basGlobal.h"
#include "filters/filterTests.h"
#include "link/asciiLink.h"
#include "link/transport.h"
#include "receive/tracerLine.h"

#include <QTime>

#include <algorithm>

namespace korvel {

namespace {

double clockSecondsSinceMidnight() {
    return QTime::currentTime().msecsSinceStartOfDay() / 1000.0;
}

} // namespace

ReceivePoll::ReceivePoll(GlobalState& state, LinkTransport& transport, MonitorModel& monitor,
                         ReceiveHooks hooks)
    : state_(state), transport_(transport), monitor_(monitor), hooks_(std::move(hooks)) {
    if (!hooks_.secondsSinceMidnight)
        hooks_.secondsSinceMidnight = clockSecondsSinceMidnight;
}

const LineCutter& ReceivePoll::lineCutter() const {
    static const LineCutter none;
    const auto* ascii = dynamic_cast<const AsciiLink*>(transport_.link());
    return ascii ? ascii->lineCutter() : none;
}

bool ReceivePoll::passesFilters(const CanFrame& frame, bool maskHere) const {
    return (!maskHere || maskPasses(frame.idText.view(), state_.options, state_.acceptanceMaskInv,
                                    state_.acceptanceCodeMasked)) &&
           rangeFilterPasses(frame.idText.view(), frame.isExtended, state_.options, state_.rangeFilterStart,
                             state_.rangeFilterEnd, state_.discreteFilterIds);
}

void ReceivePoll::offerToTransmit(const CanFrame& frame) {
    if (frame.isRemote) {
        if (state_.txAnyRtrMode && hooks_.answerRemoteRequest)
            hooks_.answerRemoteRequest(frame.idText.view());
    } else if (state_.txAnyTriggerMode && hooks_.checkTriggers) {
        hooks_.checkTriggers(frame.idText.view(), frame.dataText.view());
    }
}

const std::string& ReceivePoll::commentFor(const CanFrame& frame) {
    frameComment(frame.idText.view(), frame.dataText.view(), comments_, state_.options, comment_);
    return comment_;
}

void ReceivePoll::updateMonitor(RowTimes& rowTimes) {
    if (fold_.empty())
        return;
    updateMonitorRows(monitor_, fold_.entries(), rowTimes,
                      [this](std::string_view id, std::string_view data, std::string& out) {
                          frameComment(id, data, comments_, state_.options, out);
                      });
    if (hooks_.refreshDetails)
        hooks_.refreshDetails();
}

bool ReceivePoll::poll() {
    CanLink* link = transport_.link();
    if (link == nullptr)
        return true;
    arrived_.clear();
    const bool ok =
        link->receive(arrived_, {state_.decimalSeparator, hooks_.secondsSinceMidnight, hooks_.hostSeconds});
    if (hooks_.frameRefused)
        for (const int tag : arrived_.refusedTags)
            hooks_.frameRefused(tag);
    if (hooks_.frameOnBus)
        for (const CanFrame& frame : arrived_.frames)
            hooks_.frameOnBus(frame);
    // What arrived before a loss is still shown; then the caller ends the link.
    if (arrived_.frames.empty())
        return ok;

    comments_.setList(state_.commentListText);
    const bool maskHere = !link->adapterAppliesMask();
    std::vector<CanFrame>& frames = arrived_.frames;
    std::erase_if(frames, [&](const CanFrame& frame) { return !passesFilters(frame, maskHere); });
    if (hooks_.frameAccepted)
        for (const CanFrame& frame : frames)
            hooks_.frameAccepted(frame);

    if (state_.isRecording) {
        batch_.clear();
        for (const CanFrame& frame : frames) {
            offerToTransmit(frame);
            appendTracerLine(batch_, frame, frame.timestampText.view(), commentFor(frame));
        }
        if (!batch_.empty() && hooks_.appendTracerText)
            hooks_.appendTracerText(batch_);
        return ok;
    }

    // The first frame the fold meets of a pair makes its entry.
    fold_.begin();
    if (link->monitorKeepsNewest())
        for (auto it = frames.rbegin(); it != frames.rend(); ++it)
            fold_.add(*it);
    else
        for (const CanFrame& frame : frames)
            fold_.add(frame);
    if (link->monitorAnswersNewestFirst())
        std::for_each(frames.rbegin(), frames.rend(), [this](const CanFrame& f) { offerToTransmit(f); });
    else
        std::for_each(frames.begin(), frames.end(), [this](const CanFrame& f) { offerToTransmit(f); });
    // Times from the adapter and times from the PC clock are kept apart.
    updateMonitor(link->adapterTimes() ? rowLastTimesAscii : rowLastTimesPeak);
    return ok;
}

} // namespace korvel
