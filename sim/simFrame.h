// The frame record both sides of the virtual adapter share, and the text form of frames on the line protocol.
#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace korvel::sim {

struct SimFrame {
    uint32_t id = 0;
    bool extended = false;
    bool remote = false;
    uint8_t dlc = 0;
    std::array<uint8_t, 8> data{};

    bool operator==(const SimFrame&) const = default;
};

inline constexpr uint32_t kMaxStandardId = 0x7FF;
inline constexpr uint32_t kMaxExtendedId = 0x1FFFFFFF;

// SJA1000 single-filter acceptance (mask bit 1 = don't care). Standard frames compare identifier bits 10..0
// with register bits 31..21 and RTR with bit 20; the controller would also compare the first two data bytes
// with bits 15..0, but hosts set those registers for identifiers only, so bits 19..0 are treated as don't
// care. Extended frames compare identifier bits 28..0 with bits 31..3 and RTR with bit 2.
[[nodiscard]] bool acceptancePasses(const SimFrame& frame, uint32_t code, uint32_t mask);

// Appends a received-frame line with its CR: "t"/"T"/"r"/"R", identifier, DLC, data (none for a remote
// frame), optional 4-digit timestamp.
void appendFrameLine(std::string& out, const SimFrame& frame, std::optional<uint16_t> timestampMs,
                     bool lowerCase);

// The identifier as the line shows it: 3 or 8 hexadecimal digits.
[[nodiscard]] std::string idText(const SimFrame& frame, bool lowerCase = false);

// A frame line sent by the host (without CR). Strict: exact lengths, hexadecimal digits of either case,
// identifiers and DLC in range; anything else gives nothing.
[[nodiscard]] std::optional<SimFrame> parseHostFrameLine(std::string_view line);

// Exactly `digits` hexadecimal characters of either case; nothing otherwise.
[[nodiscard]] std::optional<uint32_t> parseHex(std::string_view text, size_t digits);

} // namespace korvel::sim
