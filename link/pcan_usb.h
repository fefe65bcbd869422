#pragma once

// The five PEAK calls Korvel uses, implemented over the PCAN-Basic library on the first USB channel.
// Each returns 0 on success; kLibraryUnavailable when the library or a function cannot be loaded.

#include "link/canFrame.h"

#include <cstdint>

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

} // namespace korvel::pcan_usb
