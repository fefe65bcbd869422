#include "filters/filterTests.h"

#include "core/basGlobal.h"
#include "core/numberText.h"
#include "link/deviceChoice.h"

#include <algorithm>
#include <optional>

namespace korvel {

namespace {

constexpr std::size_t kMaxIdDigits = 8;
constexpr std::size_t kMaxStandardIdDigits = 3;

// The value of a text of one to eight hexadecimal digits; nothing for any other text.
std::optional<uint32_t> hexIdValue(std::string_view text) {
    if (text.empty() || text.size() > kMaxIdDigits)
        return std::nullopt;
    uint32_t value = 0;
    for (const char c : text) {
        const int digit = hexDigitValue(c);
        if (digit < 0)
            return std::nullopt;
        value = (value << 4) | static_cast<uint32_t>(digit);
    }
    return value;
}

std::string_view trimBlanks(std::string_view text) {
    const auto first = text.find_first_not_of(" \t");
    if (first == std::string_view::npos)
        return {};
    return text.substr(first, text.find_last_not_of(" \t") - first + 1);
}

} // namespace

std::vector<DiscreteFilterId> readDiscreteFilterIds(std::string_view text) {
    std::vector<DiscreteFilterId> ids;
    while (!text.empty()) {
        const std::size_t comma = std::min(text.find(','), text.size());
        const std::string_view entry = trimBlanks(text.substr(0, comma));
        if (const auto value = hexIdValue(entry))
            ids.push_back({*value, entry.size() > kMaxStandardIdDigits});
        text.remove_prefix(std::min(comma + 1, text.size()));
    }
    std::sort(ids.begin(), ids.end());
    ids.erase(std::unique(ids.begin(), ids.end()), ids.end());
    return ids;
}

bool maskPasses(std::string_view idText, int32_t options, int32_t acceptanceMaskInv,
                int32_t acceptanceCodeMasked) {
    if ((options & optMaskFilter) == 0)
        return true;
    return (readHexNumber(idText) & acceptanceMaskInv) == acceptanceCodeMasked;
}

bool maskFilterPasses(std::string_view idText, int deviceKind, int32_t options, int32_t acceptanceMaskInv,
                      int32_t acceptanceCodeMasked) {
    return adapterAppliesMask(deviceKind) ||
           maskPasses(idText, options, acceptanceMaskInv, acceptanceCodeMasked);
}

bool rangeFilterPasses(std::string_view idText, bool isExtended, int32_t options, int32_t rangeFilterStart,
                       int32_t rangeFilterEnd, std::span<const DiscreteFilterId> discreteIds) {
    if ((options & optRangeFilter) == 0)
        return true;
    if (const auto value = hexIdValue(idText);
        value &&
        std::binary_search(discreteIds.begin(), discreteIds.end(), DiscreteFilterId{*value, isExtended}))
        return true;
    const int32_t id = readHexNumber(idText);
    return rangeFilterStart <= id && id <= rangeFilterEnd;
}

} // namespace korvel
