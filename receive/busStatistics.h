#pragma once

// What the bus carries, measured: frames per second each way, the share of the bitrate the frames take on
// the wire (stuff bits included), and the counts of trouble the link can report. A count the link cannot
// tell stays unknown rather than showing a 0 that would claim a clean bus.

#include "link/canFrame.h"

#include <array>
#include <cstdint>
#include <functional>
#include <optional>
#include <span>
#include <string>

namespace korvel {

// Bits a classic CAN frame occupies on the wire from its start bit to the end of the interframe space:
// the stuffed part (start bit to the end of the CRC) with its stuff bits counted from the frame's actual
// bits and CRC, then CRC delimiter, ACK slot and delimiter, end of frame and intermission. A remote frame
// carries no data whatever its length code says.
[[nodiscard]] int canFrameWireBits(uint32_t id, bool extended, bool remote, uint8_t dlc,
                                   std::span<const uint8_t> data);
// The same for a received frame record; 0 when its texts do not read as a frame.
[[nodiscard]] int canFrameWireBits(const CanFrame& frame);
// The bits after the CRC that are never stuffed: 1 + 1 + 1 + 7 + 3.
inline constexpr int kCanFixedTailBits = 13;

// The CAN CRC-15 (polynomial 0x4599) over `count` bits, most significant first, given one bit a byte.
[[nodiscard]] uint16_t canCrc15(std::span<const uint8_t> bits);

// The bitrate in bit/s of a bitrate index of the settings; nothing for the user-defined entry, whose
// register value depends on the adapter's clock.
[[nodiscard]] std::optional<uint32_t> bitrateOfIndex(int index);

// A figure the statistics show: a value, or nothing when the link cannot tell.
struct BusFigures {
    double receivedPerSecond = 0;
    double sentPerSecond = 0;
    double peakReceivedPerSecond = 0;
    double peakSentPerSecond = 0;
    std::optional<double> loadPercent;
    std::optional<double> peakLoadPercent;
    uint64_t receivedFrames = 0;
    uint64_t sentFrames = 0;
    std::optional<uint64_t> errorFrames;
    std::optional<uint64_t> overruns;
    std::optional<uint64_t> droppedFrames;
    std::optional<std::string> errorState; // "error active", "error warning", "error passive", "bus off"
    std::optional<int> txErrorCounter;
    std::optional<int> rxErrorCounter;
    std::string lastError; // the newest error frame in words; empty while none came
};

// What the connected link can report beside its frames.
struct BusAbilities {
    std::optional<uint32_t> bitrate; // bit/s
    bool errorFrames = false;        // error frames, overruns, error state and counters
    bool droppedFrames = false;
};

// Counts frames into a sliding window of short buckets, read on the injected clock, so a bus that stops
// drains to zero within the window and memory stays the same whatever the rate.
class BusStatistics {
public:
    static constexpr double kBucketSeconds = 0.1;
    static constexpr int kBuckets = 10; // a one-second window

    explicit BusStatistics(std::function<double()> clock = {});

    // Starts over for a new connection.
    void reset(const BusAbilities& abilities);

    void countReceived(const CanFrame& frame) { add(canFrameWireBits(frame), false); }
    void countSent(int wireBits) { add(wireBits, true); }
    // An error frame from the link, already decoded (see canErrorFrame.h).
    void countErrorFrame(bool overrun, const std::optional<std::string>& state, std::optional<int> txErrors,
                         std::optional<int> rxErrors, std::string words);
    // The link's own count of frames it had to drop.
    void setDroppedFrames(uint64_t count);

    // The figures now; also moves the peaks. A sample before anything was counted shows zeros.
    [[nodiscard]] BusFigures sample();
    [[nodiscard]] const BusAbilities& abilities() const { return abilities_; }

private:
    struct Bucket {
        int64_t index = -1;
        uint32_t received = 0;
        uint32_t sent = 0;
        uint64_t bits = 0;
    };
    void add(int bits, bool sent);
    Bucket& bucketAt(double now);

    std::function<double()> clock_;
    BusAbilities abilities_;
    std::array<Bucket, kBuckets> buckets_{};
    double start_ = 0;
    BusFigures figures_;
};

// "Rx 1234/s  Tx 5/s  Load 42.1 %" for the main window; the load reads "?" when the bitrate is unknown.
[[nodiscard]] std::string compactBusText(const BusFigures& figures);
// A count as the window shows it: the number, or "unknown".
[[nodiscard]] std::string figureText(const std::optional<uint64_t>& value);
// "12.3 %" or "unknown".
[[nodiscard]] std::string percentText(const std::optional<double>& value);

} // namespace korvel
