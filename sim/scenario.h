// Scenario files: a line-oriented script of what the virtual adapter is and does (docs/scenario.md).
#pragma once

#include "sim/faults.h"
#include "sim/periodicFrame.h"

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace korvel::sim {

struct TimedAction {
    enum class Kind { FaultOn, FaultOff, Rate, Vanish };
    int64_t afterOpenUs = 0; // measured from the first time the channel opens
    Kind kind = Kind::Vanish;
    Fault fault = Fault::Silent;
    double rate = 0;
};

struct VersionReply {
    char letter;       // 'v' or 'V'
    std::string reply; // without CR; empty = the command is refused with BELL
};

struct Scenario {
    std::optional<uint64_t> seed;
    std::optional<bool> vehicle;
    std::optional<double> rate;
    std::vector<VersionReply> versions;
    std::vector<Fault> faults;
    std::vector<PeriodicFrameSpec> frames;
    std::vector<SimFrame> rtrAnswers;
    std::vector<TimedAction> timeline; // in file order; the engine sorts by time
};

inline constexpr size_t kMaxScenarioBytes = 1 << 20;
inline constexpr size_t kMaxScenarioFrames = 512;
inline constexpr size_t kMaxScenarioAnswers = 256;
inline constexpr size_t kMaxTimedActions = 1024;

// Parses a whole file. On the first error returns nothing and, when `error` is given, sets it to
// "line N: what is wrong".
[[nodiscard]] std::optional<Scenario> parseScenario(std::string_view text, std::string* error);

// "250ms", "2s", "500us": an unsigned whole number with its unit. Nothing for anything else.
[[nodiscard]] std::optional<int64_t> parseDurationUs(std::string_view text);

} // namespace korvel::sim
