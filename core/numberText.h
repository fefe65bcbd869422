#pragma once

// How texts from the user, the adapter and files are read as numbers. Every rule here is total: any
// input, however malformed, gives a defined value.

#include <cstdint>
#include <string>
#include <string_view>

namespace korvel {

// Hexadecimal digits from the start up to the first other character; 0 when there are none. More than
// eight digits keep the low 32 bits; the result is the signed 32-bit reading (FFFFFFFF gives -1).
[[nodiscard]] int32_t readHexNumber(std::string_view text);

// Number of leading hexadecimal digits, for callers that must reject over-long register texts.
[[nodiscard]] std::size_t leadingHexDigits(std::string_view text);

// The leading decimal number of a text, leading blanks skipped, optional sign and fraction; 0 when none.
[[nodiscard]] double readNumber(std::string_view text);

// Nearest integer, a tie going to the even neighbour; clamped to the 32-bit range.
[[nodiscard]] int32_t roundHalfEven(double value);

// The settings file's integer rule: optional blanks, optional minus, leading decimal digits; the default
// when there are no digits. Values outside the 32-bit range give the default too.
[[nodiscard]] int32_t readIniInteger(std::string_view text, int32_t defaultValue);

[[nodiscard]] bool isHexDigit(char c);
// 0 to 15 for a hexadecimal digit of either case, -1 for any other character.
[[nodiscard]] int hexDigitValue(char c);
[[nodiscard]] char toUpperAscii(char c);
[[nodiscard]] std::string upperHex(uint32_t value, int width);

} // namespace korvel
