#pragma once

// Holds the open link of whichever kind the settings name, made by the one factory of links, and says when
// it vanished. Commands, raw reads and the kind-specific calls below serve tests and benchmarks that drive
// one kind directly; the program itself reaches the link through the CanLink interface.

#include "link/canLink.h"
#include "link/serialLink.h"

#include <QObject>

#include <memory>
#include <string>
#include <string_view>
#include <vector>

class QSerialPort;

namespace korvel {

class SocketCanLink;

// Entries of the settings dialog's device list: serial ports, FTDI devices, "PEAKUSB" last.
[[nodiscard]] std::vector<std::string> fillDeviceList(const QString& openPortName = {});

class LinkTransport final : public QObject {
    Q_OBJECT
public:
    LinkTransport();
    ~LinkTransport() override;

    // Makes the link of the settings' kind when the held one is of another, and opens it. False stops the
    // connection sequence; the open errors have been shown.
    bool openTransport(const TransportSettings& settings);
    void closeTransport();
    // The link, open or not; null before the first open.
    [[nodiscard]] CanLink* link() const { return link_.get(); }
    [[nodiscard]] int deviceKind() const { return kind_; }
    [[nodiscard]] bool adapterLost() const { return link_ && link_->lost(); }
    [[nodiscard]] const LinkCounters& counters() const;
    [[nodiscard]] bool hasRoomForFrame() const { return !link_ || link_->hasRoomForFrame(); }
    void countFrameNotSent() {
        if (link_)
            link_->countFrameNotSent();
    }

    // A transmit row's frame; true without a link, where nothing is sent.
    bool writeFrame(std::string_view idText, std::string_view dlcText, std::string_view dataText,
                    int tag = 0);
    // The ASCII kinds' command and raw text; nothing on the others.
    std::string sendCommand(std::string_view command);
    bool readAvailable(std::string& text);
    void setCommandsCancelled(bool cancelled);
    // The serial kind's port.
    [[nodiscard]] bool isSerialOpen() const;
    [[nodiscard]] QSerialPort* serialPort() const;
    [[nodiscard]] std::size_t pendingSerialBytes() const;
    // The PEAK kind's read: 0 with a message, QRCVEMPTY when drained, other values as the library gives.
    uint32_t readPeakMessage(PeakMessage& message);
    [[nodiscard]] static bool isFatalPeakStatus(uint32_t status);
    // The raw CAN socket of a CAN network interface while one is open.
    [[nodiscard]] SocketCanLink* socketCan() const;

    static constexpr double kReplyBudgetSeconds = SerialLink::kReplyBudgetSeconds;
    static constexpr std::size_t kMaxSerialBacklog = SerialLink::kMaxBacklog;
    static constexpr std::size_t kLongestFrameLine = AsciiLink::kLongestFrameLine;

signals:
    // Emitted once when the adapter disappears while open.
    void adapterVanished();

private:
    std::unique_ptr<CanLink> link_;
    int kind_ = 0;
};

} // namespace korvel
