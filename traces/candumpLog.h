#pragma once

// The log format of the Linux CAN tools, one frame a line: "(1436509052.249713) can0 123#1122", with
// "123#R" for a remote frame and eight hexadecimal digits for an extended identifier.

#include "traces/logFrame.h"

#include <string>
#include <string_view>

namespace korvel {

// The interface name saved logs give their frames; the Tracer does not record one.
inline constexpr std::string_view kCandumpInterface = "can0";

[[nodiscard]] LogLine readCandumpLine(std::string_view line, LogFrame& frame);
void appendCandumpLine(std::string& out, const LogFrame& frame);

// The Tracer's frame lines as a log, times made monotonic (absolute once lines have a time of
// reception), written to `out`.
void writeCandumpLog(const TracerTimedLineSource& lines, LogBlockWriter& out, LogSaveResult& result);

} // namespace korvel
