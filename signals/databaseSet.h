#pragma once

// The databases the user loaded, and the lookup from a frame's identifier to the message describing it.

#include "signals/dbc.h"

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

namespace korvel {

// The loaded databases, first loaded first. A message defined in two of them is decoded by the first.
// A message found stays where it is until its own database is removed.
class DatabaseSet {
public:
    void add(Database database); // appends; rebuilds the lookup
    void remove(int index);
    [[nodiscard]] int size() const;
    [[nodiscard]] const Database& at(int index) const;
    [[nodiscard]] bool empty() const;
    // The message a frame belongs to, or nullptr; J1939 messages are matched by parameter group.
    [[nodiscard]] const MessageDef* find(uint32_t id, bool extended) const;
    // Messages the last add() found already defined by an earlier database ("0x123 EngineData in a.dbc"), for
    // a one-time note to the user.
    [[nodiscard]] const std::vector<std::string>& lastDuplicates() const;

private:
    void rebuild();

    std::vector<std::unique_ptr<Database>> databases_;
    // Keyed by the id with bit 31 for extended frames; J1939 messages by their parameter-group key.
    std::unordered_map<uint32_t, const MessageDef*> exact_;
    std::unordered_map<uint32_t, const MessageDef*> j1939_;
    std::vector<std::string> lastDuplicates_;
};

// The key J1939 messages are matched by: the parameter group with its destination, without priority and
// source.
[[nodiscard]] constexpr uint32_t j1939Key(uint32_t id) {
    return id & 0x03FFFF00u;
}

// The numeric identifier of a frame's id text ("1AB", "18FEF100"); false when it is not hexadecimal.
bool frameIdValue(std::string_view idText, uint32_t& id);
// The data bytes of a frame's data text ("11 22 33"); the count, 0 for "RTR" or empty.
int frameDataBytes(std::string_view dataText, uint8_t out[8]);

} // namespace korvel
