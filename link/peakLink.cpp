#include "link/peakLink.h"

#include "core/prompts.h"
#include "link/pcan_usb.h"

#include <cmath>

namespace korvel {

int32_t peakMonitorTime(double secondsSinceMidnight) {
    const double ms = std::nearbyint(secondsSinceMidnight * 1000.0);
    return static_cast<int32_t>(std::fmod(ms < 0 ? 0 : ms, 60000.0));
}

PeakLink::~PeakLink() {
    close();
}

bool PeakLink::open(const TransportSettings&) {
    lost_ = false;
    counters_ = {};
    if (!pcan_usb::libraryAvailable()) {
        prompts().critical(QStringLiteral("Can't open Device PEAKUSB!\r\n") +
                           QString::fromLatin1(pcan_usb::kMissingLibraryText));
        return false;
    }
    open_ = true;
    return true;
}

StartOutcome PeakLink::start(const TransportSettings& s, SequenceHost& host) {
    // No version query and no bitrate command: the library takes the bit timing when it opens the channel.
    host.yield();
    if (host.cancelled())
        return {StartOutcome::cancelled};
    if (reopen(s) != StartOutcome::started)
        return {StartOutcome::notResponding};
    char version[pcan_usb::kVersionBufferSize] = {};
    if (pcan_usb::CAN_VersionInfo(version) == 0) {
        const std::string text(version);
        const auto lineFeed = text.find('\n');
        if (lineFeed != std::string::npos && lineFeed >= 1)
            host.showVersion(QString::fromLatin1(text.substr(0, lineFeed)));
    }
    return {StartOutcome::started};
}

StartOutcome::Result PeakLink::reopen(const TransportSettings& s) {
    open_ = true;
    const bool initialised = pcan_usb::CAN_Init(peakBitTiming(s.canBitrateIndex, s.userBitrate), 1) == 0;
    return initialised ? StartOutcome::started : StartOutcome::notResponding;
}

void PeakLink::close() {
    pcan_usb::CAN_Close();
    open_ = false;
}

bool PeakLink::send(const CanFrame& frame, int) {
    if (lost_ || !open_)
        return false;
    PeakMessage message = peakMessageOf(frame);
    if (pcan_usb::CAN_Write(&message) == 0)
        return true;
    ++counters_.refused;
    return false;
}

uint32_t PeakLink::readMessage(PeakMessage& message) {
    const uint32_t status = pcan_usb::CAN_Read(&message);
    if (isFatalStatus(status))
        markLost();
    return status;
}

bool PeakLink::isFatalStatus(uint32_t status) {
    if (status == pcan_usb::kLibraryUnavailable)
        return true;
    // No driver, illegal hardware/net/client, or a channel that is no longer initialised.
    constexpr uint32_t kFatal = 0x200 | 0x1400 | 0x1800 | 0x1C00 | 0x4000000;
    return (status & kFatal) != 0;
}

bool PeakLink::receive(ArrivedFrames& arrived, const ReceiveContext& context) {
    for (int n = 0; n < kMaxMessagesPerPoll; ++n) {
        PeakMessage message;
        const uint32_t status = readMessage(message);
        if (status != 0)
            return !isFatalStatus(status);
        const double seconds = context.secondsSinceMidnight();
        CanFrame frame = frameFromPeakMessage(message, seconds, context.decimalSeparator);
        frame.timestampMs = peakMonitorTime(seconds);
        arrived.frames.push_back(frame);
    }
    return true;
}

} // namespace korvel
