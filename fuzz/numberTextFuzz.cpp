// Number texts from settings, adapters and the user's boxes, against readings built on the standard
// library.

#include "fuzz/fuzzCheck.h"

#include "core/numberText.h"

#include <algorithm>
#include <cctype>
#include <charconv>
#include <cmath>
#include <cstring>
#include <limits>
#include <string>

using namespace korvel;

namespace {

int32_t referenceHex(std::string_view text) {
    std::size_t n = 0;
    while (n < text.size() && std::isxdigit(static_cast<unsigned char>(text[n])))
        ++n;
    // Only the last eight digits fit in 32 bits.
    const std::string_view digits = text.substr(n > 8 ? n - 8 : 0, n > 8 ? 8 : n);
    uint32_t value = 0;
    std::from_chars(digits.data(), digits.data() + digits.size(), value, 16);
    return static_cast<int32_t>(value);
}

int32_t referenceIniInteger(std::string_view text, int32_t defaultValue) {
    std::size_t i = text.find_first_not_of(" \t");
    if (i == std::string_view::npos)
        return defaultValue;
    std::string number;
    if (text[i] == '-')
        number.push_back(text[i++]);
    const std::size_t digitsStart = i;
    while (i < text.size() && text[i] >= '0' && text[i] <= '9')
        number.push_back(text[i++]);
    if (i == digitsStart)
        return defaultValue;
    int64_t value = 0;
    const auto [end, ec] = std::from_chars(number.data(), number.data() + number.size(), value);
    if (ec != std::errc() || value < std::numeric_limits<int32_t>::min() ||
        value > std::numeric_limits<int32_t>::max())
        return defaultValue;
    return static_cast<int32_t>(value);
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const unsigned char* data, std::size_t size) {
    const std::string_view text(reinterpret_cast<const char*>(data), size);

    FUZZ_CHECK(readHexNumber(text) == referenceHex(text));
    const std::size_t hexDigits = leadingHexDigits(text);
    FUZZ_CHECK(hexDigits <= text.size() && (hexDigits == text.size() || !isHexDigit(text[hexDigits])));

    FUZZ_CHECK(readIniInteger(text, 0) == referenceIniInteger(text, 0));
    FUZZ_CHECK(readIniInteger(text, -7) == referenceIniInteger(text, -7));

    const double number = readNumber(text);
    FUZZ_CHECK(std::isfinite(number));
    const int32_t rounded = roundHalfEven(number);
    if (number > std::numeric_limits<int32_t>::min() && number < std::numeric_limits<int32_t>::max())
        FUZZ_CHECK(std::fabs(rounded - number) <= 0.5);

    if (size >= 4) {
        uint32_t value = 0;
        std::memcpy(&value, data, sizeof value);
        const int width = data[0] % 10;
        const std::string hex = upperHex(value, width);
        FUZZ_CHECK(hex.size() >= static_cast<std::size_t>(width) &&
                   hex.size() <= std::max<std::size_t>(8, width));
        FUZZ_CHECK(static_cast<uint32_t>(readHexNumber(hex)) == value);
        FUZZ_CHECK(readIniInteger(std::to_string(static_cast<int32_t>(value)), 0) ==
                   static_cast<int32_t>(value));
    }
    return 0;
}
