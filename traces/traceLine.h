#pragma once

// A Tracer line read back as a frame to replay: runs of five blanks removed, then fields at single blanks:
// time, identifier, length digit, then "RTR" or the data bytes; further fields (the comment) are ignored.
// A line in the Tracer's own layout that does not read so is read again without its comment column, so
// every line the Tracer writes replays as its frame. Only a line that makes a well-formed frame is
// accepted, so nothing malformed reaches an adapter.

#include "link/canFrame.h"

#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace korvel {

struct TraceFrame {
    double timeSeconds = 0;
    std::string idText; // as the line holds it, zero-padded to 3 (standard) or 8 (extended) characters
    uint32_t id = 0;
    bool isExtended = false;
    bool isRemote = false;
    int dlc = 0;
    std::array<uint8_t, 8> data{};
    std::string dataHex; // the data fields joined, as the line holds them
};

// Nothing when a field is missing or unreadable: the time, an identifier that is not 1 to 8 hexadecimal
// digits or too large for its kind, a length other than 0 to 8, or a data field that is not two
// hexadecimal digits. The time takes "." or "," as its decimal separator.
[[nodiscard]] std::optional<TraceFrame> parseTraceLine(std::string_view line);

// Lines the replay passes over without sending: empty, a single character, or only blanks.
[[nodiscard]] bool isSkippedTraceLine(std::string_view line);

// The ASCII protocol line, without its CR: the letter, the identifier, the length digit and the data.
// A remote frame keeps its recorded length.
[[nodiscard]] std::string traceProtocolLine(const TraceFrame& frame);
[[nodiscard]] PeakMessage tracePeakMessage(const TraceFrame& frame);

} // namespace korvel
