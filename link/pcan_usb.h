#pragma once

// The five PEAK calls Korvel uses, implemented over the PCAN-Basic library on the first USB channel.
// Each returns 0 on success; kLibraryUnavailable when the library or a function cannot be loaded.

#include "link/canFrame.h"

#include <cstdint>
#include <string>
#include <vector>

namespace korvel::pcan_usb {

inline constexpr uint32_t kLibraryUnavailable = 0xFFFFFFFFu;
inline constexpr uint32_t PCAN_ERROR_QRCVEMPTY = 0x20;
inline constexpr uint16_t PCAN_USBBUS1 = 0x51;
inline constexpr int kVersionBufferSize = 256;

// msgType 1: standard and extended frames (PCAN-Basic passes both through its open default filter).
uint32_t CAN_Init(uint16_t btr0btr1, int msgType);
// Fills a NUL-terminated version text of at most kVersionBufferSize - 1 characters.
uint32_t CAN_VersionInfo(char* buffer);
uint32_t CAN_Read(PeakMessage* message);
uint32_t CAN_Write(PeakMessage* message);
uint32_t CAN_Close();

[[nodiscard]] bool libraryAvailable();
// The file names tried, in order; tests name a library that is not there. Empty restores the defaults.
void setLibraryNames(std::vector<std::string> names);

// What the user is told when the library cannot be loaded: its name and where it comes from.
#ifdef _WIN32
inline constexpr const char* kMissingLibraryText =
    "The PEAK PCAN-Basic library PCANBasic.dll was not found. Install PEAK's device driver package, which "
    "includes it.";
#else
inline constexpr const char* kMissingLibraryText =
    "The PEAK PCAN-Basic library libpcanbasic.so was not found. Install PEAK's PCAN-Basic package for Linux "
    "and PEAK's driver.";
#endif

} // namespace korvel::pcan_usb
