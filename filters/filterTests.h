#pragma once

// The two software tests every received frame must pass before anything else of the receive path sees it.

#include "core/basGlobal.h"

#include <cstdint>
#include <span>
#include <string_view>
#include <vector>

namespace korvel {

// The acceptance mask test for links whose adapter does not filter itself: with the mask filter on, the
// identifier must agree with the code in every bit the mask marks relevant (acceptanceMaskInv holds those
// bits, acceptanceCodeMasked the code restricted to them).
[[nodiscard]] bool maskPasses(std::string_view idText, int32_t options, int32_t acceptanceMaskInv,
                              int32_t acceptanceCodeMasked);
// The same for a device kind: always true where the adapter applies the mask itself.
[[nodiscard]] bool maskFilterPasses(std::string_view idText, int deviceKind, int32_t options,
                                    int32_t acceptanceMaskInv, int32_t acceptanceCodeMasked);

// The identifiers a discrete list text names, sorted. Entries are separated by commas; blanks around an
// entry are ignored; an entry of one to three hexadecimal digits names a standard identifier and one of
// four to eight digits an extended one, as the transmit editor tells them apart (so "100" is not the
// extended 00000100). Empty entries and entries that are no such number name nothing.
[[nodiscard]] std::vector<DiscreteFilterId> readDiscreteFilterIds(std::string_view text);

// With the range filter on: the identifier's value lies in [start, end], whatever its kind, or the
// discrete list names the identifier, by value and kind ("0C8" and "C8" are the same identifier). An
// identifier text that is not wholly hexadecimal is in no list.
[[nodiscard]] bool rangeFilterPasses(std::string_view idText, bool isExtended, int32_t options,
                                     int32_t rangeFilterStart, int32_t rangeFilterEnd,
                                     std::span<const DiscreteFilterId> discreteIds);

} // namespace korvel
