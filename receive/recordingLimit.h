#pragma once

// How much a recording may hold: the Tracer keeps every line in memory, so an unattended recording of a busy
// bus would otherwise grow until the machine runs out of it.

#include <cstddef>
#include <cstdint>
#include <string>

namespace korvel {

enum class RecordingRoom { plenty, nearlyFull, full };

// Nearly full from 90 % of the limit on.
[[nodiscard]] RecordingRoom recordingRoom(std::size_t textBytes, int64_t limitBytes);

// The limit in megabytes as the messages show it: "4096 MB".
[[nodiscard]] std::string recordingLimitText(int64_t limitBytes);
// The status bar's warning while the Tracer is nearly full.
[[nodiscard]] std::string recordingNearlyFullText(int64_t limitBytes);
// The message when recording stops, or cannot start, at the limit.
[[nodiscard]] std::string recordingFullText(int64_t limitBytes);

} // namespace korvel
