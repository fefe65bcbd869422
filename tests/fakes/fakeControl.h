// The test-control functions the fake vendor libraries export besides the vendors' own. Tests resolve them
// from the same library the code under test loaded (dlsym/QLibrary on "libftd2xx.so" or "libpcanbasic.so"),
// so both talk to one instance. An engine pointer stays valid until the next reset or clearDevices.
#pragma once

#include <cstdint>

#if defined(_WIN32)
#define KORVEL_FAKE_API __declspec(dllexport)
#else
#define KORVEL_FAKE_API __attribute__((visibility("default")))
#endif

extern "C" {

// ---- FTDI fake ----
// Back to one device, "Korvel Virtual USB-CAN" / "KV000001", with a fresh engine; no failures, log empty,
// steady clock.
KORVEL_FAKE_API void korvelFakeFtdi_reset(void);
// Adds a device (NULL reads as empty text; the serial keeps 15 characters, the description 63); returns
// its index.
KORVEL_FAKE_API int korvelFakeFtdi_addDevice(const char* description, const char* serial);
KORVEL_FAKE_API void korvelFakeFtdi_clearDevices(void);
// FT_ListDevices returns this status while it is not 0.
KORVEL_FAKE_API void korvelFakeFtdi_failListing(uint32_t status);
// Reading one field of one device in FT_ListDevices returns this status (field: FT_OPEN_BY_SERIAL_NUMBER or
// FT_OPEN_BY_DESCRIPTION).
KORVEL_FAKE_API void korvelFakeFtdi_failDeviceField(int index, uint32_t field, uint32_t status);
// The named FT_ function returns this status without doing anything; 0 clears.
KORVEL_FAKE_API void korvelFakeFtdi_failCall(const char* function, uint32_t status);
// korvel::sim::AdapterEngine* of device 0 / of a device; NULL when there is none.
KORVEL_FAKE_API void* korvelFakeFtdi_engine(void);
KORVEL_FAKE_API void* korvelFakeFtdi_engineAt(int index);
// Manual clock in microseconds for every engine of this library, until useSteadyClock or reset.
KORVEL_FAKE_API void korvelFakeFtdi_setNowUs(int64_t nowUs);
KORVEL_FAKE_API void korvelFakeFtdi_useSteadyClock(void);
// Unplugs every device / one device: open handles fail with FT_IO_ERROR, listings leave it out.
KORVEL_FAKE_API void korvelFakeFtdi_vanish(void);
KORVEL_FAKE_API void korvelFakeFtdi_vanishAt(int index);
KORVEL_FAKE_API uint32_t korvelFakeFtdi_lastBaudRate(void);
// 1 when FT_SetTimeouts was called on the most recently opened handle.
KORVEL_FAKE_API int korvelFakeFtdi_timeoutsSet(void);
KORVEL_FAKE_API uint32_t korvelFakeFtdi_readTimeoutMs(void);
// FT_Read calls that returned fewer bytes than asked on a handle without timeouts: a real library would
// have blocked there.
KORVEL_FAKE_API uint64_t korvelFakeFtdi_blockingReads(void);
KORVEL_FAKE_API int korvelFakeFtdi_openHandles(void);
// One call a line, "FT_Name key arguments -> status"; the last 1000 calls. Valid until the next call.
KORVEL_FAKE_API const char* korvelFakeFtdi_callLog(void);
KORVEL_FAKE_API void korvelFakeFtdi_clearCallLog(void);

// ---- PCAN fake ----
// Channel PCAN_USBBUS1 only, uninitialised, fresh engine; no failures, log empty, steady clock.
KORVEL_FAKE_API void korvelFakePcan_reset(void);
KORVEL_FAKE_API void* korvelFakePcan_engine(void);
KORVEL_FAKE_API void korvelFakePcan_setNowUs(int64_t nowUs);
KORVEL_FAKE_API void korvelFakePcan_useSteadyClock(void);
// Unplugs the adapter: calls on the channel fail with PCAN_ERROR_ILLHW.
KORVEL_FAKE_API void korvelFakePcan_vanish(void);
// The Btr0Btr1 of the last CAN_Initialize on PCAN_USBBUS1, 0xFFFFFFFF before the first.
KORVEL_FAKE_API uint32_t korvelFakePcan_lastInitBtr(void);
KORVEL_FAKE_API uint32_t korvelFakePcan_initCount(void);
KORVEL_FAKE_API int korvelFakePcan_initialized(void);
// CAN_Initialize returns this status while it is not 0.
KORVEL_FAKE_API void korvelFakePcan_failInit(uint32_t status);
KORVEL_FAKE_API void korvelFakePcan_failCall(const char* function, uint32_t status);
KORVEL_FAKE_API void korvelFakePcan_setChannelVersion(const char* text);
KORVEL_FAKE_API void korvelFakePcan_setApiVersion(const char* text);
KORVEL_FAKE_API const char* korvelFakePcan_callLog(void);
KORVEL_FAKE_API void korvelFakePcan_clearCallLog(void);
}
