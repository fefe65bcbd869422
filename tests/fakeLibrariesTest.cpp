// The fake vendor libraries, loaded by name as Korvel's bindings load the real ones.
#include "fakes/fakeControl.h"
#include "fakes/vendorTypes.h"
#include "sim/adapterEngine.h"

// dlopen by file name is how a Linux binding finds its library.
#ifndef _WIN32

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <cstring>
#include <dlfcn.h>

using namespace korvel::fakes;
using korvel::sim::AdapterEngine;
using ::testing::HasSubstr;

namespace {

constexpr int64_t kMs = 1000;

void* openLibrary(const char* name) {
    void* library = dlopen(name, RTLD_NOW);
    if (!library) {
        ADD_FAILURE() << "cannot load " << name
                      << " (is the fakes folder on LD_LIBRARY_PATH?): " << dlerror();
    }
    return library;
}

template <typename Fn> void bind(void* library, const char* name, Fn& fn) {
    fn = library ? reinterpret_cast<Fn>(dlsym(library, name)) : nullptr;
    if (!fn) {
        ADD_FAILURE() << "missing symbol " << name;
    }
}

#define KORVEL_BIND(api, lib, name) bind(lib, #name, api.name)

struct Ftdi {
    FT_STATUS (*FT_ListDevices)(void*, void*, uint32_t);
    FT_STATUS (*FT_OpenEx)(void*, uint32_t, FT_HANDLE*);
    FT_STATUS (*FT_Close)(FT_HANDLE);
    FT_STATUS (*FT_SetBaudRate)(FT_HANDLE, uint32_t);
    FT_STATUS (*FT_SetTimeouts)(FT_HANDLE, uint32_t, uint32_t);
    FT_STATUS (*FT_Write)(FT_HANDLE, void*, uint32_t, uint32_t*);
    FT_STATUS (*FT_Read)(FT_HANDLE, void*, uint32_t, uint32_t*);
    FT_STATUS (*FT_GetQueueStatus)(FT_HANDLE, uint32_t*);
    FT_STATUS (*FT_Purge)(FT_HANDLE, uint32_t);
    decltype(&korvelFakeFtdi_reset) reset;
    decltype(&korvelFakeFtdi_addDevice) addDevice;
    decltype(&korvelFakeFtdi_failListing) failListing;
    decltype(&korvelFakeFtdi_failDeviceField) failDeviceField;
    decltype(&korvelFakeFtdi_failCall) failCall;
    decltype(&korvelFakeFtdi_engine) engine;
    decltype(&korvelFakeFtdi_setNowUs) setNowUs;
    decltype(&korvelFakeFtdi_vanish) vanish;
    decltype(&korvelFakeFtdi_lastBaudRate) lastBaudRate;
    decltype(&korvelFakeFtdi_timeoutsSet) timeoutsSet;
    decltype(&korvelFakeFtdi_blockingReads) blockingReads;
    decltype(&korvelFakeFtdi_openHandles) openHandles;
    decltype(&korvelFakeFtdi_callLog) callLog;

    static Ftdi& get() {
        static Ftdi api = [] {
            Ftdi a{};
            void* lib = openLibrary("libftd2xx.so");
            KORVEL_BIND(a, lib, FT_ListDevices);
            KORVEL_BIND(a, lib, FT_OpenEx);
            KORVEL_BIND(a, lib, FT_Close);
            KORVEL_BIND(a, lib, FT_SetBaudRate);
            KORVEL_BIND(a, lib, FT_SetTimeouts);
            KORVEL_BIND(a, lib, FT_Write);
            KORVEL_BIND(a, lib, FT_Read);
            KORVEL_BIND(a, lib, FT_GetQueueStatus);
            KORVEL_BIND(a, lib, FT_Purge);
            bind(lib, "korvelFakeFtdi_reset", a.reset);
            bind(lib, "korvelFakeFtdi_addDevice", a.addDevice);
            bind(lib, "korvelFakeFtdi_failListing", a.failListing);
            bind(lib, "korvelFakeFtdi_failDeviceField", a.failDeviceField);
            bind(lib, "korvelFakeFtdi_failCall", a.failCall);
            bind(lib, "korvelFakeFtdi_engine", a.engine);
            bind(lib, "korvelFakeFtdi_setNowUs", a.setNowUs);
            bind(lib, "korvelFakeFtdi_vanish", a.vanish);
            bind(lib, "korvelFakeFtdi_lastBaudRate", a.lastBaudRate);
            bind(lib, "korvelFakeFtdi_timeoutsSet", a.timeoutsSet);
            bind(lib, "korvelFakeFtdi_blockingReads", a.blockingReads);
            bind(lib, "korvelFakeFtdi_openHandles", a.openHandles);
            bind(lib, "korvelFakeFtdi_callLog", a.callLog);
            return a;
        }();
        return api;
    }
};

struct Pcan {
    TPCANStatus (*CAN_Initialize)(TPCANHandle, uint16_t, uint8_t, uint32_t, uint16_t);
    TPCANStatus (*CAN_Uninitialize)(TPCANHandle);
    TPCANStatus (*CAN_GetStatus)(TPCANHandle);
    TPCANStatus (*CAN_Read)(TPCANHandle, TPCANMsg*, TPCANTimestamp*);
    TPCANStatus (*CAN_Write)(TPCANHandle, TPCANMsg*);
    TPCANStatus (*CAN_GetValue)(TPCANHandle, uint8_t, void*, uint32_t);
    TPCANStatus (*CAN_SetValue)(TPCANHandle, uint8_t, void*, uint32_t);
    TPCANStatus (*CAN_FilterMessages)(TPCANHandle, uint32_t, uint32_t, uint8_t);
    TPCANStatus (*CAN_GetErrorText)(TPCANStatus, uint16_t, char*);
    decltype(&korvelFakePcan_reset) reset;
    decltype(&korvelFakePcan_engine) engine;
    decltype(&korvelFakePcan_setNowUs) setNowUs;
    decltype(&korvelFakePcan_vanish) vanish;
    decltype(&korvelFakePcan_lastInitBtr) lastInitBtr;
    decltype(&korvelFakePcan_initialized) initialized;
    decltype(&korvelFakePcan_failInit) failInit;
    decltype(&korvelFakePcan_callLog) callLog;

    static Pcan& get() {
        static Pcan api = [] {
            Pcan a{};
            void* lib = openLibrary("libpcanbasic.so");
            KORVEL_BIND(a, lib, CAN_Initialize);
            KORVEL_BIND(a, lib, CAN_Uninitialize);
            KORVEL_BIND(a, lib, CAN_GetStatus);
            KORVEL_BIND(a, lib, CAN_Read);
            KORVEL_BIND(a, lib, CAN_Write);
            KORVEL_BIND(a, lib, CAN_GetValue);
            KORVEL_BIND(a, lib, CAN_SetValue);
            KORVEL_BIND(a, lib, CAN_FilterMessages);
            KORVEL_BIND(a, lib, CAN_GetErrorText);
            bind(lib, "korvelFakePcan_reset", a.reset);
            bind(lib, "korvelFakePcan_engine", a.engine);
            bind(lib, "korvelFakePcan_setNowUs", a.setNowUs);
            bind(lib, "korvelFakePcan_vanish", a.vanish);
            bind(lib, "korvelFakePcan_lastInitBtr", a.lastInitBtr);
            bind(lib, "korvelFakePcan_initialized", a.initialized);
            bind(lib, "korvelFakePcan_failInit", a.failInit);
            bind(lib, "korvelFakePcan_callLog", a.callLog);
            return a;
        }();
        return api;
    }
};

class FakeFtdi : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_NE(ft.reset, nullptr);
        ft.reset();
    }
    AdapterEngine& engine() { return *static_cast<AdapterEngine*>(ft.engine()); }
    FT_HANDLE open(const char* serial = "KV000001") {
        FT_HANDLE handle = nullptr;
        EXPECT_EQ(ft.FT_OpenEx(const_cast<char*>(serial), FT_OPEN_BY_SERIAL_NUMBER, &handle), FT_OK);
        return handle;
    }
    std::string field(uintptr_t index, uint32_t flag, FT_STATUS expected = FT_OK) {
        char buffer[64] = {};
        EXPECT_EQ(ft.FT_ListDevices(reinterpret_cast<void*>(index), buffer, FT_LIST_BY_INDEX | flag),
                  expected);
        return buffer;
    }
    uint32_t count() {
        uint32_t words[2] = {0xDEADBEEF, 0xDEADBEEF}; // exactly one DWORD may be written
        EXPECT_EQ(ft.FT_ListDevices(words, nullptr, FT_LIST_NUMBER_ONLY), FT_OK);
        EXPECT_EQ(words[1], 0xDEADBEEF);
        return words[0];
    }
    // The reply wait of the USB kind: one byte a read until CR or BELL, or a read that brings nothing.
    std::string reply(FT_HANDLE handle) {
        std::string text;
        for (int i = 0; i < 100; ++i) {
            char byte = 0;
            uint32_t got = 0;
            if (ft.FT_Read(handle, &byte, 1, &got) != FT_OK || got == 0) {
                break;
            }
            text += byte;
            if (byte == '\r' || byte == '\a') {
                break;
            }
        }
        return text;
    }
    void write(FT_HANDLE handle, std::string text) {
        uint32_t written = 0;
        EXPECT_EQ(ft.FT_Write(handle, text.data(), static_cast<uint32_t>(text.size()), &written), FT_OK);
        EXPECT_EQ(written, text.size());
    }

    Ftdi& ft = Ftdi::get();
};

class FakePcan : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_NE(pc.reset, nullptr);
        pc.reset();
        pc.setNowUs(0);
    }
    AdapterEngine& engine() { return *static_cast<AdapterEngine*>(pc.engine()); }

    Pcan& pc = Pcan::get();
};

} // namespace

TEST_F(FakeFtdi, ListsDevicesTheWayTheBindingAsks) {
    EXPECT_EQ(count(), 1U);
    EXPECT_EQ(field(0, FT_OPEN_BY_DESCRIPTION), "Korvel Virtual USB-CAN");
    EXPECT_EQ(field(0, FT_OPEN_BY_SERIAL_NUMBER), "KV000001");
    EXPECT_EQ(field(0, 0), "KV000001");
    EXPECT_EQ(field(1, FT_OPEN_BY_SERIAL_NUMBER, FT_DEVICE_NOT_FOUND), "");

    EXPECT_EQ(ft.addDevice("Korvel Virtual USB-CAN please insert CD!", "KV000002"), 1);
    EXPECT_EQ(count(), 2U);
    EXPECT_EQ(field(1, FT_OPEN_BY_DESCRIPTION), "Korvel Virtual USB-CAN please insert CD!");
    ft.addDevice(std::string(200, 'D').c_str(), std::string(40, 'S').c_str());
    EXPECT_EQ(field(2, FT_OPEN_BY_DESCRIPTION).size(), 63U);
    EXPECT_EQ(field(2, FT_OPEN_BY_SERIAL_NUMBER).size(), 15U);

    ft.failDeviceField(0, FT_OPEN_BY_DESCRIPTION, FT_DEVICE_NOT_FOUND);
    field(0, FT_OPEN_BY_DESCRIPTION, FT_DEVICE_NOT_FOUND);
    EXPECT_EQ(field(0, FT_OPEN_BY_SERIAL_NUMBER), "KV000001");

    char a[64] = {};
    char b[64] = {};
    char c[64] = {};
    char* all[] = {a, b, c, nullptr};
    uint32_t n = 0;
    EXPECT_EQ(ft.FT_ListDevices(all, &n, FT_LIST_ALL | FT_OPEN_BY_SERIAL_NUMBER), FT_OK);
    EXPECT_EQ(n, 3U);
    EXPECT_STREQ(b, "KV000002");

    ft.failListing(18);
    uint32_t ignored = 0;
    EXPECT_EQ(ft.FT_ListDevices(&ignored, nullptr, FT_LIST_NUMBER_ONLY), 18U);
    EXPECT_EQ(ft.FT_ListDevices(nullptr, nullptr, 0), 18U);
    ft.failListing(0);
    EXPECT_EQ(ft.FT_ListDevices(nullptr, nullptr, FT_LIST_NUMBER_ONLY), FT_INVALID_PARAMETER);
}

TEST_F(FakeFtdi, OpensASerialNumberOnceAndRefusesStaleHandles) {
    FT_HANDLE handle = reinterpret_cast<FT_HANDLE>(0x1);
    char unknown[] = "NOPE";
    EXPECT_EQ(ft.FT_OpenEx(unknown, FT_OPEN_BY_SERIAL_NUMBER, &handle), FT_DEVICE_NOT_FOUND);
    EXPECT_EQ(handle, nullptr);
    handle = open();
    ASSERT_NE(handle, nullptr);
    FT_HANDLE second = nullptr;
    char serial[] = "KV000001";
    EXPECT_EQ(ft.FT_OpenEx(serial, FT_OPEN_BY_SERIAL_NUMBER, &second), FT_DEVICE_NOT_OPENED);
    EXPECT_EQ(ft.openHandles(), 1);
    EXPECT_EQ(ft.FT_Close(handle), FT_OK);
    EXPECT_EQ(ft.FT_Close(handle), FT_INVALID_HANDLE);
    EXPECT_EQ(ft.FT_SetBaudRate(handle, 57600), FT_INVALID_HANDLE);
    EXPECT_EQ(ft.FT_SetBaudRate(&second, 57600), FT_INVALID_HANDLE); // never dereferenced
    FT_HANDLE again = open();
    EXPECT_NE(again, handle);
    EXPECT_EQ(ft.openHandles(), 1);
}

TEST_F(FakeFtdi, AnswersCommandsReadAByteAtATime) {
    FT_HANDLE handle = open();
    EXPECT_EQ(ft.FT_SetBaudRate(handle, 57600), FT_OK);
    EXPECT_EQ(ft.FT_SetTimeouts(handle, 50, 50), FT_OK);
    write(handle, "v\r");
    EXPECT_EQ(reply(handle), "v1013\r");
    write(handle, "O\r");
    EXPECT_EQ(reply(handle), "\a"); // no bitrate yet
    char byte = 0;
    uint32_t got = 7;
    EXPECT_EQ(ft.FT_Read(handle, &byte, 1, &got), FT_OK);
    EXPECT_EQ(got, 0U);
    EXPECT_EQ(ft.lastBaudRate(), 57600U);
    EXPECT_EQ(ft.timeoutsSet(), 1);
    EXPECT_EQ(ft.blockingReads(), 0U);
    EXPECT_THAT(ft.callLog(), HasSubstr("FT_SetTimeouts 50 50 -> 0\nFT_Write \"v\\r\" -> 0\n"));
    EXPECT_EQ(engine().commandLog(), (std::vector<std::string>{"v", "O"}));
}

TEST_F(FakeFtdi, AReadWithoutTimeoutsReturnsButIsRecorded) {
    FT_HANDLE handle = open();
    char buffer[10];
    uint32_t got = 99;
    EXPECT_EQ(ft.FT_Read(handle, buffer, sizeof buffer, &got), FT_OK);
    EXPECT_EQ(got, 0U);
    EXPECT_EQ(ft.timeoutsSet(), 0);
    EXPECT_EQ(ft.blockingReads(), 1U);
}

TEST_F(FakeFtdi, WaitingBytesAreReadIn256ByteSlices) {
    FT_HANDLE handle = open();
    ft.FT_SetTimeouts(handle, 10, 10);
    std::string commands;
    for (int i = 0; i < 100; ++i) {
        commands += "v\r";
    }
    write(handle, commands);
    uint32_t waiting = 0;
    ASSERT_EQ(ft.FT_GetQueueStatus(handle, &waiting), FT_OK);
    ASSERT_EQ(waiting, 600U);
    std::vector<uint32_t> slices;
    std::string text;
    for (uint32_t left = waiting; left > 0;) {
        char buffer[256];
        const uint32_t ask = std::min<uint32_t>(left, sizeof buffer);
        uint32_t got = 0;
        ASSERT_EQ(ft.FT_Read(handle, buffer, ask, &got), FT_OK);
        slices.push_back(got);
        text.append(buffer, got);
        left -= ask;
    }
    EXPECT_EQ(slices, (std::vector<uint32_t>{256, 256, 88}));
    EXPECT_EQ(text.substr(594), "v1013\r");

    write(handle, "V\r");
    EXPECT_EQ(ft.FT_Purge(handle, FT_PURGE_RX), FT_OK);
    EXPECT_EQ(ft.FT_GetQueueStatus(handle, &waiting), FT_OK);
    EXPECT_EQ(waiting, 0U);
}

TEST_F(FakeFtdi, TrafficFollowsTheManualClock) {
    ft.setNowUs(0);
    ASSERT_TRUE(engine().loadScenario("vehicle none\nframe 123 10ms 1 ++\n", nullptr));
    FT_HANDLE handle = open();
    ft.FT_SetTimeouts(handle, 10, 10);
    write(handle, "S6\rO\r");
    EXPECT_EQ(reply(handle) + reply(handle), "\r\r");
    ft.setNowUs(100 * kMs);
    uint32_t waiting = 0;
    ASSERT_EQ(ft.FT_GetQueueStatus(handle, &waiting), FT_OK);
    EXPECT_EQ(waiting, 11U * 8U); // frames at 0, 10, ..., 100 ms, "t12310NN\r" each
    EXPECT_EQ(reply(handle), "t123100\r");
}

TEST_F(FakeFtdi, AnUnpluggedDeviceFailsWithIoError) {
    FT_HANDLE handle = open();
    ft.vanish();
    char buffer[8];
    uint32_t n = 5;
    EXPECT_EQ(ft.FT_Write(handle, buffer, 2, &n), FT_IO_ERROR);
    EXPECT_EQ(n, 0U);
    EXPECT_EQ(ft.FT_Read(handle, buffer, 1, &n), FT_IO_ERROR);
    EXPECT_EQ(ft.FT_GetQueueStatus(handle, &n), FT_IO_ERROR);
    EXPECT_EQ(ft.FT_SetTimeouts(handle, 10, 10), FT_IO_ERROR);
    EXPECT_EQ(ft.FT_Close(handle), FT_OK);
    EXPECT_EQ(count(), 0U);
    FT_HANDLE again = nullptr;
    char serial[] = "KV000001";
    EXPECT_EQ(ft.FT_OpenEx(serial, FT_OPEN_BY_SERIAL_NUMBER, &again), FT_DEVICE_NOT_FOUND);
}

TEST_F(FakeFtdi, ChosenCallsCanBeMadeToFail) {
    FT_HANDLE handle = open();
    ft.failCall("FT_SetBaudRate", 7);
    EXPECT_EQ(ft.FT_SetBaudRate(handle, 57600), 7U);
    EXPECT_EQ(ft.lastBaudRate(), 0U);
    ft.failCall("FT_SetBaudRate", 0);
    EXPECT_EQ(ft.FT_SetBaudRate(handle, 57600), FT_OK);
    EXPECT_EQ(ft.FT_SetBaudRate(handle, 5), FT_INVALID_BAUD_RATE);
}

TEST_F(FakePcan, ReportsVersionsAsTheLibraryDoes) {
    char buffer[256];
    ASSERT_EQ(pc.CAN_GetValue(PCAN_NONEBUS, PCAN_API_VERSION, buffer, sizeof buffer), PCAN_ERROR_OK);
    EXPECT_STREQ(buffer, "4.7.0.3");
    // A buffer exactly as long as the text comes back without a NUL.
    char exact[8];
    std::memset(exact, 'X', sizeof exact);
    ASSERT_EQ(pc.CAN_GetValue(PCAN_NONEBUS, PCAN_API_VERSION, exact, 7), PCAN_ERROR_OK);
    EXPECT_EQ(std::string(exact, 8), "4.7.0.3X");
    EXPECT_EQ(pc.CAN_GetValue(PCAN_NONEBUS, PCAN_API_VERSION, exact, 5), PCAN_ERROR_ILLPARAMVAL);

    ASSERT_EQ(pc.CAN_GetValue(PCAN_USBBUS1, PCAN_CHANNEL_VERSION, buffer, sizeof buffer), PCAN_ERROR_OK);
    const std::string text = buffer;
    ASSERT_GE(text.find('\n'), 2U);
    EXPECT_EQ(text.substr(0, text.find('\n')), "PCAN-USB 8.15.2");
    EXPECT_EQ(pc.CAN_GetValue(PCAN_NONEBUS, PCAN_CHANNEL_VERSION, buffer, sizeof buffer),
              PCAN_ERROR_ILLHANDLE);
    EXPECT_EQ(pc.CAN_GetValue(PCAN_USBBUS1, 0x42, buffer, sizeof buffer), PCAN_ERROR_ILLPARAMTYPE);
    EXPECT_EQ(pc.CAN_GetValue(PCAN_USBBUS1, PCAN_CHANNEL_VERSION, nullptr, 256), PCAN_ERROR_ILLPARAMVAL);
}

TEST_F(FakePcan, InitializeRecordsTheBitTimingAndOpensOnce) {
    EXPECT_EQ(pc.lastInitBtr(), 0xFFFFFFFFU);
    EXPECT_EQ(pc.CAN_Initialize(0x52, 0x001C, 0, 0, 0), PCAN_ERROR_ILLHW);
    EXPECT_EQ(pc.CAN_Initialize(PCAN_USBBUS1, 0x031C, 0, 0, 0), PCAN_ERROR_OK);
    EXPECT_EQ(pc.lastInitBtr(), 0x031CU);
    EXPECT_EQ(pc.initialized(), 1);
    EXPECT_EQ(pc.CAN_Initialize(PCAN_USBBUS1, 0x001C, 0, 0, 0), PCAN_ERROR_INITIALIZE);
    EXPECT_EQ(pc.CAN_Uninitialize(PCAN_USBBUS1), PCAN_ERROR_OK);
    EXPECT_EQ(pc.CAN_Uninitialize(PCAN_USBBUS1), PCAN_ERROR_INITIALIZE);
    EXPECT_EQ(pc.CAN_GetStatus(PCAN_USBBUS1), PCAN_ERROR_INITIALIZE);

    pc.failInit(PCAN_ERROR_NODRIVER);
    EXPECT_EQ(pc.CAN_Initialize(PCAN_USBBUS1, 0x672F, 0, 0, 0), PCAN_ERROR_NODRIVER);
    EXPECT_EQ(pc.lastInitBtr(), 0x672FU);
    EXPECT_EQ(pc.initialized(), 0);
    EXPECT_THAT(pc.callLog(), HasSubstr("CAN_Initialize 0x51 0x672F 0 0 0 -> 0x200"));
}

TEST_F(FakePcan, ReadFillsTheMessageRecord) {
    ASSERT_TRUE(
        engine().loadScenario("vehicle none\nframe 001ABCDE 10ms 3 11 22 33\nremote 007 10ms 4\n", nullptr));
    TPCANMsg message{};
    EXPECT_EQ(pc.CAN_Read(PCAN_USBBUS1, &message, nullptr), PCAN_ERROR_INITIALIZE);
    ASSERT_EQ(pc.CAN_Initialize(PCAN_USBBUS1, 0x001C, 0, 0, 0), PCAN_ERROR_OK);
    TPCANTimestamp stamp{};
    ASSERT_EQ(pc.CAN_Read(PCAN_USBBUS1, &message, &stamp), PCAN_ERROR_OK);
    EXPECT_EQ(message.ID, 0x1ABCDEU);
    EXPECT_EQ(message.MSGTYPE, PCAN_MESSAGE_EXTENDED);
    EXPECT_EQ(message.LEN, 3);
    EXPECT_EQ(message.DATA[2], 0x33);
    EXPECT_EQ(message.DATA[3], 0);
    ASSERT_EQ(pc.CAN_Read(PCAN_USBBUS1, &message, nullptr), PCAN_ERROR_OK);
    EXPECT_EQ(message.ID, 0x7U);
    EXPECT_EQ(message.MSGTYPE, PCAN_MESSAGE_RTR);
    EXPECT_EQ(message.LEN, 4);
    EXPECT_EQ(pc.CAN_Read(PCAN_USBBUS1, &message, nullptr), PCAN_ERROR_QRCVEMPTY);

    pc.setNowUs(10'500);
    ASSERT_EQ(pc.CAN_Read(PCAN_USBBUS1, &message, &stamp), PCAN_ERROR_OK);
    EXPECT_EQ(stamp.millis, 10U);
    EXPECT_EQ(stamp.micros, 0U);
    EXPECT_EQ(pc.CAN_Read(PCAN_USBBUS1, nullptr, nullptr), PCAN_ERROR_ILLPARAMVAL);

    // The library's own message filter.
    ASSERT_EQ(pc.CAN_FilterMessages(PCAN_USBBUS1, 0x0, 0x7FF, PCAN_MODE_STANDARD), PCAN_ERROR_OK);
    pc.setNowUs(50'000);
    while (pc.CAN_Read(PCAN_USBBUS1, &message, nullptr) == PCAN_ERROR_OK) {
        EXPECT_EQ(message.ID, 0x7U);
    }
    uint32_t closed = PCAN_FILTER_CLOSE;
    ASSERT_EQ(pc.CAN_SetValue(PCAN_USBBUS1, PCAN_MESSAGE_FILTER, &closed, sizeof closed), PCAN_ERROR_OK);
    pc.setNowUs(100'000);
    EXPECT_EQ(pc.CAN_Read(PCAN_USBBUS1, &message, nullptr), PCAN_ERROR_QRCVEMPTY);
}

TEST_F(FakePcan, WriteReachesTheBusAndRemoteRequestsAreAnswered) {
    ASSERT_TRUE(engine().loadScenario("vehicle none\nanswer-rtr 7E0 2 AA BB\n", nullptr));
    TPCANMsg message{0x7E0, PCAN_MESSAGE_RTR, 4, {1, 2, 3, 4, 5, 6, 7, 8}};
    EXPECT_EQ(pc.CAN_Write(PCAN_USBBUS1, &message), PCAN_ERROR_INITIALIZE);
    ASSERT_EQ(pc.CAN_Initialize(PCAN_USBBUS1, 0x001C, 0, 0, 0), PCAN_ERROR_OK);
    ASSERT_EQ(pc.CAN_Write(PCAN_USBBUS1, &message), PCAN_ERROR_OK);
    const auto sent = engine().transmittedFrames();
    ASSERT_EQ(sent.size(), 1U);
    EXPECT_TRUE(sent[0].remote);
    EXPECT_EQ(sent[0].dlc, 4);
    TPCANMsg answer{};
    ASSERT_EQ(pc.CAN_Read(PCAN_USBBUS1, &answer, nullptr), PCAN_ERROR_OK);
    EXPECT_EQ(answer.ID, 0x7E0U);
    EXPECT_EQ(answer.MSGTYPE, PCAN_MESSAGE_STANDARD);
    EXPECT_EQ(answer.LEN, 2);
    EXPECT_EQ(answer.DATA[1], 0xBB);

    TPCANMsg bad{0x123, PCAN_MESSAGE_STANDARD, 9, {}};
    EXPECT_EQ(pc.CAN_Write(PCAN_USBBUS1, &bad), PCAN_ERROR_ILLPARAMVAL);
    bad = {0x800, PCAN_MESSAGE_STANDARD, 1, {}};
    EXPECT_EQ(pc.CAN_Write(PCAN_USBBUS1, &bad), PCAN_ERROR_ILLPARAMVAL);
    bad = {0x123, PCAN_MESSAGE_FD, 1, {}};
    EXPECT_EQ(pc.CAN_Write(PCAN_USBBUS1, &bad), PCAN_ERROR_ILLPARAMVAL);
    EXPECT_EQ(pc.CAN_Write(PCAN_USBBUS1, nullptr), PCAN_ERROR_ILLPARAMVAL);
}

TEST_F(FakePcan, AnUnpluggedAdapterFailsButCanBeReleased) {
    ASSERT_EQ(pc.CAN_Initialize(PCAN_USBBUS1, 0x001C, 0, 0, 0), PCAN_ERROR_OK);
    pc.vanish();
    TPCANMsg message{};
    EXPECT_EQ(pc.CAN_Read(PCAN_USBBUS1, &message, nullptr), PCAN_ERROR_ILLHW);
    EXPECT_EQ(pc.CAN_Write(PCAN_USBBUS1, &message), PCAN_ERROR_ILLHW);
    EXPECT_EQ(pc.CAN_GetStatus(PCAN_USBBUS1), PCAN_ERROR_ILLHW);
    EXPECT_EQ(pc.CAN_Uninitialize(PCAN_USBBUS1), PCAN_ERROR_OK);
    EXPECT_EQ(pc.CAN_Initialize(PCAN_USBBUS1, 0x001C, 0, 0, 0), PCAN_ERROR_ILLHW);
}

TEST_F(FakePcan, StatusShowsALateReaderOnceAndErrorsHaveTexts) {
    engine().setRate(100'000);
    ASSERT_EQ(pc.CAN_Initialize(PCAN_USBBUS1, 0x001C, 0, 0, 0), PCAN_ERROR_OK);
    EXPECT_EQ(pc.CAN_GetStatus(PCAN_USBBUS1), PCAN_ERROR_OK);
    pc.setNowUs(1'000'000);
    EXPECT_EQ(pc.CAN_GetStatus(PCAN_USBBUS1), PCAN_ERROR_QOVERRUN);
    EXPECT_EQ(pc.CAN_GetStatus(PCAN_USBBUS1), PCAN_ERROR_OK);
    EXPECT_EQ(engine().pendingBinaryFrames(), AdapterEngine::kMaxBinaryQueue);

    char text[256];
    ASSERT_EQ(pc.CAN_GetErrorText(PCAN_ERROR_QRCVEMPTY, 0x09, text), PCAN_ERROR_OK);
    EXPECT_STREQ(text, "Receive queue is empty");
    EXPECT_EQ(pc.CAN_GetErrorText(PCAN_ERROR_BUSOFF | PCAN_ERROR_QRCVEMPTY, 0x09, text),
              PCAN_ERROR_ILLPARAMVAL);
}

TEST(FakeLibraries, EachLibraryKeepsItsOwnAdapter) {
    Ftdi::get().reset();
    Pcan::get().reset();
    EXPECT_NE(Ftdi::get().engine(), Pcan::get().engine());
    EXPECT_NE(Ftdi::get().engine(), nullptr);
}

#endif
