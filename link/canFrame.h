#pragma once

// The frame record both paths carry, and the adapters' ASCII line protocol as pure functions.

#include "link/shortText.h"

#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace korvel {

struct CanFrame {
    ShortText<8> idText; // as received: 3 characters standard, 8 extended
    bool isExtended = false;
    bool isRemote = false;
    uint8_t dlc = 0;             // 0 to 8
    ShortText<23> dataText;      // "11 22 33", "RTR", or empty
    int32_t timestampMs = 0;     // 0 to 65535
    ShortText<12> timestampText; // "00.000" with the locale's separator
    // A frame to send whose remote request keeps its length on an ASCII adapter's line; a transmit row's
    // says 0 there.
    bool lineSaysRemoteLength = false;
};

// The record exchanged with the PEAK library (its TPCANMsg): natural alignment, 16 bytes.
struct PeakMessage {
    uint32_t id = 0;
    uint8_t msgType = 0; // 0x01 remote, 0x02 extended
    uint8_t len = 0;
    std::array<uint8_t, 8> data{};
};
static_assert(sizeof(PeakMessage) == 16);
static_assert(offsetof(PeakMessage, msgType) == 4 && offsetof(PeakMessage, len) == 5 &&
              offsetof(PeakMessage, data) == 6);

inline constexpr uint8_t kPeakRemote = 0x01;
inline constexpr uint8_t kPeakExtended = 0x02;

struct BitrateEntry {
    const char* listText;  // the settings dialog's entry
    const char* name;      // the status bar's name
    uint16_t peakBtr0Btr1; // 0 for the user-defined entry: its value comes from the register text
};

inline constexpr int kUserBitrateIndex = 9;
inline constexpr std::array<BitrateEntry, 10> kBitrates{{
    {"10kbit/s", "10 kbit/s", 0x672F},
    {"20kbit/s", "20 kbit/s", 0x532F},
    {"50 Kbit/s", "50 kbit/s", 0x472F},
    {"100 Kbit/s", "100 kbit/s", 0x432F},
    {"125 Kbit/s", "125 kbit/s", 0x031C},
    {"250 Kbit/s", "250 kbit/s", 0x011C},
    {"500 Kbit/s", "500 kbit/s", 0x001C},
    {"800 Kbit/s", "800 kbit/s", 0x0016},
    {"1 Mbit/s", "1 Mbit/s", 0x0014},
    {"User Def.", "User defined", 0},
}};

// Status-bar name of a bitrate index; empty outside 0 to 9.
[[nodiscard]] std::string bitrateName(int index);
// The ASCII command that sets the bitrate: "S" and the index, or "s" and the register text.
[[nodiscard]] std::string bitrateCommand(int index, std::string_view userBitrate);
// PEAK bit timing for an index; index 9 reads the register text as a 16-bit value (0 when it is larger).
[[nodiscard]] uint16_t peakBitTiming(int index, std::string_view userBitrate);

// Version replies: characters 2 to 5 read as a decimal number; above 0 is a valid version.
[[nodiscard]] int versionNumber(std::string_view reply);
// "Firmware: V10.13" for the reply "V1013"; empty when the reply is not a valid version.
[[nodiscard]] std::string firmwareText(std::string_view reply);

// "01.234" for 1234 ms with '.' as separator: two integer digits at least, three decimals.
[[nodiscard]] ShortText<12> timestampText(int64_t milliseconds, char decimalSeparator);

// Received text is cut into lines at CR and at BELL (an error reply is a BELL with no CR after it). Lines
// returned point into the state or the given text and stay valid until the next call; the CR or BELL that
// ended a line follows it there (line.data()[line.size()]). A pending line that
// grows past any real line is dropped, and so is the rest of it up to the next CR, so memory stays bounded
// and the next complete line decodes.
struct LineCutter {
    static constexpr std::size_t kMaxPendingLine = 256;
    std::string pendingLine;
    bool discarding = false;
    std::string joined; // scratch, reused between calls
};
void takeCompleteLines(std::string_view text, LineCutter& state, std::vector<std::string_view>& lines);

// t, T, r and R: the letters that begin a frame line.
[[nodiscard]] bool isFrameLineLetter(char c);
// A frame for a well-formed frame line: the letter, 3 or 8 hexadecimal identifier digits within 11 or 29
// bits, a DLC digit 0 to 8, two hexadecimal digits per data byte (none for a remote frame) and optionally a
// 4-digit hexadecimal timestamp, nothing more. Nothing for every other line, damaged frame lines included.
[[nodiscard]] std::optional<CanFrame> decodeFrameLine(std::string_view line, char decimalSeparator);
bool decodeFrameLine(std::string_view line, char decimalSeparator, CanFrame& frame);

// The line a transmit row sends, without its CR.
[[nodiscard]] std::string encodeFrameLine(std::string_view idText, std::string_view dlcText,
                                          std::string_view dataText);

// The frame a transmit row's texts make: the identifier's length says its kind, "RTR" a remote request.
[[nodiscard]] CanFrame frameFromRow(std::string_view idText, std::string_view dlcText,
                                    std::string_view dataText);
// The line, without its CR, that puts a frame on an ASCII adapter's bus.
[[nodiscard]] std::string frameLineOf(const CanFrame& frame);
// The PEAK message of a frame to send.
[[nodiscard]] PeakMessage peakMessageOf(const CanFrame& frame);

// The PEAK message a transmit row sends.
[[nodiscard]] PeakMessage peakMessageFromRow(std::string_view idText, std::string_view dlcText,
                                             std::string_view dataText);

// A message read from the PEAK library as a frame; the library gives no receive time, so the PC clock's
// seconds since midnight stand in for it.
[[nodiscard]] CanFrame frameFromPeakMessage(const PeakMessage& message, double secondsSinceMidnight,
                                            char decimalSeparator);

} // namespace korvel
