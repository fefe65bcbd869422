#pragma once

// A PEAK USB adapter through the vendor's library: binary messages, no commands. The library gives no
// receive time, so frames take the PC clock's.

#include "link/canLink.h"

namespace korvel {

class PeakLink final : public CanLink {
    Q_OBJECT
public:
    ~PeakLink() override;

    bool open(const TransportSettings& settings) override;
    StartOutcome start(const TransportSettings& settings, SequenceHost& host) override;
    StartOutcome::Result reopen(const TransportSettings& settings) override;
    void close() override;
    // The library is opened with its open default filter; the receive path applies the mask.
    void applyFilter(const TransportSettings&, SequenceHost&) override {}
    bool send(const CanFrame& frame, int tag) override;
    bool receive(ArrivedFrames& arrived, const ReceiveContext& context) override;
    [[nodiscard]] bool usable() const override { return open_ && !lost_; }
    // Messages are visited in reading order, so a pair keeps the data and time of its first one.
    [[nodiscard]] bool monitorKeepsNewest() const override { return false; }

    // A read: 0 with a message, QRCVEMPTY when drained, other values as the library gives them.
    uint32_t readMessage(PeakMessage& message);
    [[nodiscard]] static bool isFatalStatus(uint32_t status);

    // A queue that refills as fast as it drains must not hold the window: one poll reads a bounded number.
    static constexpr int kMaxMessagesPerPoll = 200000;

private:
    bool open_ = false;
};

// A PEAK frame's Monitor time: the PC clock in whole milliseconds (a tie to the even one) modulo 60000.
[[nodiscard]] int32_t peakMonitorTime(double secondsSinceMidnight);

} // namespace korvel
