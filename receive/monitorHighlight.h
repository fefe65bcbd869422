#pragma once

// Change highlighting in the Monitor: bytes that changed lately glow and fade, identifiers that went quiet
// are greyed. Times are seconds of the host's monotonic clock.

#include "core/iniFile.h"

#include <array>
#include <cstdint>
#include <functional>
#include <limits>
#include <string_view>

namespace korvel {

inline constexpr double kChangeFadeSeconds = 1.0;
inline constexpr double kSilentWithoutPeriodSeconds = 2.0;
// Frames reach the Monitor in 100 ms polls, so a row of a fast identifier is always some tenths of a second
// old when it is painted: quiet is never less than this.
inline constexpr double kSilentFloorSeconds = 0.5;
inline constexpr double kNeverChanged = -std::numeric_limits<double>::infinity();

using ByteChangeTimes = std::array<double, 8>;
using SecondsClock = std::function<double()>;

// The monotonic clock in seconds; the Monitor reads its own clock, so tests can set it without moving
// anyone else's.
[[nodiscard]] double monotonicSeconds();

// Sets the time of every byte of `newData` that differs from `oldData` (or that `oldData` lacks, or all
// of them after a remote frame) to `now`; true when any did. Data texts are hexadecimal pairs with one
// blank between, or "RTR", which has no bytes to mark.
bool markChangedBytes(std::string_view oldData, std::string_view newData, double now,
                      ByteChangeTimes& changedAt);

// How strongly a byte changed at `changedAt` glows at `now`: 255 at the change, down to 0 after the fade.
[[nodiscard]] uint8_t changeHeat(double changedAt, double now);

// How long a row may stay without frames before it counts as quiet: three periods, or two seconds while it
// has no period.
[[nodiscard]] double quietAfterSeconds(int64_t periodMs);

// The switch in its own section of the settings file, on unless stored off. Writing the default into a
// file that never held the key leaves the file as it was.
[[nodiscard]] bool readChangeHighlight(const IniDocument& ini);
void writeChangeHighlight(IniDocument& ini, bool on);

} // namespace korvel
