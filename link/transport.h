#pragma once

// The three ways to reach an adapter: a serial port ("COM"), an FTDI USB chip ("USB") and the PEAK library
// ("PEAKUSB"). Opens, sends one command and collects its reply, reads what arrived, writes frames, closes.
// Messages for the user go through the prompts seam with their exact texts.

#include "link/basD2XX.h"
#include "link/canFrame.h"
#include "link/replyCollector.h"

#include <QObject>

#include <deque>
#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

class QSerialPort;

namespace korvel {

class SocketCanLink;

// Seconds of a monotonic clock with four decimals; tests replace it so budgets run instantly.
[[nodiscard]] double clockSeconds();
using ClockFunction = std::function<double()>;
void setClockSeconds(ClockFunction clock); // an empty function restores the real clock

// What went wrong with frames on the open link, for the user to see: frames a slow adapter had no room for,
// frames the adapter refused, and damaged lines it sent.
struct LinkCounters {
    uint64_t notSent = 0;
    uint64_t refused = 0;
    uint64_t malformed = 0;
    friend bool operator==(const LinkCounters&, const LinkCounters&) = default;
};

// "Not sent: 3  Refused: 5  Bad lines: 1" with only the counts above 0; empty while all are 0.
[[nodiscard]] std::string linkTroubleText(const LinkCounters& counters);

// The settings a transport needs, taken from the shared state by the caller.
struct TransportSettings {
    int deviceKind = 0;
    std::string comPort;
    std::string comBaudrate;
    bool rtsHandshake = false;
    // The acceptance mask, for a CAN network interface's socket filter.
    bool maskFilter = false;
    int32_t acceptanceMaskInv = 0;
    int32_t acceptanceCodeMasked = 0;
};

// The serial port for a port text: digits only name a numbered port, anything else a port name or path.
[[nodiscard]] QString serialPortName(const std::string& comPort);

// Entries of the settings dialog's device list: serial ports, FTDI devices, "PEAKUSB" last.
[[nodiscard]] std::vector<std::string> fillDeviceList(const QString& openPortName = {});

class LinkTransport final : public QObject {
    Q_OBJECT
public:
    LinkTransport();
    ~LinkTransport() override;

    // False stops the connection sequence. Shows the open errors itself.
    bool openTransport(const TransportSettings& settings);
    // The reply with its CR or BELL, or what came before the wait ended; empty when nothing is open.
    std::string sendCommand(std::string_view command);
    // Everything received since the last call; while a command waits, only the frames it set aside. False
    // when the adapter is gone: the port is then closed.
    bool readAvailable(std::string& text);
    // One frame line followed by CR, or one PEAK message; nothing is awaited. False when the frame surely did
    // not leave: the adapter is gone, a slow serial adapter is still behind by more than kMaxSerialBacklog,
    // or a CAN interface's transmit queue was full. `tag` comes back from frameAnswered when an ASCII
    // adapter refuses the frame.
    bool writeFrame(std::string_view idText, std::string_view dlcText, std::string_view dataText,
                    int tag = 0);
    void closeTransport();
    // While set, commands return at once with no reply, so a sequence that is being abandoned stops waiting.
    void setCommandsCancelled(bool cancelled) { cancelled_ = cancelled; }
    // A complete frame line, CR appended here, on the ASCII kinds; false when it was not written whole or
    // the adapter is still behind by more than kMaxSerialBacklog.
    bool writeFrameLine(std::string_view line);
    // An ASCII adapter's answer to the oldest frame still waiting for one: an acknowledgement, or a refusal
    // (BELL), which is counted. The tag it was written with, 0 when none waited.
    int frameAnswered(bool refused);
    // A damaged frame line from the adapter, dropped by the receive path.
    void countMalformedLine() { ++counters_.malformed; }
    // False while a slow serial adapter is so far behind that a frame would be dropped.
    [[nodiscard]] bool hasRoomForFrame() const {
        return pendingSerialBytes() + kLongestFrameLine <= kMaxSerialBacklog;
    }
    // A frame its sender dropped for want of room.
    void countFrameNotSent() { ++counters_.notSent; }
    [[nodiscard]] const LinkCounters& counters() const { return counters_; }
    // One PEAK message; false when the library refused it.
    bool writePeakMessage(const PeakMessage& message);
    // Bytes handed to the serial port that it has not written yet.
    [[nodiscard]] std::size_t pendingSerialBytes() const;

    // A PEAK read: 0 with a message, QRCVEMPTY when drained, other values as the library gives them.
    uint32_t readPeakMessage(PeakMessage& message);
    [[nodiscard]] static bool isFatalPeakStatus(uint32_t status);

    [[nodiscard]] int deviceKind() const { return kind_; }
    [[nodiscard]] bool isSerialOpen() const;
    [[nodiscard]] bool adapterLost() const { return lost_; }
    [[nodiscard]] QSerialPort* serialPort() const { return comCAN_.get(); }

    // The raw CAN socket of a CAN network interface while one is open.
    [[nodiscard]] SocketCanLink* socketCan() const { return socketCan_.get(); }
    void applySocketCanFilter(const TransportSettings& settings);

    // Reply waits end after this many seconds of the command clock.
    static constexpr double kReplyBudgetSeconds = 3.0;
    static constexpr uint32_t kFtdiReadTimeoutMs = 300;
    static constexpr uint32_t kFtdiWriteTimeoutMs = 300;
    static constexpr uint32_t kFtdiReadChunk = 256;
    // Frames set aside during command waits: seconds of the fastest bus, yet bounded.
    static constexpr std::size_t kMaxCarryOver = 16 * 1024 * 1024;
    // Bytes a slow serial adapter may be behind before a frame is dropped: a third of a second at 115,200
    // baud, so a backlog never delays what follows by more than that.
    static constexpr std::size_t kMaxSerialBacklog = 4096;
    // "T", 8 identifier digits, the DLC, 16 data digits and the CR.
    static constexpr std::size_t kLongestFrameLine = 27;
    // Frames remembered while their answer is awaited; an adapter that never answers cannot grow it.
    static constexpr std::size_t kMaxAwaitedAnswers = 4096;

signals:
    // Emitted once when the adapter disappears while open.
    void adapterVanished();

private:
    std::string sendSerialCommand(std::string_view command);
    std::string sendUsbCommand(std::string_view command);
    void markLost();
    // After a serial error: true only when the device is really gone, not when its buffer is merely full.
    [[nodiscard]] bool serialDeviceGone() const;
    bool writeFrameText(const std::string& line, int tag);
    void waitForSerialData(int milliseconds);
    void boundCarryOver();

    // Marks the time a command waits for its reply, also when it returns early; a command sent from an event
    // inside another's wait leaves the outer one marked.
    struct WaitScope {
        explicit WaitScope(bool& flag) : flag_(flag), before_(flag) { flag_ = true; }
        ~WaitScope() { flag_ = before_; }
        WaitScope(const WaitScope&) = delete;
        WaitScope& operator=(const WaitScope&) = delete;
        bool& flag_;
        bool before_;
    };
    // Writes to the open serial port and hands the bytes to the system at once; false when not all were
    // taken.
    bool writeSerial(std::string_view text);
    bool openSocketCan(const TransportSettings& settings);
    bool writeSocketCanFrame(std::string_view idText, std::string_view dlcText, std::string_view dataText);

    int kind_ = 0;
    std::unique_ptr<QSerialPort> comCAN_;
    basD2XX::FT_HANDLE ftdiHandle_ = nullptr;
    bool ftdiOpen_ = false;
    bool lost_ = false;
    bool flushBeforeCommand_ = false;
    bool waitingForReply_ = false;
    bool cancelled_ = false;
    ReplyCollector collector_;
    std::string carryOver_; // received text for the next poll, set aside while commands waited
    std::unique_ptr<SocketCanLink> socketCan_;
    std::deque<int> awaitedAnswers_;
    LinkCounters counters_;
};

} // namespace korvel
