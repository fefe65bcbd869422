#include "link/basD2XX.h"

#include "link/vendorLibrary.h"

namespace korvel::basD2XX {

namespace {

std::vector<std::string> defaultNames() {
#ifdef _WIN32
    return {"ftd2xx.dll", "ftd2xx64.dll"};
#else
    return {"libftd2xx.so", "/usr/local/lib/libftd2xx.so"};
#endif
}

VendorLibrary& library() {
    static VendorLibrary lib(defaultNames());
    return lib;
}

template <typename Fn, typename... Args>
FT_STATUS call(const char* name, const char* decorated, Args... args) {
    auto fn = library().function<Fn>(name, decorated);
    return fn ? fn(args...) : kLibraryUnavailable;
}

using ListDevicesFn = FT_STATUS(KORVEL_VENDOR_CALL*)(void*, void*, uint32_t);
using OpenExFn = FT_STATUS(KORVEL_VENDOR_CALL*)(void*, uint32_t, FT_HANDLE*);
using CloseFn = FT_STATUS(KORVEL_VENDOR_CALL*)(FT_HANDLE);
using SetBaudRateFn = FT_STATUS(KORVEL_VENDOR_CALL*)(FT_HANDLE, uint32_t);
using SetTimeoutsFn = FT_STATUS(KORVEL_VENDOR_CALL*)(FT_HANDLE, uint32_t, uint32_t);
using WriteFn = FT_STATUS(KORVEL_VENDOR_CALL*)(FT_HANDLE, void*, uint32_t, uint32_t*);
using ReadFn = FT_STATUS(KORVEL_VENDOR_CALL*)(FT_HANDLE, void*, uint32_t, uint32_t*);
using QueueStatusFn = FT_STATUS(KORVEL_VENDOR_CALL*)(FT_HANDLE, uint32_t*);

} // namespace

bool libraryAvailable() {
    return library().function<OpenExFn>("FT_OpenEx", "_FT_OpenEx@12") != nullptr;
}

void setLibraryNames(std::vector<std::string> names) {
    library().setCandidateNames(names.empty() ? defaultNames() : std::move(names));
}

FT_STATUS FT_ListDevices(void* arg1, void* arg2, uint32_t flags) {
    return call<ListDevicesFn>("FT_ListDevices", "_FT_ListDevices@12", arg1, arg2, flags);
}

FT_STATUS FT_OpenEx(void* arg1, uint32_t flags, FT_HANDLE* handle) {
    return call<OpenExFn>("FT_OpenEx", "_FT_OpenEx@12", arg1, flags, handle);
}

FT_STATUS FT_Close(FT_HANDLE handle) {
    return call<CloseFn>("FT_Close", "_FT_Close@4", handle);
}

FT_STATUS FT_SetBaudRate(FT_HANDLE handle, uint32_t baudRate) {
    return call<SetBaudRateFn>("FT_SetBaudRate", "_FT_SetBaudRate@8", handle, baudRate);
}

FT_STATUS FT_SetTimeouts(FT_HANDLE handle, uint32_t readTimeoutMs, uint32_t writeTimeoutMs) {
    return call<SetTimeoutsFn>("FT_SetTimeouts", "_FT_SetTimeouts@12", handle, readTimeoutMs, writeTimeoutMs);
}

FT_STATUS FT_Write(FT_HANDLE handle, const void* buffer, uint32_t bytesToWrite, uint32_t* bytesWritten) {
    // The library's prototype takes a non-const buffer but never writes to it.
    return call<WriteFn>("FT_Write", "_FT_Write@16", handle, const_cast<void*>(buffer), bytesToWrite,
                         bytesWritten);
}

FT_STATUS FT_Read(FT_HANDLE handle, void* buffer, uint32_t bytesToRead, uint32_t* bytesReturned) {
    return call<ReadFn>("FT_Read", "_FT_Read@16", handle, buffer, bytesToRead, bytesReturned);
}

FT_STATUS FT_GetQueueStatus(FT_HANDLE handle, uint32_t* bytesInQueue) {
    return call<QueueStatusFn>("FT_GetQueueStatus", "_FT_GetQueueStatus@8", handle, bytesInQueue);
}

} // namespace korvel::basD2XX
