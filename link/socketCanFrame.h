#pragma once

// The kernel's CAN frame record as it crosses a raw CAN socket, and its mapping to and from the frame record
// and the transmit row texts every other device kind uses. Plain data, so it builds and is tested on every
// platform; only the socket itself is Linux's.

#include "link/canFrame.h"

#include <array>
#include <cstddef>
#include <cstdint>
#include <string_view>

namespace korvel {

// Layout of the kernel's struct can_frame: one record per datagram on a raw CAN socket.
struct CanWireFrame {
    uint32_t canId = 0; // identifier and the three flags below
    uint8_t len = 0;    // 0 to 8
    uint8_t pad = 0;
    uint8_t res0 = 0;
    uint8_t len8Dlc = 0;
    alignas(8) std::array<uint8_t, 8> data{};
};
static_assert(sizeof(CanWireFrame) == 16 && offsetof(CanWireFrame, data) == 8);

inline constexpr uint32_t kCanEffFlag = 0x80000000u; // 29-bit identifier
inline constexpr uint32_t kCanRtrFlag = 0x40000000u; // remote request
inline constexpr uint32_t kCanErrFlag = 0x20000000u; // error frame, never a bus frame
inline constexpr uint32_t kCanSffMask = 0x000007FFu;
inline constexpr uint32_t kCanEffMask = 0x1FFFFFFFu;
inline constexpr uint32_t kCanErrBusOff = 0x00000040u; // error class of an error frame's identifier

// A frame as the socket delivered it, with the kernel's receive time as seconds since local midnight.
struct ReceivedCanFrame {
    CanWireFrame wire;
    double secondsSinceMidnight = 0;
};

// The frame record of a received data or remote frame: identifier in upper-case hexadecimal, 3 or 8 digits,
// data as the PEAK kind gives it, times from the receive time like the PEAK kind's.
[[nodiscard]] CanFrame frameFromSocketCan(const ReceivedCanFrame& received, char decimalSeparator);

// The record a transmit row sends. False when the identifier does not fit its kind (more than 7FF for a
// standard, more than 1FFFFFFF for an extended one): such a row is not sent rather than sent as another
// identifier.
[[nodiscard]] bool wireFrameFromRow(std::string_view idText, std::string_view dlcText,
                                    std::string_view dataText, CanWireFrame& frame);

// The acceptance mask as the socket's receive filter (the kernel's struct can_filter): identifier bits where
// the mask holds 0 must equal the code's. Flags are left out of the mask, so it never drops a frame the
// receive path's own mask test would pass.
struct SocketCanFilter {
    uint32_t canId = 0;
    uint32_t canMask = 0;
};
[[nodiscard]] SocketCanFilter socketCanFilter(bool maskFilterOn, int32_t acceptanceMaskInv,
                                              int32_t acceptanceCodeMasked);

} // namespace korvel
