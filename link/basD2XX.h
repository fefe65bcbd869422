#pragma once

// Bindings to the FTDI D2XX library, loaded at the first call. Every call returns the library's status;
// kLibraryUnavailable when the library or the function cannot be loaded.

#include <cstdint>
#include <string>
#include <vector>

namespace korvel::basD2XX {

using FT_STATUS = uint32_t;
using FT_HANDLE = void*;

inline constexpr FT_STATUS FT_OK = 0;
inline constexpr FT_STATUS FT_DEVICE_NOT_FOUND = 2;
inline constexpr FT_STATUS FT_IO_ERROR = 4;
inline constexpr FT_STATUS kLibraryUnavailable = 0xFFFFFFFFu;

inline constexpr uint32_t FT_OPEN_BY_SERIAL_NUMBER = 1;
inline constexpr uint32_t FT_OPEN_BY_DESCRIPTION = 2;
inline constexpr uint32_t FT_LIST_NUMBER_ONLY = 0x80000000u;
inline constexpr uint32_t FT_LIST_BY_INDEX = 0x40000000u;

// What the user is told when the library cannot be loaded: its name and where it comes from.
#ifdef _WIN32
inline constexpr const char* kMissingLibraryText =
    "The FTDI D2XX library ftd2xx.dll was not found. Install FTDI's D2XX driver for this adapter.";
#else
inline constexpr const char* kMissingLibraryText =
    "The FTDI D2XX library libftd2xx.so was not found. Install FTDI's D2XX driver (libftd2xx.so into "
    "/usr/local/lib or another folder of the library search path).";
#endif

// True when the library loads and has the calls Korvel needs to open a device.
[[nodiscard]] bool libraryAvailable();
// The file names tried, in order; tests name a library that is not there. Empty restores the defaults.
void setLibraryNames(std::vector<std::string> names);

FT_STATUS FT_ListDevices(void* arg1, void* arg2, uint32_t flags);
FT_STATUS FT_OpenEx(void* arg1, uint32_t flags, FT_HANDLE* handle);
FT_STATUS FT_Close(FT_HANDLE handle);
FT_STATUS FT_SetBaudRate(FT_HANDLE handle, uint32_t baudRate);
FT_STATUS FT_SetTimeouts(FT_HANDLE handle, uint32_t readTimeoutMs, uint32_t writeTimeoutMs);
FT_STATUS FT_Write(FT_HANDLE handle, const void* buffer, uint32_t bytesToWrite, uint32_t* bytesWritten);
FT_STATUS FT_Read(FT_HANDLE handle, void* buffer, uint32_t bytesToRead, uint32_t* bytesReturned);
FT_STATUS FT_GetQueueStatus(FT_HANDLE handle, uint32_t* bytesInQueue);

} // namespace korvel::basD2XX
