#include "link/pcan_usb.h"

#include "link/vendorLibrary.h"

#include <cstring>

namespace korvel::pcan_usb {

namespace {

std::vector<std::string> defaultNames() {
#ifdef _WIN32
    return {"PCANBasic.dll"};
#else
    return {"libpcanbasic.so", "libpcanbasic.so.4", "libpcanbasic.so.0"};
#endif
}

VendorLibrary& library() {
    static VendorLibrary lib(defaultNames());
    return lib;
}

constexpr uint8_t PCAN_CHANNEL_VERSION = 0x06;

using InitializeFn = uint32_t(KORVEL_VENDOR_CALL*)(uint16_t, uint16_t, uint8_t, uint32_t, uint16_t);
using UninitializeFn = uint32_t(KORVEL_VENDOR_CALL*)(uint16_t);
using ReadFn = uint32_t(KORVEL_VENDOR_CALL*)(uint16_t, PeakMessage*, void*);
using WriteFn = uint32_t(KORVEL_VENDOR_CALL*)(uint16_t, PeakMessage*);
using GetValueFn = uint32_t(KORVEL_VENDOR_CALL*)(uint16_t, uint8_t, void*, uint32_t);

} // namespace

uint32_t CAN_Init(uint16_t btr0btr1, int /*msgType*/) {
    auto fn = library().function<InitializeFn>("CAN_Initialize", "_CAN_Initialize@20");
    return fn ? fn(PCAN_USBBUS1, btr0btr1, 0, 0, 0) : kLibraryUnavailable;
}

uint32_t CAN_VersionInfo(char* buffer) {
    auto fn = library().function<GetValueFn>("CAN_GetValue", "_CAN_GetValue@16");
    if (!fn)
        return kLibraryUnavailable;
    // The library may copy the text without its NUL when it fills the buffer exactly.
    char text[kVersionBufferSize + 1] = {};
    const uint32_t status = fn(PCAN_USBBUS1, PCAN_CHANNEL_VERSION, text, kVersionBufferSize);
    text[kVersionBufferSize] = '\0';
    std::strncpy(buffer, text, kVersionBufferSize - 1);
    buffer[kVersionBufferSize - 1] = '\0';
    return status;
}

uint32_t CAN_Read(PeakMessage* message) {
    auto fn = library().function<ReadFn>("CAN_Read", "_CAN_Read@12");
    return fn ? fn(PCAN_USBBUS1, message, nullptr) : kLibraryUnavailable;
}

uint32_t CAN_Write(PeakMessage* message) {
    auto fn = library().function<WriteFn>("CAN_Write", "_CAN_Write@8");
    return fn ? fn(PCAN_USBBUS1, message) : kLibraryUnavailable;
}

uint32_t CAN_Close() {
    auto fn = library().function<UninitializeFn>("CAN_Uninitialize", "_CAN_Uninitialize@4");
    return fn ? fn(PCAN_USBBUS1) : kLibraryUnavailable;
}

void setLibraryNames(std::vector<std::string> names) {
    library().setCandidateNames(names.empty() ? defaultNames() : std::move(names));
}

bool libraryAvailable() {
    return library().function<ReadFn>("CAN_Read", "_CAN_Read@12") != nullptr;
}

} // namespace korvel::pcan_usb
