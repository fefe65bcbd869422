// A stand-in for PEAK's PCAN-Basic library with its exact C interface: channel PCAN_USBBUS1 is a virtual
// adapter's binary side. Every entry point takes one lock, as the real Linux library does.
#include "fakeCommon.h"
#include "fakeControl.h"
#include "vendorTypes.h"

#include "sim/adapterEngine.h"

#include <algorithm>
#include <cstring>
#include <memory>
#include <mutex>

using namespace korvel::fakes;
using korvel::sim::AdapterEngine;
using korvel::sim::BinaryStatus;
using korvel::sim::SimFrame;

namespace {

constexpr size_t kVersionBufferMin = 1;
constexpr size_t kErrorTextMax = 256;

struct ErrorText {
    TPCANStatus status;
    const char* text;
};

constexpr ErrorText kErrorTexts[] = {
    {PCAN_ERROR_OK, "No error"},
    {PCAN_ERROR_XMTFULL, "Transmit buffer in CAN controller is full"},
    {PCAN_ERROR_OVERRUN, "CAN controller was read too late"},
    {PCAN_ERROR_BUSLIGHT, "Bus error: an error counter reached the 'light' limit"},
    {PCAN_ERROR_BUSHEAVY, "Bus error: an error counter reached the 'heavy' limit"},
    {PCAN_ERROR_BUSOFF, "Bus error: the CAN controller is in bus-off state"},
    {PCAN_ERROR_QRCVEMPTY, "Receive queue is empty"},
    {PCAN_ERROR_QOVERRUN, "Receive queue was read too late"},
    {PCAN_ERROR_QXMTFULL, "Transmit queue is full"},
    {PCAN_ERROR_REGTEST, "Test of the CAN controller hardware registers failed"},
    {PCAN_ERROR_NODRIVER, "Driver not loaded"},
    {PCAN_ERROR_HWINUSE, "Hardware already in use by a net"},
    {PCAN_ERROR_NETINUSE, "A client is already connected to the net"},
    {PCAN_ERROR_ILLHW, "Hardware handle is invalid"},
    {PCAN_ERROR_ILLNET, "Net handle is invalid"},
    {PCAN_ERROR_ILLCLIENT, "Client handle is invalid"},
    {PCAN_ERROR_RESOURCE, "Resource cannot be created"},
    {PCAN_ERROR_ILLPARAMTYPE, "Invalid parameter"},
    {PCAN_ERROR_ILLPARAMVAL, "Invalid parameter value"},
    {PCAN_ERROR_UNKNOWN, "Unknown error"},
    {PCAN_ERROR_ILLDATA, "Invalid data, function, or action"},
    {PCAN_ERROR_BUSPASSIVE, "Bus error: the CAN controller is error passive"},
    {PCAN_ERROR_ILLMODE, "Operation not allowed in the current mode"},
    {PCAN_ERROR_CAUTION, "Operation done, with irregularities"},
    {PCAN_ERROR_INITIALIZE, "Channel is not initialized"},
    {PCAN_ERROR_ILLOPERATION, "Invalid operation"},
};

struct State {
    std::recursive_mutex mutex;
    std::unique_ptr<AdapterEngine> engine = std::make_unique<AdapterEngine>();
    bool initialized = false;
    CallLog log;
    FakeClock clock;
    Failures failures;
    uint32_t initFailure = 0;
    uint32_t lastInitBtr = 0xFFFFFFFF;
    uint32_t initCount = 0;
    uint64_t overrunsSeen = 0;
    uint32_t filter = PCAN_FILTER_OPEN;
    uint32_t filterFrom = 0;
    uint32_t filterTo = 0;
    std::string channelVersion = "PCAN-USB 8.15.2\nCopyright (C) 1998-2023 PEAK-System Technik GmbH";
    std::string apiVersion = "4.7.0.3";

    void reset() {
        engine = std::make_unique<AdapterEngine>();
        initialized = false;
        log.clear();
        clock.useSteady();
        failures.clear();
        initFailure = 0;
        lastInitBtr = 0xFFFFFFFF;
        initCount = 0;
        overrunsSeen = 0;
        filter = PCAN_FILTER_OPEN;
        channelVersion = "PCAN-USB 8.15.2\nCopyright (C) 1998-2023 PEAK-System Technik GmbH";
        apiVersion = "4.7.0.3";
    }

    [[nodiscard]] bool passes(const SimFrame& frame) const {
        return filter == PCAN_FILTER_OPEN ||
               (filter == PCAN_FILTER_CUSTOM && frame.id >= filterFrom && frame.id <= filterTo);
    }
};

State& state() {
    static State instance;
    return instance;
}

TPCANStatus logged(State& s, const std::string& call, TPCANStatus status) {
    s.log.add(call + " -> " + hex(status));
    return status;
}

// The status that refuses a call on an initialised channel, or OK.
TPCANStatus channelReady(State& s, TPCANHandle channel, const char* function) {
    if (channel != PCAN_USBBUS1) {
        return PCAN_ERROR_ILLHW;
    }
    if (const uint32_t failure = s.failures.of(function)) {
        return failure;
    }
    if (s.engine->vanished()) {
        return PCAN_ERROR_ILLHW;
    }
    return s.initialized ? PCAN_ERROR_OK : PCAN_ERROR_INITIALIZE;
}

// With a terminating NUL when it fits; "exact" copies the text without one when the buffer is just
// long enough, as the Linux library does for the API version.
TPCANStatus copyText(const std::string& text, void* buffer, uint32_t length, bool exact) {
    const size_t needed = exact ? text.size() : text.size() + 1;
    if (length < std::max(needed, kVersionBufferMin)) {
        return PCAN_ERROR_ILLPARAMVAL;
    }
    std::memset(buffer, 0, length);
    std::memcpy(buffer, text.data(), text.size());
    return PCAN_ERROR_OK;
}

TPCANStatus copyNumber(uint32_t value, void* buffer, uint32_t length) {
    if (length < sizeof value) {
        return PCAN_ERROR_ILLPARAMVAL;
    }
    std::memcpy(buffer, &value, sizeof value);
    return PCAN_ERROR_OK;
}

} // namespace

KORVEL_FAKE_EXPORT TPCANStatus KORVEL_VENDOR_CALL CAN_Initialize(TPCANHandle channel, uint16_t btr0btr1,
                                                                 uint8_t hwType, uint32_t ioPort,
                                                                 uint16_t interrupt) {
    State& s = state();
    std::lock_guard lock(s.mutex);
    const std::string call = "CAN_Initialize " + hex(channel) + " " + hex(btr0btr1) + " " +
                             std::to_string(hwType) + " " + std::to_string(ioPort) + " " +
                             std::to_string(interrupt);
    if (channel != PCAN_USBBUS1) {
        return logged(s, call, PCAN_ERROR_ILLHW);
    }
    s.lastInitBtr = btr0btr1;
    ++s.initCount;
    if (const uint32_t failure = s.initFailure ? s.initFailure : s.failures.of("CAN_Initialize")) {
        return logged(s, call, failure);
    }
    switch (s.engine->binaryInit(btr0btr1, s.clock.nowUs())) {
    case BinaryStatus::Ok:
        s.initialized = true;
        s.filter = PCAN_FILTER_OPEN; // a fresh channel receives everything
        s.overrunsSeen = s.engine->overruns();
        return logged(s, call, PCAN_ERROR_OK);
    case BinaryStatus::AlreadyOpen:
        return logged(s, call, PCAN_ERROR_INITIALIZE);
    default:
        return logged(s, call, PCAN_ERROR_ILLHW);
    }
}

// Releases the channel even when the adapter is gone, so the client can start over.
KORVEL_FAKE_EXPORT TPCANStatus KORVEL_VENDOR_CALL CAN_Uninitialize(TPCANHandle channel) {
    State& s = state();
    std::lock_guard lock(s.mutex);
    const std::string call = "CAN_Uninitialize " + hex(channel);
    if (channel != PCAN_USBBUS1 && channel != PCAN_NONEBUS) {
        return logged(s, call, PCAN_ERROR_ILLHW);
    }
    if (const uint32_t failure = s.failures.of("CAN_Uninitialize")) {
        return logged(s, call, failure);
    }
    if (!s.initialized) {
        return logged(s, call, channel == PCAN_NONEBUS ? PCAN_ERROR_OK : PCAN_ERROR_INITIALIZE);
    }
    s.initialized = false;
    s.engine->binaryClose();
    return logged(s, call, PCAN_ERROR_OK);
}

KORVEL_FAKE_EXPORT TPCANStatus KORVEL_VENDOR_CALL CAN_GetStatus(TPCANHandle channel) {
    State& s = state();
    std::lock_guard lock(s.mutex);
    const std::string call = "CAN_GetStatus " + hex(channel);
    if (const TPCANStatus status = channelReady(s, channel, "CAN_GetStatus")) {
        return logged(s, call, status);
    }
    s.engine->advance(s.clock.nowUs());
    if (s.engine->vanished()) {
        return logged(s, call, PCAN_ERROR_ILLHW);
    }
    // Frames lost because the client read too late show once, like the driver's queue-overrun bit.
    const uint64_t overruns = s.engine->overruns();
    const bool lost = overruns != s.overrunsSeen;
    s.overrunsSeen = overruns;
    return logged(s, call, lost ? PCAN_ERROR_QOVERRUN : PCAN_ERROR_OK);
}

KORVEL_FAKE_EXPORT TPCANStatus KORVEL_VENDOR_CALL CAN_Read(TPCANHandle channel, TPCANMsg* message,
                                                           TPCANTimestamp* timestamp) {
    State& s = state();
    std::lock_guard lock(s.mutex);
    if (const TPCANStatus status = channelReady(s, channel, "CAN_Read")) {
        return logged(s, "CAN_Read", status);
    }
    if (!message) {
        return logged(s, "CAN_Read", PCAN_ERROR_ILLPARAMVAL);
    }
    SimFrame frame;
    int64_t receivedUs = 0;
    const int64_t now = s.clock.nowUs();
    for (;;) {
        if (!s.engine->binaryRead(frame, now, &receivedUs)) {
            // Frequent when polling: the empty queue is not logged, so the log keeps what matters.
            return s.engine->vanished() ? logged(s, "CAN_Read", PCAN_ERROR_ILLHW) : PCAN_ERROR_QRCVEMPTY;
        }
        if (s.passes(frame)) {
            break;
        }
    }
    std::memset(message, 0, sizeof *message);
    message->ID = frame.id;
    message->MSGTYPE = static_cast<uint8_t>((frame.remote ? PCAN_MESSAGE_RTR : 0) |
                                            (frame.extended ? PCAN_MESSAGE_EXTENDED : 0));
    message->LEN = frame.dlc;
    if (!frame.remote) {
        std::memcpy(message->DATA, frame.data.data(), 8);
    }
    if (timestamp) {
        const auto us = static_cast<uint64_t>(std::max<int64_t>(0, receivedUs));
        const uint64_t ms = us / 1000;
        timestamp->millis = static_cast<uint32_t>(ms);
        timestamp->millis_overflow = static_cast<uint16_t>(ms >> 32);
        timestamp->micros = static_cast<uint16_t>(us % 1000);
    }
    return PCAN_ERROR_OK;
}

KORVEL_FAKE_EXPORT TPCANStatus KORVEL_VENDOR_CALL CAN_Write(TPCANHandle channel, TPCANMsg* message) {
    State& s = state();
    std::lock_guard lock(s.mutex);
    std::string call = "CAN_Write";
    if (message) {
        call += " " + hex(message->ID) + " " + hex(message->MSGTYPE) + " " + std::to_string(message->LEN);
    }
    if (const TPCANStatus status = channelReady(s, channel, "CAN_Write")) {
        return logged(s, call, status);
    }
    constexpr uint8_t kUnsupported = PCAN_MESSAGE_FD | PCAN_MESSAGE_ERRFRAME | PCAN_MESSAGE_STATUS;
    if (!message || message->LEN > 8 || (message->MSGTYPE & kUnsupported) != 0) {
        return logged(s, call, PCAN_ERROR_ILLPARAMVAL);
    }
    SimFrame frame;
    frame.id = message->ID;
    frame.extended = (message->MSGTYPE & PCAN_MESSAGE_EXTENDED) != 0;
    frame.remote = (message->MSGTYPE & PCAN_MESSAGE_RTR) != 0;
    frame.dlc = message->LEN;
    std::memcpy(frame.data.data(), message->DATA, 8);
    switch (s.engine->binaryWrite(frame, s.clock.nowUs())) {
    case BinaryStatus::Ok:
        return logged(s, call, PCAN_ERROR_OK);
    case BinaryStatus::BadFrame:
        return logged(s, call, PCAN_ERROR_ILLPARAMVAL);
    case BinaryStatus::NotOpen:
        return logged(s, call, PCAN_ERROR_INITIALIZE);
    default:
        return logged(s, call, PCAN_ERROR_ILLHW);
    }
}

KORVEL_FAKE_EXPORT TPCANStatus KORVEL_VENDOR_CALL CAN_GetValue(TPCANHandle channel, uint8_t parameter,
                                                               void* buffer, uint32_t length) {
    State& s = state();
    std::lock_guard lock(s.mutex);
    const std::string call =
        "CAN_GetValue " + hex(channel) + " " + hex(parameter) + " " + std::to_string(length);
    if (const uint32_t failure = s.failures.of("CAN_GetValue")) {
        return logged(s, call, failure);
    }
    if (!buffer) {
        return logged(s, call, PCAN_ERROR_ILLPARAMVAL);
    }
    if (parameter == PCAN_API_VERSION) {
        return logged(s, call, copyText(s.apiVersion, buffer, length, true));
    }
    if (channel == PCAN_NONEBUS) {
        return logged(s, call,
                      parameter == PCAN_CHANNEL_VERSION ? PCAN_ERROR_ILLHANDLE : PCAN_ERROR_ILLPARAMTYPE);
    }
    if (channel != PCAN_USBBUS1) {
        return logged(s, call, PCAN_ERROR_ILLHW);
    }
    if (parameter == PCAN_CHANNEL_CONDITION) {
        const uint32_t condition = s.engine->vanished() ? PCAN_CHANNEL_UNAVAILABLE
                                   : s.initialized      ? PCAN_CHANNEL_OCCUPIED
                                                        : PCAN_CHANNEL_AVAILABLE;
        return logged(s, call, copyNumber(condition, buffer, length));
    }
    if (s.engine->vanished()) {
        return logged(s, call, PCAN_ERROR_ILLHW);
    }
    switch (parameter) {
    case PCAN_CHANNEL_VERSION:
        return logged(s, call, copyText(s.channelVersion, buffer, length, false));
    case PCAN_HARDWARE_NAME:
        return logged(s, call, copyText("PCAN-USB", buffer, length, false));
    case PCAN_MESSAGE_FILTER:
        return logged(s, call, copyNumber(s.filter, buffer, length));
    default:
        return logged(s, call, PCAN_ERROR_ILLPARAMTYPE);
    }
}

KORVEL_FAKE_EXPORT TPCANStatus KORVEL_VENDOR_CALL CAN_SetValue(TPCANHandle channel, uint8_t parameter,
                                                               void* buffer, uint32_t length) {
    State& s = state();
    std::lock_guard lock(s.mutex);
    const std::string call =
        "CAN_SetValue " + hex(channel) + " " + hex(parameter) + " " + std::to_string(length);
    if (const TPCANStatus status = channelReady(s, channel, "CAN_SetValue")) {
        return logged(s, call, status);
    }
    if (!buffer || length < sizeof(uint32_t)) {
        return logged(s, call, PCAN_ERROR_ILLPARAMVAL);
    }
    uint32_t value = 0;
    std::memcpy(&value, buffer, sizeof value);
    if (parameter == PCAN_RECEIVE_EVENT) {
        return logged(s, call, PCAN_ERROR_ILLOPERATION); // always on under Linux
    }
    if (parameter != PCAN_MESSAGE_FILTER) {
        return logged(s, call, PCAN_ERROR_ILLPARAMTYPE);
    }
    if (value != PCAN_FILTER_CLOSE && value != PCAN_FILTER_OPEN) {
        return logged(s, call, PCAN_ERROR_ILLPARAMVAL);
    }
    s.filter = value;
    return logged(s, call + " " + std::to_string(value), PCAN_ERROR_OK);
}

// Each call widens one custom range to take in the new one, as the library's message filter does.
KORVEL_FAKE_EXPORT TPCANStatus KORVEL_VENDOR_CALL CAN_FilterMessages(TPCANHandle channel, uint32_t from,
                                                                     uint32_t to, uint8_t mode) {
    State& s = state();
    std::lock_guard lock(s.mutex);
    const std::string call = "CAN_FilterMessages " + hex(from) + " " + hex(to) + " " + hex(mode);
    if (const TPCANStatus status = channelReady(s, channel, "CAN_FilterMessages")) {
        return logged(s, call, status);
    }
    const uint32_t limit = mode == PCAN_MODE_EXTENDED ? 0x1FFFFFFF : 0x7FF;
    if ((mode != PCAN_MODE_STANDARD && mode != PCAN_MODE_EXTENDED) || from > to || to > limit) {
        return logged(s, call, PCAN_ERROR_ILLPARAMVAL);
    }
    if (s.filter == PCAN_FILTER_CUSTOM) {
        s.filterFrom = std::min(s.filterFrom, from);
        s.filterTo = std::max(s.filterTo, to);
    } else {
        s.filter = PCAN_FILTER_CUSTOM;
        s.filterFrom = from;
        s.filterTo = to;
    }
    return logged(s, call, PCAN_ERROR_OK);
}

KORVEL_FAKE_EXPORT TPCANStatus KORVEL_VENDOR_CALL CAN_Reset(TPCANHandle channel) {
    State& s = state();
    std::lock_guard lock(s.mutex);
    const std::string call = "CAN_Reset " + hex(channel);
    if (const TPCANStatus status = channelReady(s, channel, "CAN_Reset")) {
        return logged(s, call, status);
    }
    s.engine->discardBinaryFrames();
    return logged(s, call, PCAN_ERROR_OK);
}

KORVEL_FAKE_EXPORT TPCANStatus KORVEL_VENDOR_CALL CAN_GetErrorText(TPCANStatus error, uint16_t language,
                                                                   char* buffer) {
    State& s = state();
    std::lock_guard lock(s.mutex);
    const std::string call = "CAN_GetErrorText " + hex(error) + " " + hex(language);
    if (!buffer) {
        return logged(s, call, PCAN_ERROR_ILLPARAMVAL);
    }
    for (const ErrorText& entry : kErrorTexts) {
        if (entry.status == error) {
            std::strncpy(buffer, entry.text, kErrorTextMax - 1);
            buffer[kErrorTextMax - 1] = '\0';
            return logged(s, call, PCAN_ERROR_OK);
        }
    }
    // Combined codes have no text of their own; callers look up each bit.
    return logged(s, call, PCAN_ERROR_ILLPARAMVAL);
}

// ---- test control ----

KORVEL_FAKE_EXPORT void korvelFakePcan_reset(void) {
    State& s = state();
    std::lock_guard lock(s.mutex);
    s.reset();
}

KORVEL_FAKE_EXPORT void* korvelFakePcan_engine(void) {
    State& s = state();
    std::lock_guard lock(s.mutex);
    return s.engine.get();
}

KORVEL_FAKE_EXPORT void korvelFakePcan_setNowUs(int64_t nowUs) {
    State& s = state();
    std::lock_guard lock(s.mutex);
    s.clock.set(nowUs);
}

KORVEL_FAKE_EXPORT void korvelFakePcan_useSteadyClock(void) {
    State& s = state();
    std::lock_guard lock(s.mutex);
    s.clock.useSteady();
}

KORVEL_FAKE_EXPORT void korvelFakePcan_vanish(void) {
    State& s = state();
    std::lock_guard lock(s.mutex);
    s.engine->vanish();
}

KORVEL_FAKE_EXPORT uint32_t korvelFakePcan_lastInitBtr(void) {
    State& s = state();
    std::lock_guard lock(s.mutex);
    return s.lastInitBtr;
}

KORVEL_FAKE_EXPORT uint32_t korvelFakePcan_initCount(void) {
    State& s = state();
    std::lock_guard lock(s.mutex);
    return s.initCount;
}

KORVEL_FAKE_EXPORT int korvelFakePcan_initialized(void) {
    State& s = state();
    std::lock_guard lock(s.mutex);
    return s.initialized ? 1 : 0;
}

KORVEL_FAKE_EXPORT void korvelFakePcan_failInit(uint32_t status) {
    State& s = state();
    std::lock_guard lock(s.mutex);
    s.initFailure = status;
}

KORVEL_FAKE_EXPORT void korvelFakePcan_failCall(const char* function, uint32_t status) {
    State& s = state();
    std::lock_guard lock(s.mutex);
    if (function) {
        s.failures.set(function, status);
    }
}

KORVEL_FAKE_EXPORT void korvelFakePcan_setChannelVersion(const char* text) {
    State& s = state();
    std::lock_guard lock(s.mutex);
    s.channelVersion = std::string(text ? text : "").substr(0, 255);
}

KORVEL_FAKE_EXPORT void korvelFakePcan_setApiVersion(const char* text) {
    State& s = state();
    std::lock_guard lock(s.mutex);
    s.apiVersion = std::string(text ? text : "").substr(0, 255);
}

KORVEL_FAKE_EXPORT const char* korvelFakePcan_callLog(void) {
    State& s = state();
    std::lock_guard lock(s.mutex);
    return s.log.text();
}

KORVEL_FAKE_EXPORT void korvelFakePcan_clearCallLog(void) {
    State& s = state();
    std::lock_guard lock(s.mutex);
    s.log.clear();
}
