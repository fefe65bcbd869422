#include "filters/filterTests.h"

#include "core/basGlobal.h"
#include "core/numberText.h"

namespace korvel {

bool maskFilterPasses(std::string_view idText, int deviceKind, int32_t options, int32_t acceptanceMaskInv,
                      int32_t acceptanceCodeMasked) {
    if (deviceKind == deviceCom || deviceKind == deviceUsb || (options & optMaskFilter) == 0)
        return true;
    return (readHexNumber(idText) & acceptanceMaskInv) == acceptanceCodeMasked;
}

bool rangeFilterPasses(std::string_view idText, int32_t options, int32_t rangeFilterStart,
                       int32_t rangeFilterEnd, std::string_view discreteFilterText) {
    if ((options & optRangeFilter) == 0)
        return true;
    if (!discreteFilterText.empty() && discreteFilterText.find(idText) != std::string_view::npos)
        return true;
    const int32_t id = readHexNumber(idText);
    return rangeFilterStart <= id && id <= rangeFilterEnd;
}

} // namespace korvel
