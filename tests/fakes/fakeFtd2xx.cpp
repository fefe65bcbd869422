// A stand-in for the FTDI D2XX library with its exact C interface: each device is a virtual adapter
// speaking the ASCII line protocol. Handles are opaque numbers, never pointers, so a stale or made-up
// handle is refused rather than followed.
#include "fakeCommon.h"
#include "fakeControl.h"
#include "vendorTypes.h"

#include "sim/adapterEngine.h"

#include <algorithm>
#include <cstring>
#include <memory>
#include <mutex>
#include <vector>

using namespace korvel::fakes;
using korvel::sim::AdapterEngine;

namespace {

constexpr size_t kSerialMax = 16;      // with its NUL
constexpr size_t kDescriptionMax = 64; // with its NUL
constexpr uintptr_t kFirstHandle = 0x1000;

struct Device {
    std::string description;
    std::string serial;
    std::unique_ptr<AdapterEngine> engine = std::make_unique<AdapterEngine>();
    uint32_t location = 0;
    bool openNow = false;
    bool unplugged = false;
    uint32_t descriptionFailure = 0;
    uint32_t serialFailure = 0;

    [[nodiscard]] bool gone() const { return unplugged || engine->vanished(); }
};

struct Handle {
    uintptr_t value = 0;
    Device* device = nullptr;
    bool timeoutsSet = false;
};

struct State {
    std::recursive_mutex mutex;
    std::vector<std::unique_ptr<Device>> devices;
    std::vector<Handle> handles;
    uintptr_t nextHandle = kFirstHandle;
    CallLog log;
    FakeClock clock;
    Failures failures;
    uint32_t listingFailure = 0;
    uint32_t lastBaudRate = 0;
    bool lastTimeoutsSet = false;
    uint32_t lastReadTimeoutMs = 0;
    uint64_t blockingReads = 0;
    uint32_t nextLocation = 0x11;

    State() { resetDevices(); }

    void resetDevices() {
        handles.clear();
        devices.clear();
        addDevice("Korvel Virtual USB-CAN", "KV000001");
    }

    int addDevice(const char* description, const char* serial) {
        auto device = std::make_unique<Device>();
        device->description = std::string(description ? description : "").substr(0, kDescriptionMax - 1);
        device->serial = std::string(serial ? serial : "").substr(0, kSerialMax - 1);
        device->location = nextLocation++;
        devices.push_back(std::move(device));
        return static_cast<int>(devices.size() - 1);
    }

    // The devices a listing shows: the ones still plugged in.
    std::vector<Device*> present() {
        std::vector<Device*> list;
        for (auto& device : devices) {
            if (!device->gone()) {
                list.push_back(device.get());
            }
        }
        return list;
    }

    Handle* find(FT_HANDLE handle) {
        const auto value = reinterpret_cast<uintptr_t>(handle);
        for (Handle& h : handles) {
            if (h.value == value) {
                return &h;
            }
        }
        return nullptr;
    }
};

State& state() {
    static State instance;
    return instance;
}

FT_STATUS logged(State& s, std::string call, FT_STATUS status) {
    s.log.add(call + " -> " + std::to_string(status));
    return status;
}

// The handle's device, or the status that refuses the call.
FT_STATUS usable(State& s, FT_HANDLE handle, const char* function, Handle** out) {
    *out = s.find(handle);
    if (!*out) {
        return FT_INVALID_HANDLE;
    }
    if (const uint32_t failure = s.failures.of(function)) {
        return failure;
    }
    return (*out)->device->gone() ? FT_IO_ERROR : FT_OK;
}

FT_STATUS copyField(const Device& device, uint32_t field, char* buffer) {
    if (field == FT_OPEN_BY_LOCATION) {
        std::memcpy(buffer, &device.location, sizeof device.location);
        return FT_OK;
    }
    const bool description = field == FT_OPEN_BY_DESCRIPTION;
    if (const uint32_t failure = description ? device.descriptionFailure : device.serialFailure) {
        return failure;
    }
    const std::string& text = description ? device.description : device.serial;
    std::memcpy(buffer, text.c_str(), text.size() + 1);
    return FT_OK;
}

bool matches(const Device& device, void* arg, uint32_t flags) {
    if (flags == FT_OPEN_BY_LOCATION) {
        return reinterpret_cast<uintptr_t>(arg) == device.location;
    }
    const char* wanted = static_cast<const char*>(arg);
    const std::string& text = flags == FT_OPEN_BY_DESCRIPTION ? device.description : device.serial;
    return wanted && std::strncmp(wanted, text.c_str(), 256) == 0;
}

} // namespace

KORVEL_FAKE_EXPORT FT_STATUS KORVEL_VENDOR_CALL FT_ListDevices(void* arg1, void* arg2, uint32_t flags) {
    State& s = state();
    std::lock_guard lock(s.mutex);
    const std::string call = "FT_ListDevices " + hex(flags);
    const uint32_t failure = s.listingFailure ? s.listingFailure : s.failures.of("FT_ListDevices");
    if (failure) {
        return logged(s, call, failure);
    }
    const std::vector<Device*> devices = s.present();
    const uint32_t field = flags & (FT_OPEN_BY_SERIAL_NUMBER | FT_OPEN_BY_DESCRIPTION | FT_OPEN_BY_LOCATION);
    if (flags & FT_LIST_NUMBER_ONLY) {
        if (!arg1) {
            return logged(s, call, FT_INVALID_PARAMETER);
        }
        const auto count = static_cast<uint32_t>(devices.size());
        std::memcpy(arg1, &count, sizeof count);
        return logged(s, call + " count=" + std::to_string(count), FT_OK);
    }
    if (flags & FT_LIST_BY_INDEX) {
        const auto index = reinterpret_cast<uintptr_t>(arg1);
        const std::string indexed = call + " index=" + std::to_string(index);
        if (!arg2) {
            return logged(s, indexed, FT_INVALID_PARAMETER);
        }
        if (index >= devices.size()) {
            return logged(s, indexed, FT_DEVICE_NOT_FOUND);
        }
        return logged(
            s, indexed,
            copyField(*devices[index], field ? field : FT_OPEN_BY_SERIAL_NUMBER, static_cast<char*>(arg2)));
    }
    if (flags & FT_LIST_ALL) {
        if (!arg1 || !arg2) {
            return logged(s, call, FT_INVALID_PARAMETER);
        }
        char** buffers = static_cast<char**>(arg1);
        for (size_t i = 0; i < devices.size(); ++i) {
            if (!buffers[i]) {
                return logged(s, call, FT_INVALID_PARAMETER);
            }
            if (const FT_STATUS status =
                    copyField(*devices[i], field ? field : FT_OPEN_BY_SERIAL_NUMBER, buffers[i])) {
                return logged(s, call, status);
            }
        }
        const auto count = static_cast<uint32_t>(devices.size());
        std::memcpy(arg2, &count, sizeof count);
        return logged(s, call, FT_OK);
    }
    return logged(s, call, FT_INVALID_PARAMETER);
}

KORVEL_FAKE_EXPORT FT_STATUS KORVEL_VENDOR_CALL FT_OpenEx(void* arg1, uint32_t flags, FT_HANDLE* handle) {
    State& s = state();
    std::lock_guard lock(s.mutex);
    std::string call = "FT_OpenEx " + std::to_string(flags);
    if ((flags == FT_OPEN_BY_SERIAL_NUMBER || flags == FT_OPEN_BY_DESCRIPTION) && arg1) {
        call += " " + printable(std::string_view(static_cast<const char*>(arg1),
                                                 strnlen(static_cast<const char*>(arg1), 256)));
    }
    if (!handle) {
        return logged(s, call, FT_INVALID_PARAMETER);
    }
    *handle = nullptr;
    if (flags != FT_OPEN_BY_SERIAL_NUMBER && flags != FT_OPEN_BY_DESCRIPTION &&
        flags != FT_OPEN_BY_LOCATION) {
        return logged(s, call, FT_INVALID_PARAMETER);
    }
    if (const uint32_t failure = s.failures.of("FT_OpenEx")) {
        return logged(s, call, failure);
    }
    for (Device* device : s.present()) {
        if (matches(*device, arg1, flags)) {
            if (device->openNow) {
                return logged(s, call, FT_DEVICE_NOT_OPENED);
            }
            device->openNow = true;
            s.handles.push_back(Handle{s.nextHandle++, device, false});
            s.lastTimeoutsSet = false;
            s.lastReadTimeoutMs = 0;
            *handle = reinterpret_cast<FT_HANDLE>(s.handles.back().value);
            return logged(s, call, FT_OK);
        }
    }
    return logged(s, call, FT_DEVICE_NOT_FOUND);
}

// Closing an unplugged device still releases its handle, as the real library does.
KORVEL_FAKE_EXPORT FT_STATUS KORVEL_VENDOR_CALL FT_Close(FT_HANDLE handle) {
    State& s = state();
    std::lock_guard lock(s.mutex);
    Handle* h = s.find(handle);
    if (!h) {
        return logged(s, "FT_Close", FT_INVALID_HANDLE);
    }
    h->device->openNow = false;
    std::erase_if(s.handles, [&](const Handle& other) { return &other == h; });
    return logged(s, "FT_Close", FT_OK);
}

KORVEL_FAKE_EXPORT FT_STATUS KORVEL_VENDOR_CALL FT_SetBaudRate(FT_HANDLE handle, uint32_t baudRate) {
    State& s = state();
    std::lock_guard lock(s.mutex);
    const std::string call = "FT_SetBaudRate " + std::to_string(baudRate);
    Handle* h = nullptr;
    if (const FT_STATUS status = usable(s, handle, "FT_SetBaudRate", &h)) {
        return logged(s, call, status);
    }
    if (baudRate < 183 || baudRate > 3'000'000) {
        return logged(s, call, FT_INVALID_BAUD_RATE);
    }
    s.lastBaudRate = baudRate;
    return logged(s, call, FT_OK);
}

KORVEL_FAKE_EXPORT FT_STATUS KORVEL_VENDOR_CALL FT_SetTimeouts(FT_HANDLE handle, uint32_t readTimeout,
                                                               uint32_t writeTimeout) {
    State& s = state();
    std::lock_guard lock(s.mutex);
    const std::string call =
        "FT_SetTimeouts " + std::to_string(readTimeout) + " " + std::to_string(writeTimeout);
    Handle* h = nullptr;
    if (const FT_STATUS status = usable(s, handle, "FT_SetTimeouts", &h)) {
        return logged(s, call, status);
    }
    h->timeoutsSet = true;
    s.lastTimeoutsSet = true;
    s.lastReadTimeoutMs = readTimeout;
    return logged(s, call, FT_OK);
}

KORVEL_FAKE_EXPORT FT_STATUS KORVEL_VENDOR_CALL FT_Write(FT_HANDLE handle, void* buffer, uint32_t count,
                                                         uint32_t* written) {
    State& s = state();
    std::lock_guard lock(s.mutex);
    if (written) {
        *written = 0;
    }
    std::string call = "FT_Write";
    if (buffer) {
        call += " \"" + printable(std::string_view(static_cast<const char*>(buffer), count)) + "\"";
    }
    Handle* h = nullptr;
    if (const FT_STATUS status = usable(s, handle, "FT_Write", &h)) {
        return logged(s, call, status);
    }
    if (!written || (!buffer && count > 0)) {
        return logged(s, call, FT_INVALID_PARAMETER);
    }
    h->device->engine->hostWrite(std::string_view(static_cast<const char*>(buffer), count), s.clock.nowUs());
    if (h->device->gone()) {
        return logged(s, call, FT_IO_ERROR);
    }
    *written = count;
    return logged(s, call, FT_OK);
}

// Never blocks: without FT_SetTimeouts a real read would wait for every byte asked for, so such a read is
// counted for the tests instead.
KORVEL_FAKE_EXPORT FT_STATUS KORVEL_VENDOR_CALL FT_Read(FT_HANDLE handle, void* buffer, uint32_t count,
                                                        uint32_t* returned) {
    State& s = state();
    std::lock_guard lock(s.mutex);
    if (returned) {
        *returned = 0;
    }
    const std::string call = "FT_Read " + std::to_string(count);
    Handle* h = nullptr;
    if (const FT_STATUS status = usable(s, handle, "FT_Read", &h)) {
        return logged(s, call, status);
    }
    if (!returned || (!buffer && count > 0)) {
        return logged(s, call, FT_INVALID_PARAMETER);
    }
    AdapterEngine& engine = *h->device->engine;
    engine.advance(s.clock.nowUs());
    if (h->device->gone()) {
        return logged(s, call, FT_IO_ERROR);
    }
    const size_t limit = std::min<size_t>(count, engine.nextChunkLimit());
    const std::string_view bytes = engine.peekHostBytes().substr(0, limit);
    std::memcpy(buffer, bytes.data(), bytes.size());
    engine.consumeHostBytes(bytes.size());
    *returned = static_cast<uint32_t>(bytes.size());
    if (*returned < count && !h->timeoutsSet) {
        ++s.blockingReads;
    }
    return logged(s, call + " got " + std::to_string(*returned), FT_OK);
}

KORVEL_FAKE_EXPORT FT_STATUS KORVEL_VENDOR_CALL FT_GetQueueStatus(FT_HANDLE handle, uint32_t* waiting) {
    State& s = state();
    std::lock_guard lock(s.mutex);
    if (waiting) {
        *waiting = 0;
    }
    Handle* h = nullptr;
    if (const FT_STATUS status = usable(s, handle, "FT_GetQueueStatus", &h)) {
        return logged(s, "FT_GetQueueStatus", status);
    }
    if (!waiting) {
        return logged(s, "FT_GetQueueStatus", FT_INVALID_PARAMETER);
    }
    AdapterEngine& engine = *h->device->engine;
    engine.advance(s.clock.nowUs());
    if (h->device->gone()) {
        return logged(s, "FT_GetQueueStatus", FT_IO_ERROR);
    }
    *waiting = static_cast<uint32_t>(engine.pendingHostBytes());
    return logged(s, "FT_GetQueueStatus " + std::to_string(*waiting), FT_OK);
}

KORVEL_FAKE_EXPORT FT_STATUS KORVEL_VENDOR_CALL FT_SetDataCharacteristics(FT_HANDLE handle, uint8_t bits,
                                                                          uint8_t stopBits, uint8_t parity) {
    State& s = state();
    std::lock_guard lock(s.mutex);
    Handle* h = nullptr;
    return logged(s,
                  "FT_SetDataCharacteristics " + std::to_string(bits) + " " + std::to_string(stopBits) + " " +
                      std::to_string(parity),
                  usable(s, handle, "FT_SetDataCharacteristics", &h));
}

KORVEL_FAKE_EXPORT FT_STATUS KORVEL_VENDOR_CALL FT_SetFlowControl(FT_HANDLE handle, uint16_t flow,
                                                                  uint8_t xon, uint8_t xoff) {
    State& s = state();
    std::lock_guard lock(s.mutex);
    Handle* h = nullptr;
    return logged(s,
                  "FT_SetFlowControl " + hex(flow) + " " + std::to_string(xon) + " " + std::to_string(xoff),
                  usable(s, handle, "FT_SetFlowControl", &h));
}

KORVEL_FAKE_EXPORT FT_STATUS KORVEL_VENDOR_CALL FT_Purge(FT_HANDLE handle, uint32_t mask) {
    State& s = state();
    std::lock_guard lock(s.mutex);
    const std::string call = "FT_Purge " + std::to_string(mask);
    Handle* h = nullptr;
    if (const FT_STATUS status = usable(s, handle, "FT_Purge", &h)) {
        return logged(s, call, status);
    }
    if (mask & FT_PURGE_RX) {
        h->device->engine->discardHostBytes();
    }
    return logged(s, call, FT_OK);
}

// Declared without the calling-convention macro by the vendor, on Linux and macOS only.
KORVEL_FAKE_EXPORT FT_STATUS FT_SetVIDPID(uint32_t vid, uint32_t pid) {
    State& s = state();
    std::lock_guard lock(s.mutex);
    return logged(s, "FT_SetVIDPID " + hex(vid) + " " + hex(pid), FT_OK);
}

// ---- test control ----

KORVEL_FAKE_EXPORT void korvelFakeFtdi_reset(void) {
    State& s = state();
    std::lock_guard lock(s.mutex);
    s.resetDevices();
    s.log.clear();
    s.clock.useSteady();
    s.failures.clear();
    s.listingFailure = 0;
    s.lastBaudRate = 0;
    s.lastTimeoutsSet = false;
    s.lastReadTimeoutMs = 0;
    s.blockingReads = 0;
}

KORVEL_FAKE_EXPORT int korvelFakeFtdi_addDevice(const char* description, const char* serial) {
    State& s = state();
    std::lock_guard lock(s.mutex);
    return s.addDevice(description, serial);
}

KORVEL_FAKE_EXPORT void korvelFakeFtdi_clearDevices(void) {
    State& s = state();
    std::lock_guard lock(s.mutex);
    s.handles.clear();
    s.devices.clear();
}

KORVEL_FAKE_EXPORT void korvelFakeFtdi_failListing(uint32_t status) {
    State& s = state();
    std::lock_guard lock(s.mutex);
    s.listingFailure = status;
}

KORVEL_FAKE_EXPORT void korvelFakeFtdi_failDeviceField(int index, uint32_t field, uint32_t status) {
    State& s = state();
    std::lock_guard lock(s.mutex);
    if (index < 0 || static_cast<size_t>(index) >= s.devices.size()) {
        return;
    }
    (field == FT_OPEN_BY_DESCRIPTION ? s.devices[index]->descriptionFailure
                                     : s.devices[index]->serialFailure) = status;
}

KORVEL_FAKE_EXPORT void korvelFakeFtdi_failCall(const char* function, uint32_t status) {
    State& s = state();
    std::lock_guard lock(s.mutex);
    if (function) {
        s.failures.set(function, status);
    }
}

KORVEL_FAKE_EXPORT void* korvelFakeFtdi_engineAt(int index) {
    State& s = state();
    std::lock_guard lock(s.mutex);
    if (index < 0 || static_cast<size_t>(index) >= s.devices.size()) {
        return nullptr;
    }
    return s.devices[index]->engine.get();
}

KORVEL_FAKE_EXPORT void* korvelFakeFtdi_engine(void) {
    return korvelFakeFtdi_engineAt(0);
}

KORVEL_FAKE_EXPORT void korvelFakeFtdi_setNowUs(int64_t nowUs) {
    State& s = state();
    std::lock_guard lock(s.mutex);
    s.clock.set(nowUs);
}

KORVEL_FAKE_EXPORT void korvelFakeFtdi_useSteadyClock(void) {
    State& s = state();
    std::lock_guard lock(s.mutex);
    s.clock.useSteady();
}

KORVEL_FAKE_EXPORT void korvelFakeFtdi_vanishAt(int index) {
    State& s = state();
    std::lock_guard lock(s.mutex);
    if (index < 0 || static_cast<size_t>(index) >= s.devices.size()) {
        return;
    }
    s.devices[index]->unplugged = true;
    s.devices[index]->engine->vanish();
}

KORVEL_FAKE_EXPORT void korvelFakeFtdi_vanish(void) {
    State& s = state();
    std::lock_guard lock(s.mutex);
    for (size_t i = 0; i < s.devices.size(); ++i) {
        korvelFakeFtdi_vanishAt(static_cast<int>(i));
    }
}

KORVEL_FAKE_EXPORT uint32_t korvelFakeFtdi_lastBaudRate(void) {
    State& s = state();
    std::lock_guard lock(s.mutex);
    return s.lastBaudRate;
}

KORVEL_FAKE_EXPORT int korvelFakeFtdi_timeoutsSet(void) {
    State& s = state();
    std::lock_guard lock(s.mutex);
    return s.lastTimeoutsSet ? 1 : 0;
}

KORVEL_FAKE_EXPORT uint32_t korvelFakeFtdi_readTimeoutMs(void) {
    State& s = state();
    std::lock_guard lock(s.mutex);
    return s.lastReadTimeoutMs;
}

KORVEL_FAKE_EXPORT uint64_t korvelFakeFtdi_blockingReads(void) {
    State& s = state();
    std::lock_guard lock(s.mutex);
    return s.blockingReads;
}

KORVEL_FAKE_EXPORT int korvelFakeFtdi_openHandles(void) {
    State& s = state();
    std::lock_guard lock(s.mutex);
    return static_cast<int>(s.handles.size());
}

KORVEL_FAKE_EXPORT const char* korvelFakeFtdi_callLog(void) {
    State& s = state();
    std::lock_guard lock(s.mutex);
    return s.log.text();
}

KORVEL_FAKE_EXPORT void korvelFakeFtdi_clearCallLog(void) {
    State& s = state();
    std::lock_guard lock(s.mutex);
    s.log.clear();
}
