#pragma once

// An ASCII adapter on a serial port ("COM"), the virtual adapter's terminal included.

#include "link/asciiLink.h"

#include <memory>

class QSerialPort;

namespace korvel {

// The serial port for a port text: digits only name a numbered port, anything else a port name or path.
[[nodiscard]] QString serialPortName(const std::string& comPort);

class SerialLink final : public AsciiLink {
    Q_OBJECT
public:
    SerialLink();
    ~SerialLink() override;

    bool open(const TransportSettings& settings) override;
    void close() override;
    std::string sendCommand(std::string_view command) override;
    bool readAvailable(std::string& text) override;
    [[nodiscard]] bool usable() const override { return isOpen() && !lost_; }
    [[nodiscard]] bool hasRoomForFrame() const override {
        return pendingBytes() + kLongestFrameLine <= kMaxBacklog;
    }

    [[nodiscard]] bool isOpen() const;
    [[nodiscard]] QSerialPort* port() const { return port_.get(); }
    // Bytes handed to the port that it has not written yet.
    [[nodiscard]] std::size_t pendingBytes() const;

    // Reply waits end after this many seconds of the command clock.
    static constexpr double kReplyBudgetSeconds = 3.0;
    // Bytes a slow adapter may be behind before a frame is dropped: a third of a second at 115,200 baud,
    // so a backlog never delays what follows by more than that.
    static constexpr std::size_t kMaxBacklog = 4096;

protected:
    bool writeFrameBytes(const std::string& text) override;

private:
    // Writes to the open port and hands the bytes to the system at once; false when not all were taken.
    bool writeSerial(std::string_view text);
    void waitForData(int milliseconds);
    // After a port error: true only when the device is really gone, not when its buffer is merely full.
    [[nodiscard]] bool deviceGone() const;
    void lose();

    std::unique_ptr<QSerialPort> port_;
    bool flushBeforeCommand_ = false;
};

} // namespace korvel
