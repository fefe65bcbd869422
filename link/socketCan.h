#pragma once

// A raw CAN socket bound to one network interface. Frames are read as soon as the socket has them (a socket
// notifier) and wait in a bounded queue for the next receive poll, so the kernel's small socket buffer never
// overflows between polls. Error frames never reach the queue: a bus-off, a removed or downed interface, or
// a failing read ends the link once.
//
// Only creating and binding the socket (and the calls that exist only on CAN sockets, the filters) go
// through the system seam below; reading, writing and the handling of every record are the same code
// whatever the descriptor is, so tests run them on a socket pair carrying the kernel's frame records.

#include "link/socketCanFrame.h"

#include <QObject>
#include <QString>

#include <cstdint>
#include <functional>
#include <memory>
#include <span>
#include <string>
#include <vector>

class QSocketNotifier;

namespace korvel {

struct SocketCanSystem {
    // A raw CAN socket bound to the named interface: the descriptor, or -1 with errno set.
    std::function<int(const std::string& interfaceName)> openBound;
    // setsockopt at the raw CAN level (CAN_RAW_FILTER, CAN_RAW_ERR_FILTER): 0, or -1 with errno set.
    std::function<int(int fd, int option, const void* value, unsigned size)> setRawOption;
};
// Replaces the system's calls; an empty record restores them.
void setSocketCanSystem(SocketCanSystem system);

// The reason a socket could not be opened, for the user: "This system has no SocketCAN support", "No such
// CAN interface", "The interface is down", or the system's own text.
[[nodiscard]] QString socketCanErrorText(int error);

class SocketCanLink final : public QObject {
    Q_OBJECT
public:
    SocketCanLink();
    ~SocketCanLink() override;

    // False with the reason when the socket cannot be opened; the filter is applied when it can.
    bool open(const std::string& interfaceName, const SocketCanFilter& filter, QString& reason);
    void close();
    // Hands the acceptance mask to the kernel; the receive path applies the same test itself.
    void setFilter(const SocketCanFilter& filter);

    // Reads what the socket holds, then hands over everything received since the last call. The frames stay
    // valid until the next call. False once the link is gone; what came before is still handed over.
    bool receive(std::span<const ReceivedCanFrame>& frames);
    // Writes one frame without waiting. False when it was not sent (a full transmit queue, a lost link).
    bool write(const CanWireFrame& frame);

    [[nodiscard]] bool isOpen() const { return fd_ >= 0; }
    [[nodiscard]] bool lost() const { return lost_; }
    // Frames dropped because the queue was full, or because the interface's transmit queue was.
    [[nodiscard]] uint64_t droppedReceived() const { return droppedReceived_; }
    [[nodiscard]] uint64_t droppedSent() const { return droppedSent_; }
    // Called with every error frame the kernel reports, a bus-off before it ends the link.
    void setErrorFrameHandler(std::function<void(const CanWireFrame&)> handler) {
        onErrorFrame_ = std::move(handler);
    }

    // About ten seconds of a full bus at the highest frame rate, for a poll that cannot run meanwhile.
    static constexpr std::size_t kMaxQueued = 200000;
    static constexpr int kReceiveBufferBytes = 1 << 20;

signals:
    // Emitted once when the link goes down: interface removed or down, bus-off, or a failing read or write.
    void linkLost();

private:
    void drain();
    void markLost();

    int fd_ = -1;
    bool lost_ = false;
    std::unique_ptr<QSocketNotifier> notifier_;
    std::vector<ReceivedCanFrame> queue_;
    std::vector<ReceivedCanFrame> handed_;
    uint64_t droppedReceived_ = 0;
    uint64_t droppedSent_ = 0;
    // Seconds since midnight of the last whole second converted, so a stream converts once per second.
    int64_t cachedEpochSecond_ = -1;
    double cachedMidnightSeconds_ = 0;
    std::function<void(const CanWireFrame&)> onErrorFrame_;
};

} // namespace korvel
