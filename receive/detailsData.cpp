#include "receive/detailsData.h"

#include "core/iniFile.h"

#include <algorithm>
#include <cmath>
#include <limits>

namespace korvel {

namespace {

int hexValue(QStringView pair) {
    int value = 0;
    for (QChar c : pair) {
        const char16_t u = c.unicode();
        int digit = -1;
        if (u >= '0' && u <= '9')
            digit = u - '0';
        else if (u >= 'A' && u <= 'F')
            digit = u - 'A' + 10;
        else if (u >= 'a' && u <= 'f')
            digit = u - 'a' + 10;
        if (digit < 0)
            break;
        value = value * 16 + digit;
    }
    return value;
}

int clampedRound(double value) {
    if (!std::isfinite(value))
        return 0;
    constexpr double lo = std::numeric_limits<int>::min();
    constexpr double hi = std::numeric_limits<int>::max();
    return static_cast<int>(std::lround(std::clamp(value, lo, hi)));
}

double usableDpi(double dpi) {
    return dpi > 0 && std::isfinite(dpi) ? dpi : 96.0;
}

} // namespace

DetailsBytes detailsBytes(QStringView dataText) {
    DetailsBytes bytes;
    for (std::size_t i = 0; i < 8; ++i) {
        const qsizetype pos = 3 * static_cast<qsizetype>(i);
        const QStringView pair = pos < dataText.size() ? dataText.mid(pos, 2) : QStringView{};
        bytes.hex[i] = pair.toString();
        bytes.value[i] = hexValue(pair);
    }
    return bytes;
}

std::array<int, 7> detailsIntegers(const std::array<int, 8>& values, DetailsByteOrder order) {
    std::array<int, 7> integers{};
    for (std::size_t k = 0; k < integers.size(); ++k) {
        const int high = order == DetailsByteOrder::motorola ? values[k] : values[k + 1];
        const int low = order == DetailsByteOrder::motorola ? values[k + 1] : values[k];
        integers[k] = high * 256 + low;
    }
    return integers;
}

DetailsPosition readDetailsPosition(const std::string& iniPath) {
    const IniDocument ini = IniDocument::load(iniPath);
    return {iniInteger(ini, kDetailsSection, "Top", 0), iniInteger(ini, kDetailsSection, "Left", 0)};
}

bool writeDetailsPosition(const std::string& iniPath, DetailsPosition position, std::string* error) {
    std::optional<IniDocument> ini = IniDocument::read(iniPath, error);
    if (!ini)
        return false;
    ini->setValue(kDetailsSection, "Top", std::to_string(position.top));
    ini->setValue(kDetailsSection, "Left", std::to_string(position.left));
    return ini->save(iniPath, error);
}

int pixelsToTwips(int pixels, double dpi) {
    return clampedRound(pixels * 1440.0 / usableDpi(dpi));
}

int twipsToPixels(int twips, double dpi) {
    return clampedRound(twips * usableDpi(dpi) / 1440.0);
}

} // namespace korvel
