#pragma once

// The two software tests every received frame must pass before anything else of the receive path sees it.

#include <cstdint>
#include <string_view>

namespace korvel {

// The acceptance mask test for adapters that do not filter themselves: with the mask filter on and a
// device kind other than COM or USB, the identifier must agree with the code in every bit the mask
// marks relevant (acceptanceMaskInv holds those bits, acceptanceCodeMasked the code restricted to them).
[[nodiscard]] bool maskFilterPasses(std::string_view idText, int deviceKind, int32_t options,
                                    int32_t acceptanceMaskInv, int32_t acceptanceCodeMasked);

// With the range filter on: the identifier lies in [start, end] or its text occurs anywhere in the
// discrete list (a substring search, so "1234" lets 123 and 234 pass).
[[nodiscard]] bool rangeFilterPasses(std::string_view idText, int32_t options, int32_t rangeFilterStart,
                                     int32_t rangeFilterEnd, std::string_view discreteFilterText);

} // namespace korvel
