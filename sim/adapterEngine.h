// The virtual adapter: an ASCII line-protocol CAN adapter with an SJA1000-type controller, and the same bus
// seen through a binary frame interface. Plain C++ with no Qt, so the pseudo-terminal front end and the fake
// vendor libraries share it. Time is always passed in (microseconds, any epoch), so tests control it.
#pragma once

#include "sim/faults.h"
#include "sim/scenario.h"
#include "sim/simFrame.h"
#include "sim/trafficGenerator.h"

#include <cstddef>
#include <cstdint>
#include <deque>
#include <map>
#include <optional>
#include <string>
#include <string_view>
#include <unordered_map>
#include <utility>
#include <vector>

namespace korvel::sim {

enum class BinaryStatus : uint32_t { Ok = 0, NotOpen, AlreadyOpen, Gone, BadFrame };

class AdapterEngine {
public:
    static constexpr size_t kMaxHostQueueBytes = 1 << 20;
    // Replies still fit when traffic has filled the queue, but a host that writes and never reads is bounded.
    static constexpr size_t kReplySlackBytes = 64 * 1024;
    static constexpr size_t kMaxLineLength = 64;
    static constexpr size_t kMaxLogEntries = 10000;
    static constexpr size_t kMaxBinaryQueue = 32768;
    static constexpr int64_t kTimestampWrapMs = 60000;

    explicit AdapterEngine(uint64_t seed = 1);
    // The traffic sink points back at the engine, so it stays where it was made.
    AdapterEngine(const AdapterEngine&) = delete;
    AdapterEngine& operator=(const AdapterEngine&) = delete;

    // ---- host side, ASCII line protocol ----
    // Bytes from the host; every CR ends a command, which is answered at once.
    void hostWrite(std::string_view bytes, int64_t nowUs);
    // Puts the frames due up to nowUs into the output.
    void advance(int64_t nowUs);
    [[nodiscard]] size_t pendingHostBytes() const { return out_.size() - outHead_; }
    [[nodiscard]] std::string_view peekHostBytes() const;
    void consumeHostBytes(size_t count);
    std::string takeHostBytes(size_t maxBytes = SIZE_MAX);
    void discardHostBytes();
    // How many bytes the host may take in its next read: small and random while replies are split,
    // unlimited (SIZE_MAX) otherwise.
    [[nodiscard]] size_t nextChunkLimit();

    // ---- binary side ----
    BinaryStatus binaryInit(uint16_t btr0btr1, int64_t nowUs);
    void binaryClose();
    // The next received frame, after generating traffic up to nowUs; false when there is none.
    bool binaryRead(SimFrame& frame, int64_t nowUs, int64_t* receivedUs = nullptr);
    BinaryStatus binaryWrite(const SimFrame& frame, int64_t nowUs);
    [[nodiscard]] size_t pendingBinaryFrames() const { return binaryQueue_.size(); }
    void discardBinaryFrames() { binaryQueue_.clear(); }

    // ---- configuration ----
    // Applies a scenario on top of the current set-up; on an error nothing changes.
    bool loadScenario(std::string_view text, std::string* error);
    void applyScenario(const Scenario& scenario);
    // The reply to "v" or "V" without its CR; empty makes that command unknown (BELL).
    void setVersionReply(char letter, std::string_view reply);
    void setVehicleEnabled(bool enabled) { traffic_.setVehicleEnabled(enabled); }
    bool addPeriodicFrame(const PeriodicFrameSpec& periodic) { return traffic_.addPeriodic(periodic); }
    bool addRtrAnswer(const SimFrame& answer) { return traffic_.addRtrAnswer(answer); }
    // Sustained load in frames per second on top of the vehicle, from the last time seen.
    void setRate(double framesPerSecond) { traffic_.setRate(framesPerSecond, lastNowUs_); }
    [[nodiscard]] double rate() const { return traffic_.rate(); }
    void setFault(Fault fault, bool on);
    [[nodiscard]] bool faultOn(Fault fault) const;
    void vanish();
    [[nodiscard]] bool vanished() const { return vanished_; }

    // ---- state ----
    [[nodiscard]] bool channelOpen() const { return side_ != Side::None; }
    [[nodiscard]] bool listenOnly() const { return listenOnly_; }
    [[nodiscard]] bool timestampsOn() const { return timestamps_; }
    [[nodiscard]] const std::string& bitrateCommand() const { return bitrateCommand_; } // "S6", "s031C"
    [[nodiscard]] std::optional<uint16_t> binaryBtr() const { return binaryBtr_; }
    [[nodiscard]] uint32_t acceptanceMask() const { return mask_; }
    [[nodiscard]] uint32_t acceptanceCode() const { return code_; }
    [[nodiscard]] const std::string& lastError() const { return lastError_; }

    // ---- what happened, for tests ----
    [[nodiscard]] uint64_t framesSentToHost() const { return framesSent_; }
    [[nodiscard]] uint64_t framesDroppedByFilter() const { return framesFiltered_; }
    [[nodiscard]] uint64_t framesTransmittedByHost() const { return framesTransmitted_; }
    [[nodiscard]] uint64_t overruns() const { return overruns_; }
    // Frames handed to the host per identifier text (as the line shows it) and DLC.
    [[nodiscard]] std::map<std::pair<std::string, int>, uint64_t> sentCounts() const;
    // The last kMaxLogEntries non-empty lines the host sent, oldest first, without CR.
    [[nodiscard]] std::vector<std::string> commandLog() const;
    void clearCommandLog() { commandLog_.clear(); }
    // The last kMaxLogEntries frames the host put on the bus, from either side.
    [[nodiscard]] std::vector<SimFrame> transmittedFrames() const;
    // When each of those frames arrived, in the engine's time, in the same order.
    [[nodiscard]] std::vector<int64_t> transmittedTimesUs() const;
    // The frames the host put on the bus with the time each arrived, oldest first, for timing measurements.
    // Recording stops at the limit (kMaxLogEntries unless set), so a long run cannot take all memory.
    struct Arrival {
        SimFrame frame;
        int64_t atUs = 0;
    };
    [[nodiscard]] const std::vector<Arrival>& arrivals() const { return arrivals_; }
    void setArrivalLimit(size_t limit) { arrivalLimit_ = limit; }
    void clearArrivals() { arrivals_.clear(); }

private:
    enum class Side { None, Ascii, Binary };
    using Handler = std::string (AdapterEngine::*)(std::string_view line, int64_t nowUs);

    int64_t clampTime(int64_t nowUs);
    void handleLine(std::string_view line, int64_t nowUs);
    void generateUntil(int64_t nowUs);
    void runTimeline(int64_t nowUs);
    void deliver(const SimFrame& frame, int64_t dueUs);
    void appendReply(std::string_view reply);
    void maybeGarbage();
    void openChannel(Side side, bool listenOnly, int64_t nowUs);
    void closeChannel();
    void hostTransmitted(const SimFrame& frame, int64_t nowUs);

    std::string versionLower(std::string_view line, int64_t nowUs);
    std::string versionUpper(std::string_view line, int64_t nowUs);
    std::string close(std::string_view line, int64_t nowUs);
    std::string standardBitrate(std::string_view line, int64_t nowUs);
    std::string registerBitrate(std::string_view line, int64_t nowUs);
    std::string timestampsCommand(std::string_view line, int64_t nowUs);
    std::string maskCommand(std::string_view line, int64_t nowUs);
    std::string codeCommand(std::string_view line, int64_t nowUs);
    std::string openNormal(std::string_view line, int64_t nowUs);
    std::string openListenOnly(std::string_view line, int64_t nowUs);
    std::string frameCommand(std::string_view line, int64_t nowUs);

    TrafficGenerator traffic_;
    TrafficGenerator::Sink sink_;
    Rng faultRng_;

    std::string out_;
    size_t outHead_ = 0;
    std::string line_;
    bool lineOverflow_ = false;
    std::deque<std::string> commandLog_;
    std::deque<SimFrame> transmitted_;
    std::deque<int64_t> transmittedTimesUs_;
    std::vector<Arrival> arrivals_;
    size_t arrivalLimit_ = kMaxLogEntries;
    std::deque<std::pair<SimFrame, int64_t>> binaryQueue_;
    std::unordered_map<uint64_t, uint64_t> sentCounts_;

    std::string versionLower_ = "v1013";
    std::string versionUpper_ = "V1013";
    Side side_ = Side::None;
    bool listenOnly_ = false;
    bool timestamps_ = false;
    std::string bitrateCommand_;
    std::optional<uint16_t> binaryBtr_;
    uint32_t mask_ = 0xFFFFFFFF;
    uint32_t code_ = 0;
    int64_t openUs_ = 0;
    int64_t lastNowUs_ = 0;
    bool timeSeen_ = false;
    std::optional<int64_t> firstOpenUs_;
    std::vector<TimedAction> timeline_;
    size_t nextAction_ = 0;
    bool faults_[kFaultNames.size()] = {};
    bool vanished_ = false;
    std::string lastError_;

    uint64_t framesSent_ = 0;
    uint64_t framesFiltered_ = 0;
    uint64_t framesTransmitted_ = 0;
    uint64_t overruns_ = 0;
};

} // namespace korvel::sim
