#include "core/basGlobal.h"

#include <cstdio>

namespace korvel {

GlobalState basGlobal;

std::string versionText() {
    char text[32];
    std::snprintf(text, sizeof text, "%d.%02d.%02d", kVersionMajor, kVersionMinor, kVersionRevision);
    return text;
}

std::string applicationTitle() {
    return std::string(kAppTitle) + " V" + versionText();
}

void initialiseGlobals(GlobalState& state, std::string iniPath, char decimalSeparator) {
    state.iniPath = std::move(iniPath);
    state.padSpaces.assign(26, ' ');
    for (std::size_t i = 0; i < kDeviceNames.size(); ++i)
        state.deviceNames[i] = kDeviceNames[i];
    state.decimalSeparator = decimalSeparator;
}

std::string padRight(std::string_view text, std::size_t width) {
    std::string out(text);
    if (out.size() < width)
        out.append(width - out.size(), ' ');
    return out;
}

std::string filterStateText(int32_t options) {
    const bool mask = (options & optMaskFilter) != 0;
    const bool range = (options & optRangeFilter) != 0;
    if (mask && range)
        return "Filter: Mask & Range";
    if (mask)
        return "Filter: Mask";
    if (range)
        return "Filter: Range";
    return "Filter: Off";
}

} // namespace korvel
