#pragma once

// Frames Korvel sends, shown beside the received ones: the mark that tells them apart in the Tracer and
// the Monitor, and the frame record of a sent row's texts.

#include "link/canFrame.h"

#include <string>
#include <string_view>

namespace korvel {

// Stands first in the comment column of a sent frame's Tracer line and Monitor row. The replay and the
// details window read a line's frame before its comment, so a sent line replays as the frame it was.
inline constexpr std::string_view kSentFrameMark = "[Tx]";

// The comment column of a sent frame: the mark, then the frame's own comment, if any.
[[nodiscard]] std::string sentFrameComment(std::string_view comment);

// The frame record of a frame sent from a transmit row's texts: more than three identifier digits make an
// extended identifier, "RTR" a remote frame, as the send itself reads them.
[[nodiscard]] CanFrame sentFrameFromRow(std::string_view idText, std::string_view dlcText,
                                        std::string_view dataText);

// The time field of a Tracer line: what stands before its first blank; empty when that is no time.
[[nodiscard]] std::string_view tracerLineTime(std::string_view line);

} // namespace korvel
