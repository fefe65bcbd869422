// How the dialog's fields map to a SetupRecord, on plain bytes: no widgets here.
#pragma once

#include "wexdial.h"

#include <array>
#include <cstdint>
#include <string>
#include <string_view>

struct BitrateChoice {
    const char* text;
    int32_t kbit;
};

// The bitrate list, in the order the drop-down shows it.
inline constexpr std::array<BitrateChoice, 9> bitrateChoices{{
    {"10 kBit/s", 10},
    {"20 kBit/s", 20},
    {"50 kBit/s", 50},
    {"100 kBit/s", 100},
    {"125 kBit/s", 125},
    {"250 kBit/s", 250},
    {"500 kBit/s", 500},
    {"800 kBit/s", 800},
    {"1 MBit/s", 1000},
}};

// Stored when OK is pressed with no bitrate chosen.
inline constexpr int32_t noBitrate = -1;

// Upper-case hexadecimal, at least four digits, no prefix ("001C").
[[nodiscard]] std::string btrValueText(int32_t value);

// Reads the first 11 bytes as a C "%x" number (blanks, sign and 0x prefix allowed). Empty text, or text
// that does not begin with a hexadecimal number, gives 0; longer numbers keep their low 32 bits.
[[nodiscard]] int32_t parseBtrValue(std::string_view text);

// The record's text up to its NUL, never past the 256 bytes even when the host left no NUL.
[[nodiscard]] std::string_view serialNumberText(const SetupRecord& record);

// Copies 1 to 254 bytes with their NUL; anything else leaves an empty text rather than a cut one.
void storeSerialNumber(SetupRecord& record, std::string_view text);
