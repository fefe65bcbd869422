#include "receive/receivePoll.h"

#include "core/basGlobal.h"
#include "filters/filterTests.h"
#include "link/pcan_usb.h"
#include "link/transport.h"
#include "receive/tracerLine.h"

#include <QTime>

#include <cmath>

namespace korvel {

namespace {

double clockSecondsSinceMidnight() {
    return QTime::currentTime().msecsSinceStartOfDay() / 1000.0;
}

// A PEAK frame's Monitor time: the PC clock in whole milliseconds (a tie to the even one) modulo 60000.
int32_t peakMonitorTime(double secondsSinceMidnight) {
    const double ms = std::nearbyint(secondsSinceMidnight * 1000.0);
    return static_cast<int32_t>(std::fmod(ms < 0 ? 0 : ms, 60000.0));
}

} // namespace

ReceivePoll::ReceivePoll(GlobalState& state, LinkTransport& transport, MonitorModel& monitor,
                         ReceiveHooks hooks)
    : state_(state), transport_(transport), monitor_(monitor), hooks_(std::move(hooks)) {
    if (!hooks_.secondsSinceMidnight)
        hooks_.secondsSinceMidnight = clockSecondsSinceMidnight;
}

bool ReceivePoll::poll() {
    if (state_.deviceKind == deviceSocketCan)
        return receiveSocketCanFrames();
    return state_.deviceKind == devicePeakUsb ? receivePeakFrames() : receiveAsciiFrames();
}

bool ReceivePoll::passesFilters(const CanFrame& frame) const {
    return maskFilterPasses(frame.idText.view(), state_.deviceKind, state_.options, state_.acceptanceMaskInv,
                            state_.acceptanceCodeMasked) &&
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

bool ReceivePoll::receiveAsciiFrames() {
    const bool ok = transport_.readAvailable(text_);
    // What arrived before a loss is still shown; then the caller ends the link.
    if (text_.empty())
        return ok;

    comments_.setList(state_.commentListText);
    takeCompleteLines(text_, cutter_, lines_);
    frames_.clear();
    for (std::string_view line : lines_) {
        CanFrame frame;
        if (decodeFrameLine(line, state_.decimalSeparator, frame)) {
            if (hooks_.frameOnBus)
                hooks_.frameOnBus(frame);
            frames_.push_back(frame);
        } else if (!line.empty() && isFrameLineLetter(line[0])) {
            transport_.countMalformedLine();
        } else if (line.data()[line.size()] == '\a') {
            // Every line ends where its CR or BELL stands in the text it points into.
            const int tag = transport_.frameAnswered(true);
            if (tag != 0 && hooks_.frameRefused)
                hooks_.frameRefused(tag);
        } else if (line == "z" || line == "Z") {
            transport_.frameAnswered(false);
        }
    }

    if (state_.isRecording) {
        batch_.clear();
        for (const CanFrame& frame : frames_) {
            if (!passesFilters(frame))
                continue;
            if (hooks_.frameAccepted)
                hooks_.frameAccepted(frame);
            offerToTransmit(frame);
            appendTracerLine(batch_, frame, frame.timestampText.view(), commentFor(frame));
        }
        if (hooks_.appendTracerText)
            hooks_.appendTracerText(batch_);
        return ok;
    }

    if (hooks_.frameAccepted) {
        for (const CanFrame& frame : frames_)
            if (passesFilters(frame))
                hooks_.frameAccepted(frame);
    }
    // Newest first, so an entry keeps the newest data and time of its pair.
    fold_.begin();
    for (auto it = frames_.rbegin(); it != frames_.rend(); ++it) {
        if (!passesFilters(*it))
            continue;
        fold_.add(*it);
        offerToTransmit(*it);
    }
    updateMonitor(rowLastTimesAscii);
    return ok;
}

bool ReceivePoll::receivePeakFrames() {
    const bool recording = state_.isRecording;
    comments_.setList(state_.commentListText);
    batch_.clear();
    fold_.begin();
    // A queue that refills as fast as it drains must not hold the window: one tick reads a bounded number.
    constexpr int kMaxMessagesPerPoll = 200000;
    bool ok = true;
    for (int n = 0; n < kMaxMessagesPerPoll; ++n) {
        PeakMessage message;
        const uint32_t status = transport_.readPeakMessage(message);
        if (status != 0) {
            ok = !LinkTransport::isFatalPeakStatus(status);
            break;
        }
        const double seconds = hooks_.secondsSinceMidnight();
        const CanFrame frame = frameFromPeakMessage(message, seconds, state_.decimalSeparator);
        if (hooks_.frameOnBus)
            hooks_.frameOnBus(frame);
        if (!passesFilters(frame))
            continue;
        if (hooks_.frameAccepted)
            hooks_.frameAccepted(frame);
        if (recording) {
            offerToTransmit(frame);
            appendTracerLine(batch_, frame, frame.timestampText.view(), commentFor(frame));
        } else {
            fold_.add(frame, peakMonitorTime(seconds));
            offerToTransmit(frame);
        }
    }

    if (recording) {
        if (!batch_.empty() && hooks_.appendTracerText)
            hooks_.appendTracerText(batch_);
        if (hooks_.refreshDetails)
            hooks_.refreshDetails();
    } else {
        updateMonitor(rowLastTimesPeak);
    }
    return ok;
}

} // namespace korvel
