#pragma once

// A CAN network interface through a raw CAN socket: kernel frame records, no commands and no bit timing.
// The interface runs with the bitrate and mode the system gave it.

#include "link/canLink.h"

namespace korvel {

class SocketCanLink;

class CanInterfaceLink final : public CanLink {
    Q_OBJECT
public:
    CanInterfaceLink();
    ~CanInterfaceLink() override;

    bool open(const TransportSettings& settings) override;
    StartOutcome start(const TransportSettings& settings, SequenceHost& host) override;
    void close() override;
    void applyFilter(const TransportSettings& settings, SequenceHost& host) override;
    bool send(const CanFrame& frame, int tag) override;
    bool receive(ArrivedFrames& arrived, const ReceiveContext& context) override;
    [[nodiscard]] bool usable() const override;
    // The interface sends whatever it is given.
    [[nodiscard]] bool sendsInListenOnly() const override { return true; }
    [[nodiscard]] LinkHealth health() const override;
    [[nodiscard]] bool bitrateFromSystem() const override { return true; }
    [[nodiscard]] bool countsDroppedFrames() const override { return true; }

    [[nodiscard]] SocketCanLink* socket() const { return socket_.get(); }

private:
    std::unique_ptr<SocketCanLink> socket_;
};

} // namespace korvel
