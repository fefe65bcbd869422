#include "settings/settingsStore.h"

#include "core/numberText.h"
#include "filters/filterTests.h"
#include "link/canFrame.h"

#include <algorithm>
#include <cmath>
#include <limits>

namespace korvel {

namespace {

constexpr const char* kOptions = "Options";
constexpr const char* kPosition = "Position";

int32_t integerInRange(const IniDocument& ini, const char* key, int32_t lo, int32_t hi) {
    const int32_t value = iniInteger(ini, kOptions, key, 0);
    return (value < lo || value > hi) ? 0 : value;
}

// A register text of more than eight hexadecimal digits cannot be a 32-bit register: keep the default.
std::string hexText(const IniDocument& ini, const char* key) {
    std::string text = iniString(ini, kOptions, key);
    return leadingHexDigits(text) > 8 ? std::string("0") : text;
}

int32_t numberValue(const IniDocument& ini, const char* key) {
    return roundHalfEven(readNumber(iniString(ini, kPosition, key)));
}

} // namespace

void computeFilterValues(GlobalState& state) {
    state.acceptanceMaskInv = ~readHexNumber(state.acceptanceMaskText);
    state.acceptanceCodeMasked = readHexNumber(state.acceptanceCodeText) & state.acceptanceMaskInv;
    state.rangeFilterStart = readHexNumber(state.rangeFilterStartText);
    state.rangeFilterEnd = readHexNumber(state.rangeFilterEndText);
    state.discreteFilterIds = readDiscreteFilterIds(state.discreteFilterText);
}

LoadedPlacement loadSettingsFrom(const IniDocument& ini, GlobalState& state) {
    constexpr int32_t int16Min = std::numeric_limits<int16_t>::min();
    constexpr int32_t int16Max = std::numeric_limits<int16_t>::max();

    state.comPort = iniString(ini, kOptions, "ComPort");
    state.options = integerInRange(ini, "Options", int16Min, int16Max);
    state.deviceKind = integerInRange(ini, "Device", deviceNone, deviceSocketCan);
    state.canBitrateIndex = integerInRange(ini, "Baudrate", 0, kUserBitrateIndex);
    state.comBaudrate = iniString(ini, kOptions, "COMBaudrate");
    if (state.comBaudrate == "0")
        state.comBaudrate = "57600";
    state.userBitrate = iniString(ini, kOptions, "UserBaudrate");
    state.acceptanceMaskText = hexText(ini, "Mask");
    state.acceptanceCodeText = hexText(ini, "Filter");
    state.rangeFilterStartText = hexText(ini, "FilterStart");
    state.rangeFilterEndText = hexText(ini, "FilterEnd");
    state.discreteFilterText = iniString(ini, kOptions, "FilterDiscrete");
    computeFilterValues(state);

    LoadedPlacement loaded;
    const int32_t width = numberValue(ini, "Width");
    if (width > 0) {
        loaded.hasPosition = true;
        loaded.placement.width = width;
        loaded.placement.top = numberValue(ini, "Top");
        loaded.placement.left = numberValue(ini, "Left");
        loaded.placement.height = numberValue(ini, "Height");
        const int32_t windowState = numberValue(ini, "WindowState");
        loaded.placement.windowState = (windowState < 0 || windowState > 2) ? 0 : windowState;
    }
    loaded.split = iniInteger(ini, kPosition, "Split", 0);
    // Only read: a file without the section keeps the default and is written back without it.
    const int32_t limitMB =
        iniInteger(ini, "Recording", "LimitMB", static_cast<int32_t>(kDefaultRecordingLimitBytes >> 20));
    state.recordingLimitBytes = int64_t{std::clamp(limitMB, 1, kMaxRecordingLimitMB)} << 20;
    return loaded;
}

QRect placementRect(const WindowPlacement& placement, double dpi, const QList<QRect>& workAreas,
                    QSize minimum) {
    const double scale = (dpi > 0 && std::isfinite(dpi) ? dpi : 96.0) / 1440.0;
    const auto pixels = [scale](int32_t twips, int lo, int hi) {
        return static_cast<int>(std::clamp(std::round(twips * scale), double(lo), double(std::max(lo, hi))));
    };
    constexpr int far = 1 << 30;
    const QPoint storedCorner(pixels(placement.left, -far, far), pixels(placement.top, -far, far));
    const auto holder = std::find_if(workAreas.begin(), workAreas.end(),
                                     [&](const QRect& area) { return area.contains(storedCorner); });
    const QRect& available = holder != workAreas.end() ? *holder : workAreas.front();
    const int width = pixels(placement.width, std::max(1, minimum.width()), available.width());
    const int height = pixels(placement.height, std::max(1, minimum.height()), available.height());
    const int left = pixels(placement.left, available.left(), available.left() + available.width() - width);
    const int top = pixels(placement.top, available.top(), available.top() + available.height() - height);
    return {left, top, width, height};
}

int32_t resolveSplit(int32_t storedSplit, int32_t freeHeightTwips) {
    if (storedSplit <= 0 || storedSplit > freeHeightTwips - 800)
        return roundHalfEven(freeHeightTwips / 2.0);
    return storedSplit;
}

void saveSettingsTo(IniDocument& ini, const GlobalState& state, const WindowPlacement& placement) {
    ini.setValue(kOptions, "Comport", state.comPort);
    ini.setValue(kOptions, "Device", std::to_string(state.deviceKind));
    ini.setValue(kOptions, "Baudrate", std::to_string(state.canBitrateIndex));
    ini.setValue(kOptions, "COMBaudrate", state.comBaudrate);
    ini.setValue(kOptions, "UserBaudrate", state.userBitrate);
    ini.setValue(kOptions, "Options", std::to_string(static_cast<int16_t>(state.options)));
    ini.setValue(kOptions, "Mask", state.acceptanceMaskText);
    ini.setValue(kOptions, "Filter", state.acceptanceCodeText);
    ini.setValue(kOptions, "FilterStart", state.rangeFilterStartText);
    ini.setValue(kOptions, "FilterEnd", state.rangeFilterEndText);
    ini.setValue(kOptions, "FilterDiscrete", state.discreteFilterText);

    ini.setValue(kPosition, "WindowState", std::to_string(placement.windowState));
    ini.setValue(kPosition, "Top", std::to_string(placement.top));
    ini.setValue(kPosition, "Left", std::to_string(placement.left));
    ini.setValue(kPosition, "Height", std::to_string(placement.height));
    ini.setValue(kPosition, "Width", std::to_string(placement.width));
    ini.setValue(kPosition, "Split", std::to_string(state.splitPosition));
}

} // namespace korvel
