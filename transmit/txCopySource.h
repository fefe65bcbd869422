#pragma once

// Reading a Tracer line back as the frame "Copy to TX List" enters into the transmit list.

#include "transmit/txEditor.h"

#include <optional>
#include <string_view>

namespace korvel {

// Runs of five blanks are removed and the rest split at single blanks: piece 0 is the time, piece 1 the
// identifier, piece 2 the DLC, then as many data bytes as the DLC says (as far as there are pieces), then
// comment words. A remote frame's "RTR" makes the data "RTR" wherever it stands. Nothing when the line has
// no identifier piece.
[[nodiscard]] std::optional<TxCopySource> copySourceFromTracerLine(std::string_view line);

} // namespace korvel
