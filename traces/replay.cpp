#include "traces/replay.h"

#include "core/basGlobal.h"
#include "core/prompts.h"
#include "link/transport.h"

#include <QCoreApplication>
#include <QEventLoop>
#include <QTimer>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <thread>

namespace korvel {

TraceReplay::TraceReplay(GlobalState& state, ReplayScript script, ReplayHooks hooks)
    : state_(state), script_(std::move(script)), hooks_(std::move(hooks)) {
}

ReplayOutcome TraceReplay::replayLines(ReplayMode mode) {
    script_.focus();
    for (;;) {
        const Pass pass = replayRange(mode);
        if (pass == Pass::failed)
            return ReplayOutcome::syntaxError;
        hooks_.wait(0);
        // A pass that found nothing to send would otherwise loop without end.
        if (mode == ReplayMode::single || pass != Pass::sentSome || !state_.hasOption(optLoop) ||
            !state_.isReplaying)
            return ReplayOutcome::finished;
    }
}

TraceReplay::Pass TraceReplay::replayRange(ReplayMode mode) {
    // The last line to replay: the empty piece after the final line end is not a line.
    const auto lastLine = [this] {
        int count = script_.lineCount();
        if (count > 0 && script_.lineText(count - 1).empty())
            --count;
        return count - 1;
    };
    int last = lastLine();

    if (mode == ReplayMode::single) {
        if (last < 0) {
            fail(-1);
            return Pass::failed;
        }
        int i = script_.caretLine();
        if (i < 0 || i > last)
            i = 0;
        const std::string text = script_.lineText(i);
        if (!isSkippedTraceLine(text) && !sendTraceLine(text)) {
            fail(i);
            return Pass::failed;
        }
        if (i < last)
            script_.selectLine(i + 1);
        else if (state_.hasOption(optLoop))
            script_.selectLine(0);
        hooks_.wait(0);
        return Pass::sentSome;
    }

    // Each pass starts at once, even when its first line was recorded later than the last one.
    lastSendClock_.reset();
    bool sent = false;
    for (int i = 0; i <= last; ++i) {
        const std::string text = script_.lineText(i);
        if (!isSkippedTraceLine(text)) {
            if (!sendTraceLine(text)) {
                fail(i);
                return Pass::failed;
            }
            sent = true;
        }
        last = lastLine(); // the user may edit the Tracer while it plays
        if (i < last)
            script_.selectLine(i + 1);
        hooks_.wait(0);
        if (!state_.isReplaying)
            return Pass::stopped;
    }
    return sent ? Pass::sentSome : Pass::sentNone;
}

bool TraceReplay::sendTraceLine(const std::string& line) {
    if (!state_.isConnected)
        return true;
    const std::optional<TraceFrame> frame = parseTraceLine(line);
    if (!frame)
        return false;
    // The first line of a pass leaves at once; a line not later than the previous one too.
    if (lastSendClock_) {
        for (;;) {
            const double remaining =
                (frame->timeSeconds - lastLineTime_) - (clockSeconds() - *lastSendClock_);
            // The clock has four decimals: anything less is no wait at all.
            if (remaining < 0.00005 || !state_.isReplaying)
                break;
            hooks_.wait(std::min(remaining, kWaitSliceSeconds));
        }
        // A disconnect during the wait ends the play; the waiting line has nowhere to go.
        if (!state_.isConnected)
            return true;
    }
    lastSendClock_ = clockSeconds();
    lastLineTime_ = frame->timeSeconds;
    return hooks_.send(*frame);
}

void TraceReplay::fail(int line) {
    if (line >= 0)
        script_.selectLine(line);
    prompts().critical(QStringLiteral("Script Syntax Error!"));
}

void waitInEventLoop(double seconds) {
    // Whole milliseconds wait in the event loop; the rest, under a millisecond, is slept after the pending
    // events have run, so a line leaves neither early nor a timer tick late.
    const int milliseconds = static_cast<int>(std::floor(seconds * 1000.0));
    if (milliseconds <= 0) {
        QCoreApplication::processEvents();
        if (seconds > 0)
            std::this_thread::sleep_for(std::chrono::duration<double>(seconds));
        return;
    }
    QEventLoop loop;
    QTimer slice;
    slice.setTimerType(Qt::PreciseTimer);
    slice.setSingleShot(true);
    QObject::connect(&slice, &QTimer::timeout, &loop, &QEventLoop::quit);
    slice.start(milliseconds);
    loop.exec();
}

bool sendTraceFrame(LinkTransport& transport, int deviceKind, const TraceFrame& frame) {
    switch (deviceKind) {
    case deviceCom:
    case deviceUsb:
        return transport.writeFrameLine(traceProtocolLine(frame));
    case devicePeakUsb:
        return transport.writePeakMessage(tracePeakMessage(frame));
    case deviceSocketCan: {
        // A CAN interface takes the frame in the transmit list's texts.
        std::string dataText = frame.isRemote ? std::string("RTR") : std::string();
        static constexpr char kHex[] = "0123456789ABCDEF";
        for (int i = 0; !frame.isRemote && i < frame.dlc; ++i) {
            if (i > 0)
                dataText += ' ';
            dataText += kHex[frame.data[static_cast<std::size_t>(i)] >> 4];
            dataText += kHex[frame.data[static_cast<std::size_t>(i)] & 0x0F];
        }
        transport.writeFrame(frame.idText, std::to_string(frame.dlc), dataText);
        return !transport.adapterLost();
    }
    default:
        return true; // no device: nothing is sent
    }
}

} // namespace korvel
