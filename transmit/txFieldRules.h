#pragma once

// The transmit editor's text rules on plain data: what a typed key becomes, how fields are padded when the
// user leaves them, how a data byte is written into the Data column, and how trigger patterns are formed
// and matched. Every function is total: malformed text gives a defined result.

#include <optional>
#include <string>
#include <string_view>

namespace korvel {

// Control characters the text fields always let through: Ctrl+C, Backspace, Ctrl+V.
inline constexpr char kCtrlC = 3;
inline constexpr char kBackspace = 8;
inline constexpr char kCtrlV = 22;

// The identifier and data byte fields: upper case, hexadecimal digits only. Nothing when refused.
[[nodiscard]] std::optional<char> hexFieldKey(char typed);
// The DLC field: 0 to 8 and Backspace.
[[nodiscard]] bool dlcFieldAccepts(char typed);
// The period field: digits only.
[[nodiscard]] bool periodFieldAccepts(char typed);
// The trigger data field: upper case; "*", blank and hexadecimal digits.
[[nodiscard]] std::optional<char> triggerDataKey(char typed);

inline constexpr std::size_t kStandardIdLength = 3;
inline constexpr std::size_t kExtendedIdLength = 8;
inline constexpr std::size_t kDataTextLength = 23;
inline constexpr std::size_t kTriggerDataLength = 23;
inline constexpr std::size_t kPeriodTypedLength = 4;

// Leaving the identifier field: zeros on the left, then its last 3 (or 8) characters.
[[nodiscard]] std::string padIdText(std::string_view text, bool extended);
// Leaving a data byte field: zeros on the left up to two characters.
[[nodiscard]] std::string padByteText(std::string_view text);
// A byte field's text written over byte k of the Data column; the result is 23 characters.
[[nodiscard]] std::string writeByteIntoData(std::string_view data, int k, std::string_view byteText);
// Characters 3k+1 and 3k+2 of a Data column, as far as they exist.
[[nodiscard]] std::string byteOfData(std::string_view data, int k);
// Leaving the trigger data field: blanks removed, then one blank after every second character.
[[nodiscard]] std::string formatTriggerData(std::string_view text);
// A received data text against a trigger pattern: equal length, and every position equal or "*".
[[nodiscard]] bool matchTriggerData(std::string_view dataText, std::string_view pattern);

// The longest period a row takes, in milliseconds; larger values are limited to it.
inline constexpr int kMaxPeriodMs = 32767;
// A period text read as a number, rounded (a tie to the even neighbour), negative as 0, above the
// largest period as the largest.
[[nodiscard]] int periodFromText(std::string_view text);
[[nodiscard]] int periodFromNumber(double value);

// The mode selector's entries, in their order.
enum TxModeEntry : int { txModeOff = 0, txModePeriodic = 1, txModeRtr = 2, txModeTrigger = 3 };
inline constexpr const char* kTxModeNames[] = {"off", "Periodic", "RTR", "Trigger"};
// The entry a row's mode column selects; nothing for a text that is none of them.
[[nodiscard]] std::optional<int> modeEntryForColumn(std::string_view mode);

} // namespace korvel
