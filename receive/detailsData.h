#pragma once

// What the details window shows for a data text, and where the window was last placed.

#include <QString>
#include <QStringView>

#include <array>
#include <cstdint>
#include <string>

namespace korvel {

enum class DetailsByteOrder { motorola, intel };

struct DetailsBytes {
    std::array<QString, 8> hex{}; // the two characters at 3·i as they are (shorter or empty at the end)
    std::array<int, 8> value{};   // those characters read as hexadecimal, 0 when they are not
};

// Never fails: missing or malformed pairs give empty texts and zero values.
[[nodiscard]] DetailsBytes detailsBytes(QStringView dataText);
// The 16-bit value of bytes k and k + 1, k = 0 to 6.
[[nodiscard]] std::array<int, 7> detailsIntegers(const std::array<int, 8>& values, DetailsByteOrder order);

// The window's top-left corner, in twips as the settings file keeps it.
struct DetailsPosition {
    int32_t top = 0;
    int32_t left = 0;
};

inline constexpr const char* kDetailsSection = "PositionDetails";

// Section "PositionDetails", keys "Top" and "Left"; 0 for a missing key.
[[nodiscard]] DetailsPosition readDetailsPosition(const std::string& iniPath);
// Writes both keys at once; false, with the file unchanged and `error` (when given) saying why, when the
// file exists but cannot be read or cannot be written.
bool writeDetailsPosition(const std::string& iniPath, DetailsPosition position, std::string* error = nullptr);

// Twips are 1/1440 inch; rounded both ways so a position survives the round trip at any DPI.
[[nodiscard]] int pixelsToTwips(int pixels, double dpi);
[[nodiscard]] int twipsToPixels(int twips, double dpi);

} // namespace korvel
