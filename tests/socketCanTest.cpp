// CAN network interfaces on plain data: the frame records both ways, the socket filter against the receive
// path's own mask test, the interfaces read from a folder laid out like the system's, the device texts, and
// the stored device kind. Last, what this system itself says.

#include "link/socketCan.h"
#include "core/basGlobal.h"
#include "core/iniFile.h"
#include "filters/filterTests.h"
#include "link/canInterfaceBitrate.h"
#include "link/canInterfaces.h"
#include "link/deviceChoice.h"
#include "link/socketCanFrame.h"
#include "settings/settingsStore.h"
#include "support/tempDir.h"

#include <QDir>
#include <QFile>

#include <gmock/gmock.h>

#include <linux/can/netlink.h>
#include <linux/if_link.h>
#include <linux/rtnetlink.h>

#include <cstring>

using namespace korvel;
using ::testing::AnyOf;
using ::testing::ElementsAre;

namespace {

ReceivedCanFrame received(uint32_t canId, std::vector<uint8_t> data, uint8_t len, double seconds = 0) {
    ReceivedCanFrame r;
    r.wire.canId = canId;
    r.wire.len = len;
    for (std::size_t i = 0; i < data.size() && i < 8; ++i)
        r.wire.data[i] = data[i];
    r.secondsSinceMidnight = seconds;
    return r;
}

void writeFile(const std::string& path, const char* text) {
    QFile file(QString::fromStdString(path));
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.write(text);
}

} // namespace

TEST(SocketCanFrame, ReceivedRecordsGiveTheTextsOfTheOtherBinaryKind) {
    const CanFrame standard = frameFromSocketCan(received(0x123, {0x11, 0xa2}, 2), '.');
    EXPECT_EQ(standard.idText, "123");
    EXPECT_FALSE(standard.isExtended);
    EXPECT_EQ(standard.dlc, 2);
    EXPECT_EQ(standard.dataText, "11 A2");

    const CanFrame seven = frameFromSocketCan(received(0x7, {}, 0), '.');
    EXPECT_EQ(seven.idText, "007");
    EXPECT_EQ(seven.dataText, "");

    const CanFrame extended = frameFromSocketCan(received(kCanEffFlag | 0x1ABCDE, {1, 2, 3}, 3), '.');
    EXPECT_EQ(extended.idText, "001ABCDE");
    EXPECT_TRUE(extended.isExtended);
    EXPECT_EQ(extended.dataText, "01 02 03");

    const CanFrame remote = frameFromSocketCan(received(kCanRtrFlag | 0x7FF, {9, 9}, 4), '.');
    EXPECT_TRUE(remote.isRemote);
    EXPECT_EQ(remote.dlc, 4);
    EXPECT_EQ(remote.dataText, "RTR");

    // A length past 8 on the wire never reads past the eight data bytes.
    const CanFrame longLength = frameFromSocketCan(received(0x100, {1, 2, 3, 4, 5, 6, 7, 8}, 15), '.');
    EXPECT_EQ(longLength.dlc, 8);
    EXPECT_EQ(longLength.dataText, "01 02 03 04 05 06 07 08");
}

TEST(SocketCanFrame, ReceiveTimesLikeThePcClockKind) {
    // 01:02:03.4567 after midnight: 3723457 ms; the Monitor wraps at 60 s, the Tracer shows seconds mod 100.
    const CanFrame frame = frameFromSocketCan(received(0x1, {}, 0, 3723.4567), ',');
    EXPECT_EQ(frame.timestampMs, 3457);
    EXPECT_EQ(frame.timestampText, "23,457");
}

TEST(SocketCanFrame, TransmitRowsBecomeKernelRecords) {
    CanWireFrame frame;
    ASSERT_TRUE(wireFrameFromRow("7FF", "8", "01 02 03 04 05 06 07 08", frame));
    EXPECT_EQ(frame.canId, 0x7FFu);
    EXPECT_EQ(frame.len, 8);
    EXPECT_THAT(frame.data, ElementsAre(1, 2, 3, 4, 5, 6, 7, 8));

    ASSERT_TRUE(wireFrameFromRow("1ABCDE00", "2", "AA BB", frame));
    EXPECT_EQ(frame.canId, kCanEffFlag | 0x1ABCDE00u);
    EXPECT_EQ(frame.len, 2);

    // A remote row keeps its DLC as the request's length and carries no data.
    ASSERT_TRUE(wireFrameFromRow("123", "3", "RTR", frame));
    EXPECT_EQ(frame.canId, kCanRtrFlag | 0x123u);
    EXPECT_EQ(frame.len, 3);
    EXPECT_THAT(frame.data, ElementsAre(0, 0, 0, 0, 0, 0, 0, 0));

    ASSERT_TRUE(wireFrameFromRow("123", "12", "01 02 03 04 05 06 07 08", frame));
    EXPECT_EQ(frame.len, 8);

    // An identifier too large for its kind is not sent as a different one.
    EXPECT_FALSE(wireFrameFromRow("800", "0", "", frame));
    EXPECT_FALSE(wireFrameFromRow("20000000", "0", "", frame));
    EXPECT_FALSE(wireFrameFromRow("", "0", "", frame));
}

TEST(SocketCanFrame, KernelFilterNeverDropsWhatTheMaskTestPasses) {
    EXPECT_EQ(socketCanFilter(false, 0x12345678, 0x1234).canMask, 0u);

    struct Registers {
        const char* mask;
        const char* code;
    };
    for (const Registers r : {Registers{"000000FF", "00000100"}, Registers{"00000000", "00000123"},
                              Registers{"FFFFFFFF", "00000000"}, Registers{"1FFFF800", "E0000456"},
                              Registers{"000007FF", "1ABCD800"}}) {
        GlobalState state;
        state.acceptanceMaskText = r.mask;
        state.acceptanceCodeText = r.code;
        computeFilterValues(state);
        const SocketCanFilter filter =
            socketCanFilter(true, state.acceptanceMaskInv, state.acceptanceCodeMasked);
        for (const uint32_t id :
             {0x000u, 0x0FFu, 0x100u, 0x123u, 0x1FFu, 0x200u, 0x456u, 0x7FFu, 0x1ABCD823u, 0x1FFFFFFFu}) {
            for (const bool extended : {false, true}) {
                if (!extended && id > kCanSffMask)
                    continue;
                const CanFrame frame =
                    frameFromSocketCan(received((extended ? kCanEffFlag : 0) | id, {}, 0), '.');
                const bool userSpace = maskFilterPasses(frame.idText.view(), deviceSocketCan, optMaskFilter,
                                                        state.acceptanceMaskInv, state.acceptanceCodeMasked);
                const uint32_t wireId = (extended ? kCanEffFlag : 0) | id;
                const bool kernel = (wireId & filter.canMask) == (filter.canId & filter.canMask);
                if (userSpace) {
                    EXPECT_TRUE(kernel) << r.mask << " " << r.code << " " << std::hex << wireId;
                }
            }
        }
    }
    // The mask test of the receive path decides for this kind, as for PEAK.
    EXPECT_FALSE(maskFilterPasses("200", deviceSocketCan, optMaskFilter, ~0xFF, 0x100));
    EXPECT_TRUE(maskFilterPasses("1AB", deviceSocketCan, optMaskFilter, ~0xFF, 0x100));
}

TEST(CanInterfaces, OnlyInterfacesOfTheCanTypeAreListed) {
    test::TempDir tmp;
    const std::string root = tmp.dir.path().toStdString();
    const auto add = [&](const char* name, const char* type) {
        ASSERT_TRUE(QDir(tmp.dir.path()).mkpath(QString::fromLatin1(name)));
        if (type)
            writeFile(root + "/" + name + "/type", type);
    };
    add("vcan0", "280\n");
    add("can0", "280\n");
    add("slcan0", "280");
    add("eth0", "1\n");
    add("lo", "772\n");
    add("can1", nullptr);                  // no type file
    add("can2", "280 junk\n");             // not a number
    add("can3", "2800\n");                 // another type
    add("can4", "");                       // empty
    add("averyveryverylongname", "280\n"); // longer than the kernel allows
    writeFile(root + "/can5", "280\n");    // a file, not an interface folder

    EXPECT_THAT(listCanInterfaces(root), ElementsAre("can0", "slcan0", "vcan0"));
    EXPECT_TRUE(listCanInterfaces(root + "/missing").empty());
}

TEST(CanInterfaces, NamesTheKernelWouldRefuseAreRefused) {
    for (const char* good : {"can0", "vcan0", "slcan_bus-1.2", "abcdefghijklmno", "\xc3\xa9t\xc3\xa9"})
        EXPECT_TRUE(isValidInterfaceName(good)) << good;
    for (const char* bad : {"", ".", "..", "abcdefghijklmnop", "can 0", "can/0", "can:0", "can\t0", "can\n"})
        EXPECT_FALSE(isValidInterfaceName(bad)) << bad;
}

TEST(CanInterfaces, DeviceTextsCannotBeMistakenForTheOtherKinds) {
    EXPECT_EQ(socketCanDeviceText("can0"), "SocketCAN can0");
    EXPECT_EQ(deviceText(deviceSocketCan, "vcan0"), "SocketCAN vcan0");

    const DeviceChoice chosen = chooseDevice("SocketCAN vcan0");
    EXPECT_EQ(chosen.deviceKind, deviceSocketCan);
    EXPECT_EQ(chosen.comPort, "vcan0");
    // Interfaces named like the other kinds stay interfaces, with their name's case.
    EXPECT_EQ(chooseDevice("SocketCAN COM1").comPort, "COM1");
    EXPECT_EQ(chooseDevice("socketcan peakusb0").deviceKind, deviceSocketCan);
    EXPECT_FALSE(isSerialDeviceText("SocketCAN COM1"));

    // USB adapters whose description mentions CAN stay USB adapters.
    EXPECT_EQ(chooseDevice("Virtual CAN KV01").deviceKind, deviceUsb);
    EXPECT_EQ(chooseDevice("SocketCAN Adapter A1B2").deviceKind, deviceUsb);
    EXPECT_EQ(chooseDevice("CAN can0").deviceKind, deviceUsb);
    EXPECT_EQ(chooseDevice("PEAKUSB").deviceKind, devicePeakUsb);
}

TEST(CanInterfaces, TheKindIsStoredAsDeviceFourWithTheInterfaceInComport) {
    GlobalState state;
    state.deviceKind = deviceSocketCan;
    state.comPort = "vcan0";
    IniDocument ini;
    saveSettingsTo(ini, state, {});
    EXPECT_EQ(ini.value("Options", "Device"), "4");
    EXPECT_EQ(ini.value("Options", "Comport"), "vcan0");

    GlobalState loaded;
    loadSettingsFrom(ini, loaded);
    EXPECT_EQ(loaded.deviceKind, deviceSocketCan);
    EXPECT_EQ(loaded.comPort, "vcan0");

    loadSettingsFrom(IniDocument("[Options]\nDevice=5\n"), loaded);
    EXPECT_EQ(loaded.deviceKind, deviceNone);
}

// What this system says, through the real calls: no seam.
TEST(CanInterfaces, ThisSystemsOwnAnswer) {
    const bool kernelHasCan = QFile::exists(QStringLiteral("/proc/net/can"));
    if (!kernelHasCan) {
        EXPECT_TRUE(listCanInterfaces().empty());
        std::vector<std::string> entries;
        appendSocketCanDevices(entries);
        EXPECT_TRUE(entries.empty());
    }
    SocketCanLink link;
    QString reason;
    // "lo" exists everywhere and is no CAN interface.
    EXPECT_FALSE(link.open("lo", {}, reason));
    if (!kernelHasCan)
        EXPECT_EQ(reason, "This system has no SocketCAN support");
    else
        EXPECT_THAT(reason.toStdString(), AnyOf("No such CAN interface", "The interface is down"));
    EXPECT_FALSE(link.open("nosuchcan7", {}, reason));
    EXPECT_THAT(reason.toStdString(), AnyOf("This system has no SocketCAN support", "No such CAN interface"));
    EXPECT_FALSE(link.isOpen());
}

TEST(CanInterfaces, TheBitrateIsReadFromTheKernelsLinkMessageWithinItsBytes) {
    // A link message as the routing socket answers: header, interface record, then the link information
    // nesting the CAN data, which holds the bit timing (bitrate first).
    std::vector<uint8_t> message(NLMSG_LENGTH(sizeof(ifinfomsg)));
    const auto put = [&message](std::vector<uint8_t>& out, uint16_t type,
                                const std::vector<uint8_t>& payload) {
        (void)message;
        rtattr header{};
        header.rta_len = static_cast<uint16_t>(RTA_LENGTH(payload.size()));
        header.rta_type = type;
        const auto* bytes = reinterpret_cast<const uint8_t*>(&header);
        out.insert(out.end(), bytes, bytes + sizeof header);
        out.insert(out.end(), payload.begin(), payload.end());
        out.resize(RTA_ALIGN(out.size()));
    };
    can_bittiming timing{};
    timing.bitrate = 500000;
    timing.sample_point = 875;
    const auto* timingBytes = reinterpret_cast<const uint8_t*>(&timing);
    std::vector<uint8_t> canData;
    put(canData, IFLA_CAN_STATE, {0, 0, 0, 0});
    put(canData, IFLA_CAN_BITTIMING, std::vector<uint8_t>(timingBytes, timingBytes + sizeof timing));
    std::vector<uint8_t> linkInfo;
    put(linkInfo, IFLA_INFO_KIND, {'c', 'a', 'n', 0});
    put(linkInfo, IFLA_INFO_DATA, canData);
    put(message, IFLA_MTU, {16, 0, 0, 0});
    put(message, IFLA_LINKINFO, linkInfo);
    nlmsghdr header{};
    header.nlmsg_len = static_cast<uint32_t>(message.size());
    header.nlmsg_type = RTM_NEWLINK;
    std::memcpy(message.data(), &header, sizeof header);
    EXPECT_EQ(bitrateFromLinkMessage(message), 500000u);

    // Cut anywhere, or with a length that claims more than there is: nothing, and nothing read past it.
    for (std::size_t cut = 0; cut < message.size(); cut += 3) {
        std::vector<uint8_t> shorter(message.begin(), message.begin() + static_cast<std::ptrdiff_t>(cut));
        EXPECT_FALSE(bitrateFromLinkMessage(shorter)) << cut;
    }
    // A virtual interface has no bit timing: unknown, not 0.
    std::vector<uint8_t> virtualLink(message.begin(), message.begin() + NLMSG_LENGTH(sizeof(ifinfomsg)));
    put(virtualLink, IFLA_MTU, {16, 0, 0, 0});
    header.nlmsg_len = static_cast<uint32_t>(virtualLink.size());
    std::memcpy(virtualLink.data(), &header, sizeof header);
    EXPECT_FALSE(bitrateFromLinkMessage(virtualLink));
    EXPECT_FALSE(canInterfaceBitrate("nosuchcan9"));
    EXPECT_FALSE(canInterfaceBitrate("lo")); // asked and answered, but no CAN interface
}
