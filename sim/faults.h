// The misbehaviours the virtual adapter can be told to show, by name for scenario files and the command line.
#pragma once

#include <array>
#include <optional>
#include <string_view>

namespace korvel::sim {

enum class Fault {
    SplitReplies, // the host's reads deliver a few bytes at a time
    LowerCaseIds, // received frame lines carry lower-case hexadecimal
    Silent,       // nothing is answered or sent
    BellOnly,     // every command is answered with BELL and not carried out
    Refuse,       // the version queries are answered, every other command and frame refused with BELL
    Garbage,      // now and then random bytes (never CR or BELL) arrive before a line
    Vanish,       // the adapter is gone for good: front ends close or fail
};

struct FaultName {
    Fault fault;
    std::string_view name;
};

inline constexpr std::array<FaultName, 7> kFaultNames{{
    {Fault::SplitReplies, "split"},
    {Fault::LowerCaseIds, "lowercase"},
    {Fault::Silent, "silent"},
    {Fault::BellOnly, "bellonly"},
    {Fault::Refuse, "refuse"},
    {Fault::Garbage, "garbage"},
    {Fault::Vanish, "vanish"},
}};

[[nodiscard]] inline std::optional<Fault> faultFromName(std::string_view name) {
    for (const FaultName& entry : kFaultNames) {
        if (entry.name == name) {
            return entry.fault;
        }
    }
    return std::nullopt;
}

} // namespace korvel::sim
