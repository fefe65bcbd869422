// Everything one session puts on the wire of each kind of link, against a recording kept under tests/golden:
// the connection sequence, transmit rows, remote-request answers, triggers, replayed lines, the acceptance
// filter, Reset and disconnect, with every message and status text shown on the way. The serial kind runs
// through a pseudo-terminal to the virtual adapter, FTDI and PEAK through the fake vendor libraries, the CAN
// interface through the socket-pair seam. KORVEL_WRITE_GOLDEN=1 rewrites the recording instead.

#include "core/basGlobal.h"
#include "receive/monitorModel.h"
#include "receive/receivePoll.h"
#include "support/linkFixture.h"
#include "support/socketPairSeam.h"
#include "traces/replay.h"
#include "transmit/transmitList.h"

#include <QCoreApplication>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>

using namespace korvel;
using korvel::test::fakeControl;

namespace {

std::filesystem::path goldenPath(int kind) {
    return std::filesystem::path(KORVEL_TEST_SOURCE_DIR) / "golden" /
           (std::string("linkWire-") + kDeviceNames[static_cast<std::size_t>(kind)] + ".txt");
}

std::string hexBytes(const void* bytes, std::size_t size) {
    std::string out;
    char pair[4];
    for (std::size_t i = 0; i < size; ++i) {
        std::snprintf(pair, sizeof pair, "%02X", static_cast<const uint8_t*>(bytes)[i]);
        out += pair;
    }
    return out;
}

class LinkWireGoldenTest : public test::LinkFixture, public ::testing::WithParamInterface<int> {
protected:
    void SetUp() override {
        LinkFixture::SetUp();
        if (GetParam() == deviceSocketCan) {
            basGlobal.deviceKind = deviceSocketCan;
            basGlobal.comPort = "vcan0";
        } else {
            useDevice(GetParam());
        }
        basGlobal.discreteFilterText = "0";
        list.setHooks({[this](std::string_view id, std::string_view dlc, std::string_view data, int tag) {
            return link->transmit(id, dlc, data, tag);
        }});
        ReceiveHooks hooks;
        hooks.answerRemoteRequest = [this](std::string_view id) {
            list.answerRemoteRequest(id);
        };
        hooks.checkTriggers = [this](std::string_view id, std::string_view data) {
            list.checkTriggers(id, data);
        };
        hooks.appendTracerText = [this](std::string_view text) {
            // A socket's receive time is the real clock's: the line is kept from its identifier on.
            out << "tracer:" << text.substr(text.find(' '));
        };
        hooks.secondsSinceMidnight = [] {
            return 3723.25;
        };
        poll = std::make_unique<ReceivePoll>(basGlobal, link->transport(), monitor, std::move(hooks));
        if (GetParam() == deviceUsb)
            fakeControl<void (*)()>("libftd2xx.so", "korvelFakeFtdi_clearCallLog")();
        if (GetParam() == devicePeakUsb)
            fakeControl<void (*)()>("libpcanbasic.so", "korvelFakePcan_clearCallLog")();
    }

    void addRow(const std::string& id, const std::string& dlc, const std::string& data,
                const std::string& mode = "off", const std::string& triggerId = {},
                const std::string& triggerData = {}) {
        list.addTxRow();
        list.editSelected([&](TxRow& r) {
            r.id = id;
            r.dlc = dlc;
            r.data = data;
            r.mode = mode;
            r.triggerId = triggerId;
            r.triggerData = triggerData;
        });
    }

    // Writes what reached the wire and the user since the last step under the step's name.
    void step(const std::string& name) {
        for (int i = 0; i < 20; ++i)
            QCoreApplication::processEvents(QEventLoop::AllEvents, 2);
        out << "== " << name << "\n";
        for (const QString& m : prompts.log.messages.mid(promptsSeen))
            out << "message: " << m.toStdString() << "\n";
        promptsSeen = static_cast<int>(prompts.log.messages.size());
        for (const QString& p : window.panel1.mid(panelSeen))
            out << "panel1: " << p.toStdString() << "\n";
        panelSeen = static_cast<int>(window.panel1.size());
        out << "panel2: " << window.panel2.toStdString() << " | connected " << basGlobal.isConnected << "\n";
        switch (GetParam()) {
        case deviceCom:
        case deviceUsb:
            for (const std::string& line : engine().commandLog())
                out << "line: " << line << "\n";
            engine().clearCommandLog();
            break;
        case deviceSocketCan: {
            can_frame frame{};
            // After a disconnect the peer reads the end of the stream, which is no record.
            while (bus.peer >= 0 && ::recv(bus.peer, &frame, sizeof frame, MSG_DONTWAIT) == sizeof frame)
                out << "record: " << hexBytes(&frame, sizeof frame) << "\n";
            for (const auto& o : bus.options)
                out << "option " << o.option << ": " << hexBytes(o.value.data(), o.value.size()) << "\n";
            bus.options.clear();
            break;
        }
        default:
            break;
        }
        if (GetParam() == deviceUsb || GetParam() == devicePeakUsb) {
            const bool ftdi = GetParam() == deviceUsb;
            const char* log =
                ftdi ? fakeControl<const char* (*)()>("libftd2xx.so", "korvelFakeFtdi_callLog")()
                     : fakeControl<const char* (*)()>("libpcanbasic.so", "korvelFakePcan_callLog")();
            std::istringstream calls(log ? log : "");
            for (std::string call; std::getline(calls, call);)
                if (call.rfind("FT_GetQueueStatus", 0) != 0 && call.rfind("FT_Read", 0) != 0 &&
                    call.rfind("CAN_Read", 0) != 0)
                    out << "call: " << call << "\n";
            fakeControl<void (*)()>(ftdi ? "libftd2xx.so" : "libpcanbasic.so",
                                    ftdi ? "korvelFakeFtdi_clearCallLog" : "korvelFakePcan_clearCallLog")();
        }
        if (GetParam() != deviceSocketCan) {
            const auto frames = engine().transmittedFrames();
            for (std::size_t i = framesSeen; i < frames.size(); ++i) {
                const sim::SimFrame& f = frames[i];
                out << "bus: " << std::hex << f.id << std::dec << (f.extended ? " ext" : "")
                    << (f.remote ? " rtr" : "") << " " << int{f.dlc} << " " << hexBytes(f.data.data(), 8)
                    << "\n";
            }
            framesSeen = frames.size();
        }
        std::string rows;
        for (int r = 0; r < list.rowCount(); ++r)
            rows += " " + list.row(r).count;
        out << "counts:" << rows << "\n";
    }

    bool replay(const char* line) {
        const auto frame = parseTraceLine(line);
        EXPECT_TRUE(frame) << line;
        return frame && sendTraceFrame(link->transport(), link->transport().deviceKind(), *frame);
    }

    test::SocketPairSeam bus;
    TransmitList list{basGlobal};
    MonitorModel monitor;
    std::unique_ptr<ReceivePoll> poll;
    std::ostringstream out;
    int promptsSeen = 0;
    int panelSeen = 0;
    std::size_t framesSeen = 0;
};

} // namespace

TEST_P(LinkWireGoldenTest, OneSessionPutsTheRecordedBytesOnTheWire) {
    addRow("7FF", "8", "01 02 03 04 05 06 07 08");
    addRow("1ABCDEF0", "2", "AA BB");
    addRow("123", "0", "RTR");
    addRow("00000456", "4", "RTR");
    addRow("0aB", "1", "cd");
    addRow("321", "3", "0A 0B 0C", "RTR");
    addRow("654", "2", "77 88", "Trigger", "111", "22 **");
    addRow("1FFFFFFF", "0", "", "Trigger", "111", "** **");

    link->connectCommand();
    step("connect");
    for (int row = 1; row <= 5; ++row)
        list.transmitRow(row);
    step("transmit rows");
    list.answerRemoteRequest("321");
    step("remote request answered");
    list.checkTriggers("111", "22 33");
    step("triggers");
    EXPECT_TRUE(replay("12.345 1ABCDEF0 2 11 22     "));
    EXPECT_TRUE(replay("12.400 123 0 RTR"));
    EXPECT_TRUE(replay("12.450 00000456 3 RTR"));
    EXPECT_TRUE(replay("12.500 7ff 8 01 02 03 04 05 06 07 0a comment"));
    step("replay");

    if (GetParam() == deviceSocketCan) {
        // The receive poll hands a remote request and a trigger frame to the transmit list.
        basGlobal.txAnyRtrMode = true;
        basGlobal.txAnyTriggerMode = true;
        bus.send(0x321 | CAN_RTR_FLAG, {}, 3);
        bus.send(0x111, {0x22, 0x44});
        QCoreApplication::processEvents();
        EXPECT_TRUE(poll->poll());
        basGlobal.isRecording = true;
        bus.send(0x1ABCDEF0 | CAN_EFF_FLAG, {0x01});
        QCoreApplication::processEvents();
        EXPECT_TRUE(poll->poll());
        basGlobal.isRecording = false;
        step("received and answered");
        basGlobal.setOption(optListenOnly, true);
        list.transmitRow(1);
        basGlobal.setOption(optListenOnly, false);
        step("listen only holds rows back");
    }

    basGlobal.setOption(optMaskFilter, true);
    basGlobal.acceptanceMaskText = "000000FF";
    basGlobal.acceptanceCodeText = "00000100";
    basGlobal.acceptanceMaskInv = ~0xFF;
    basGlobal.acceptanceCodeMasked = 0x100;
    link->applyAcceptanceFilter();
    step("acceptance filter");
    link->resetLink();
    step("reset");
    list.transmitRow(1);
    step("transmit after reset");
    link->connectCommand();
    step("disconnect");
    list.transmitRow(1);
    step("nothing sent while disconnected");

    const std::filesystem::path path = goldenPath(GetParam());
    if (std::getenv("KORVEL_WRITE_GOLDEN") != nullptr) {
        std::ofstream(path, std::ios::binary) << out.str();
        GTEST_SKIP() << "wrote " << path;
    }
    std::ifstream file(path, std::ios::binary);
    ASSERT_TRUE(file) << path;
    std::ostringstream golden;
    golden << file.rdbuf();
    EXPECT_EQ(out.str(), golden.str());
}

INSTANTIATE_TEST_SUITE_P(AllKinds, LinkWireGoldenTest,
                         ::testing::Values(deviceCom, deviceUsb, devicePeakUsb, deviceSocketCan),
                         [](const auto& info) { return std::string(kDeviceNames[info.param]); });
