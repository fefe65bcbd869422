#include "core/numberText.h"

#include <cmath>
#include <limits>

namespace korvel {

bool isHexDigit(char c) {
    return hexDigitValue(c) >= 0;
}

char toUpperAscii(char c) {
    return (c >= 'a' && c <= 'z') ? static_cast<char>(c - 'a' + 'A') : c;
}

int hexDigitValue(char c) {
    if (c >= '0' && c <= '9')
        return c - '0';
    if (c >= 'A' && c <= 'F')
        return c - 'A' + 10;
    if (c >= 'a' && c <= 'f')
        return c - 'a' + 10;
    return -1;
}

int32_t readHexNumber(std::string_view text) {
    uint32_t value = 0;
    for (char c : text) {
        const int digit = hexDigitValue(c);
        if (digit < 0)
            break;
        value = (value << 4) | static_cast<uint32_t>(digit);
    }
    return static_cast<int32_t>(value);
}

std::size_t leadingHexDigits(std::string_view text) {
    std::size_t n = 0;
    while (n < text.size() && isHexDigit(text[n]))
        ++n;
    return n;
}

double readNumber(std::string_view text) {
    std::size_t i = 0;
    while (i < text.size() && (text[i] == ' ' || text[i] == '\t'))
        ++i;
    bool negative = false;
    if (i < text.size() && (text[i] == '-' || text[i] == '+')) {
        negative = text[i] == '-';
        ++i;
    }
    double value = 0;
    bool digits = false;
    while (i < text.size() && text[i] >= '0' && text[i] <= '9') {
        value = value * 10 + (text[i] - '0');
        digits = true;
        ++i;
    }
    if (i < text.size() && text[i] == '.') {
        ++i;
        double scale = 0.1;
        while (i < text.size() && text[i] >= '0' && text[i] <= '9') {
            value += (text[i] - '0') * scale;
            scale /= 10;
            digits = true;
            ++i;
        }
    }
    if (!digits || !std::isfinite(value))
        return 0;
    return negative ? -value : value;
}

int32_t roundHalfEven(double value) {
    constexpr double lo = std::numeric_limits<int32_t>::min();
    constexpr double hi = std::numeric_limits<int32_t>::max();
    if (!(value >= lo))
        return std::numeric_limits<int32_t>::min();
    if (value > hi)
        return std::numeric_limits<int32_t>::max();
    return static_cast<int32_t>(std::nearbyint(value)); // default rounding mode: to nearest, ties to even
}

int32_t readIniInteger(std::string_view text, int32_t defaultValue) {
    std::size_t i = 0;
    while (i < text.size() && (text[i] == ' ' || text[i] == '\t'))
        ++i;
    bool negative = false;
    if (i < text.size() && text[i] == '-') {
        negative = true;
        ++i;
    }
    int64_t value = 0;
    bool digits = false;
    while (i < text.size() && text[i] >= '0' && text[i] <= '9') {
        value = value * 10 + (text[i] - '0');
        digits = true;
        if (value > int64_t{std::numeric_limits<int32_t>::max()} + 1)
            return defaultValue;
        ++i;
    }
    if (!digits)
        return defaultValue;
    value = negative ? -value : value;
    if (value > std::numeric_limits<int32_t>::max())
        return defaultValue;
    return static_cast<int32_t>(value);
}

std::string upperHex(uint32_t value, int width) {
    static constexpr char digits[] = "0123456789ABCDEF";
    std::string out;
    do {
        out.insert(out.begin(), digits[value & 0xF]);
        value >>= 4;
    } while (value != 0);
    while (static_cast<int>(out.size()) < width)
        out.insert(out.begin(), '0');
    return out;
}

} // namespace korvel
