// The two vendor libraries' C types and constants as the fakes and their tests need them, declared here
// rather than taken from vendor headers. Widths are fixed: DWORD, ULONG and FT_STATUS are 4 bytes even
// where long is 8.
#pragma once

#include <cstddef>
#include <cstdint>

#ifdef _WIN32
#define KORVEL_VENDOR_CALL __stdcall
#define KORVEL_FAKE_EXPORT extern "C" __declspec(dllexport)
#else
#define KORVEL_VENDOR_CALL
#define KORVEL_FAKE_EXPORT extern "C" __attribute__((visibility("default")))
#endif

namespace korvel::fakes {

// ---- FTDI D2XX ----
using FT_STATUS = uint32_t;
using FT_HANDLE = void*;

inline constexpr FT_STATUS FT_OK = 0;
inline constexpr FT_STATUS FT_INVALID_HANDLE = 1;
inline constexpr FT_STATUS FT_DEVICE_NOT_FOUND = 2;
inline constexpr FT_STATUS FT_DEVICE_NOT_OPENED = 3;
inline constexpr FT_STATUS FT_IO_ERROR = 4;
inline constexpr FT_STATUS FT_INVALID_PARAMETER = 6;
inline constexpr FT_STATUS FT_INVALID_BAUD_RATE = 7;

inline constexpr uint32_t FT_OPEN_BY_SERIAL_NUMBER = 1;
inline constexpr uint32_t FT_OPEN_BY_DESCRIPTION = 2;
inline constexpr uint32_t FT_OPEN_BY_LOCATION = 4;
inline constexpr uint32_t FT_LIST_NUMBER_ONLY = 0x80000000;
inline constexpr uint32_t FT_LIST_BY_INDEX = 0x40000000;
inline constexpr uint32_t FT_LIST_ALL = 0x20000000;
inline constexpr uint32_t FT_PURGE_RX = 1;
inline constexpr uint32_t FT_PURGE_TX = 2;

// ---- PEAK PCAN-Basic ----
using TPCANStatus = uint32_t;
using TPCANHandle = uint16_t;

struct TPCANMsg {
    uint32_t ID;
    uint8_t MSGTYPE;
    uint8_t LEN;
    uint8_t DATA[8];
};
static_assert(sizeof(TPCANMsg) == 16);
static_assert(offsetof(TPCANMsg, ID) == 0);
static_assert(offsetof(TPCANMsg, MSGTYPE) == 4);
static_assert(offsetof(TPCANMsg, LEN) == 5);
static_assert(offsetof(TPCANMsg, DATA) == 6);

struct TPCANTimestamp {
    uint32_t millis;
    uint16_t millis_overflow;
    uint16_t micros;
};
static_assert(sizeof(TPCANTimestamp) == 8);

inline constexpr TPCANHandle PCAN_NONEBUS = 0x00;
inline constexpr TPCANHandle PCAN_USBBUS1 = 0x51;

inline constexpr uint8_t PCAN_MESSAGE_STANDARD = 0x00;
inline constexpr uint8_t PCAN_MESSAGE_RTR = 0x01;
inline constexpr uint8_t PCAN_MESSAGE_EXTENDED = 0x02;
inline constexpr uint8_t PCAN_MESSAGE_FD = 0x04;
inline constexpr uint8_t PCAN_MESSAGE_ERRFRAME = 0x40;
inline constexpr uint8_t PCAN_MESSAGE_STATUS = 0x80;

inline constexpr uint8_t PCAN_API_VERSION = 0x05;
inline constexpr uint8_t PCAN_CHANNEL_VERSION = 0x06;
inline constexpr uint8_t PCAN_RECEIVE_EVENT = 0x03;
inline constexpr uint8_t PCAN_MESSAGE_FILTER = 0x04;
inline constexpr uint8_t PCAN_CHANNEL_CONDITION = 0x0D;
inline constexpr uint8_t PCAN_HARDWARE_NAME = 0x0E;

inline constexpr uint32_t PCAN_FILTER_CLOSE = 0;
inline constexpr uint32_t PCAN_FILTER_OPEN = 1;
inline constexpr uint32_t PCAN_FILTER_CUSTOM = 2;
inline constexpr uint32_t PCAN_CHANNEL_UNAVAILABLE = 0;
inline constexpr uint32_t PCAN_CHANNEL_AVAILABLE = 1;
inline constexpr uint32_t PCAN_CHANNEL_OCCUPIED = 2;
inline constexpr uint8_t PCAN_MODE_STANDARD = 0x00;
inline constexpr uint8_t PCAN_MODE_EXTENDED = 0x02;

inline constexpr TPCANStatus PCAN_ERROR_OK = 0x00000;
inline constexpr TPCANStatus PCAN_ERROR_XMTFULL = 0x00001;
inline constexpr TPCANStatus PCAN_ERROR_OVERRUN = 0x00002;
inline constexpr TPCANStatus PCAN_ERROR_BUSLIGHT = 0x00004;
inline constexpr TPCANStatus PCAN_ERROR_BUSHEAVY = 0x00008;
inline constexpr TPCANStatus PCAN_ERROR_BUSOFF = 0x00010;
inline constexpr TPCANStatus PCAN_ERROR_QRCVEMPTY = 0x00020;
inline constexpr TPCANStatus PCAN_ERROR_QOVERRUN = 0x00040;
inline constexpr TPCANStatus PCAN_ERROR_QXMTFULL = 0x00080;
inline constexpr TPCANStatus PCAN_ERROR_REGTEST = 0x00100;
inline constexpr TPCANStatus PCAN_ERROR_NODRIVER = 0x00200;
inline constexpr TPCANStatus PCAN_ERROR_HWINUSE = 0x00400;
inline constexpr TPCANStatus PCAN_ERROR_NETINUSE = 0x00800;
inline constexpr TPCANStatus PCAN_ERROR_ILLHW = 0x01400;
inline constexpr TPCANStatus PCAN_ERROR_ILLNET = 0x01800;
inline constexpr TPCANStatus PCAN_ERROR_ILLCLIENT = 0x01C00;
inline constexpr TPCANStatus PCAN_ERROR_ILLHANDLE = 0x01C00;
inline constexpr TPCANStatus PCAN_ERROR_RESOURCE = 0x02000;
inline constexpr TPCANStatus PCAN_ERROR_ILLPARAMTYPE = 0x04000;
inline constexpr TPCANStatus PCAN_ERROR_ILLPARAMVAL = 0x08000;
inline constexpr TPCANStatus PCAN_ERROR_UNKNOWN = 0x10000;
inline constexpr TPCANStatus PCAN_ERROR_ILLDATA = 0x20000;
inline constexpr TPCANStatus PCAN_ERROR_BUSPASSIVE = 0x40000;
inline constexpr TPCANStatus PCAN_ERROR_ILLMODE = 0x80000;
inline constexpr TPCANStatus PCAN_ERROR_CAUTION = 0x2000000;
inline constexpr TPCANStatus PCAN_ERROR_INITIALIZE = 0x4000000;
inline constexpr TPCANStatus PCAN_ERROR_ILLOPERATION = 0x8000000;

} // namespace korvel::fakes
