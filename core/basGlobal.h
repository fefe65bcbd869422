#pragma once

// The state every part of the program shares for the whole run. It includes nothing of the program, so any
// area may read it; logic functions take the fields they need as parameters.

#include <array>
#include <cstdint>
#include <string>
#include <vector>

namespace korvel {

// The persisted switches, stored together as one number ("Options").
inline constexpr int32_t optTimestamp = 0x0001;
inline constexpr int32_t optMaskFilter = 0x0002;
inline constexpr int32_t optRxPaneFull = 0x0004;
inline constexpr int32_t optTracerMode = 0x0008;
inline constexpr int32_t optListenOnly = 0x0010;
inline constexpr int32_t optLoop = 0x0020;
inline constexpr int32_t optRangeFilter = 0x0040;
inline constexpr int32_t optCommentAscii = 0x0080;
inline constexpr int32_t optRiskAccepted = 0x0100;
inline constexpr int32_t optCommentDec = 0x0200;
inline constexpr int32_t optTxPaneFull = 0x0400;
inline constexpr int32_t optRtsHandshake = 0x0800;

inline constexpr int kVersionMajor = 2;
inline constexpr int kVersionMinor = 0;
inline constexpr int kVersionRevision = 2;
inline constexpr const char* kAppTitle = "Korvel";
inline constexpr const char* kProjectUrl = "https://korvel.dev/";
inline constexpr const char* kIniFileName = "Korvel.ini";

enum DeviceKind : int {
    deviceNone = 0,
    deviceCom = 1,
    deviceUsb = 2,
    devicePeakUsb = 3,
    deviceSocketCan = 4
};

inline constexpr std::array<const char*, 5> kDeviceNames{"Select CAN Device", "COM", "USB", "PEAKUSB",
                                                         "SocketCAN"};

// 4 GiB of trace text, about 95 million lines: hours of a full bus, a sixth of a 24 GiB machine.
inline constexpr int64_t kDefaultRecordingLimitBytes = 4096LL * 1024 * 1024;
// A limit read from the settings file is kept within 1 MiB and 1 TiB.
inline constexpr int32_t kMaxRecordingLimitMB = 1024 * 1024;

// One identifier of the discrete filter list: its value, and whether it was written as an extended one.
struct DiscreteFilterId {
    uint32_t value = 0;
    bool isExtended = false;
    friend bool operator==(const DiscreteFilterId&, const DiscreteFilterId&) = default;
    friend bool operator<(const DiscreteFilterId& a, const DiscreteFilterId& b) {
        return a.value != b.value ? a.value < b.value : a.isExtended < b.isExtended;
    }
};

struct GlobalState {
    std::string iniPath;
    int32_t options = 0;
    int deviceKind = deviceNone;
    std::array<std::string, kDeviceNames.size()> deviceNames{};
    std::string comPort;
    std::string comBaudrate;
    int canBitrateIndex = 0;
    std::string userBitrate;
    std::string acceptanceMaskText;
    std::string acceptanceCodeText;
    int32_t acceptanceMaskInv = 0;
    int32_t acceptanceCodeMasked = 0;
    std::string rangeFilterStartText;
    std::string rangeFilterEndText;
    std::string discreteFilterText;
    // discreteFilterText read once, sorted; set wherever the text is set, so no frame parses the list.
    std::vector<DiscreteFilterId> discreteFilterIds;
    int32_t rangeFilterStart = 0;
    int32_t rangeFilterEnd = 0;
    int32_t splitPosition = 0;
    bool isConnected = false;
    bool isRecording = false;
    bool isReplaying = false;
    std::string padSpaces;
    std::string lastFileName;
    std::string commentListText;
    bool txAnyRtrMode = false;
    bool txAnyTriggerMode = false;
    bool txEditorLoading = false;
    char decimalSeparator = '.';
    // The most trace text a recording may hold, in bytes ([Recording] LimitMB).
    int64_t recordingLimitBytes = kDefaultRecordingLimitBytes;

    [[nodiscard]] bool hasOption(int32_t bit) const { return (options & bit) != 0; }
    void setOption(int32_t bit, bool on) { options = on ? (options | bit) : (options & ~bit); }
};

extern GlobalState basGlobal;

// "Korvel V2.00.02"
[[nodiscard]] std::string applicationTitle();
// "2.00.02"
[[nodiscard]] std::string versionText();
// Fills the fields start-up sets before the settings are read.
void initialiseGlobals(GlobalState& state, std::string iniPath, char decimalSeparator);
// Left-aligns a text in a column of the given width with blanks.
[[nodiscard]] std::string padRight(std::string_view text, std::size_t width);
// "Filter: Mask & Range", "Filter: Mask", "Filter: Range" or "Filter: Off".
[[nodiscard]] std::string filterStateText(int32_t options);

} // namespace korvel
