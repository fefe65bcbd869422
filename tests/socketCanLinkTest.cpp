// A CAN network interface through the socket-pair seam: connecting, the open messages, the frames transmit
// rows write, the receive poll with its filters, answers and triggers, error frames, and the ways a link
// goes down. Only socket creation, binding and the CAN-only socket options are replaced.

#include "core/basGlobal.h"
#include "link/connection.h"
#include "link/socketCan.h"
#include "link/transport.h"
#include "receive/monitorFold.h"
#include "receive/monitorModel.h"
#include "receive/receivePoll.h"
#include "support/linkFixture.h"
#include "support/socketPairSeam.h"
#include "traces/replay.h"
#include "traces/traceLine.h"

#include <QAbstractItemModelTester>
#include <QCoreApplication>
#include <QSignalSpy>
#include <QTime>

#include <gmock/gmock.h>

#include <linux/can/error.h>

#include <sstream>

using namespace korvel;
using ::testing::ElementsAre;

namespace {

void pumpEvents(int rounds = 10) {
    for (int i = 0; i < rounds; ++i)
        QCoreApplication::processEvents(QEventLoop::AllEvents, 2);
}

struct RowView {
    std::string id;
    int dlc;
    std::string data;
    uint64_t count;
    bool operator==(const RowView&) const = default;
    friend std::ostream& operator<<(std::ostream& out, const RowView& r) {
        return out << r.id << "/" << r.dlc << "/" << r.data << "/" << r.count;
    }
};

class SocketCanLinkTest : public test::LinkFixture {
protected:
    void SetUp() override {
        LinkFixture::SetUp();
        basGlobal.deviceKind = deviceSocketCan;
        basGlobal.comPort = "vcan0";
        basGlobal.discreteFilterText = "0";
        rowLastTimesPeak.clear();
        ReceiveHooks hooks;
        hooks.checkTriggers = [this](std::string_view id, std::string_view data) {
            triggers.push_back(std::string(id) + ":" + std::string(data));
        };
        hooks.answerRemoteRequest = [this](std::string_view id) {
            remoteRequests.emplace_back(id);
        };
        hooks.appendTracerText = [this](std::string_view text) {
            tracer += text;
        };
        poll = std::make_unique<ReceivePoll>(basGlobal, link->transport(), monitor, std::move(hooks));
    }

    void connect() {
        link->connectLink();
        ASSERT_TRUE(basGlobal.isConnected);
    }
    std::vector<RowView> rows() const {
        std::vector<RowView> out;
        for (int r = 0; r < monitor.rowCount(); ++r) {
            const MonitorRow* row = monitor.rowAt(r);
            out.push_back({row->id, row->dlc, row->data, row->count});
        }
        return out;
    }

    test::SocketPairSeam bus;
    MonitorModel monitor;
    QAbstractItemModelTester tester{&monitor, QAbstractItemModelTester::FailureReportingMode::Fatal};
    std::unique_ptr<ReceivePoll> poll;
    std::vector<std::string> triggers;
    std::vector<std::string> remoteRequests;
    std::string tracer;
};

} // namespace

TEST_F(SocketCanLinkTest, ConnectingBindsTheInterfaceAndSaysWhoSetsTheBitrate) {
    basGlobal.canBitrateIndex = 4;
    connect();
    EXPECT_THAT(bus.opened, ElementsAre("vcan0"));
    EXPECT_TRUE(window.pollTimer);
    EXPECT_EQ(window.panel1.last(), "Connected to vcan0");
    EXPECT_EQ(window.panel2, "Bitrate and listen-only: set by the system");
    EXPECT_TRUE(prompts.log.messages.isEmpty());

    // Every error class is asked for (bus-off ends the link, the rest are counted); the filter passes
    // everything while the mask is off.
    ASSERT_GE(bus.options.size(), 2u);
    EXPECT_EQ(bus.options[0].option, CAN_RAW_ERR_FILTER);
    can_err_mask_t errors = 0;
    std::memcpy(&errors, bus.options[0].value.data(), sizeof errors);
    EXPECT_EQ(errors, static_cast<can_err_mask_t>(CAN_ERR_MASK));
    EXPECT_EQ(bus.lastFilter().can_mask, 0u);

    link->disconnectLink();
    EXPECT_FALSE(basGlobal.isConnected);
    can_frame frame{};
    EXPECT_EQ(::recv(bus.peer, &frame, sizeof frame, MSG_DONTWAIT), 0); // Korvel's end is closed
}

TEST_F(SocketCanLinkTest, TheMaskReachesTheSocketAtConnectAndWhenTheFilterChanges) {
    basGlobal.setOption(optMaskFilter, true);
    basGlobal.acceptanceMaskInv = ~0x0FF;
    basGlobal.acceptanceCodeMasked = 0x100;
    connect();
    EXPECT_EQ(bus.lastFilter().can_id, 0x100u);
    EXPECT_EQ(bus.lastFilter().can_mask, 0x1FFFFF00u);

    basGlobal.setOption(optMaskFilter, false);
    link->applyAcceptanceFilter();
    EXPECT_EQ(bus.lastFilter().can_mask, 0u);
}

TEST_F(SocketCanLinkTest, AnInterfaceThatCannotBeOpenedGivesTheUsualMessage) {
    struct Case {
        std::string name;
        int error;
        const char* message;
    };
    for (const Case& c :
         {Case{"can7", ENODEV, "Can't open Device SocketCAN can7!\r\nNo such CAN interface"},
          Case{"can0", EAFNOSUPPORT,
               "Can't open Device SocketCAN can0!\r\nThis system has no SocketCAN support"},
          Case{"can1", ENETDOWN, "Can't open Device SocketCAN can1!\r\nThe interface is down"},
          Case{"can0/../x", 0, "Can't open Device SocketCAN can0/../x!\r\nNot a valid interface name"},
          Case{"", 0, "Can't open Device SocketCAN !\r\nNo interface selected"}}) {
        prompts.log.messages.clear();
        bus.opened.clear();
        bus.failWith = c.error;
        basGlobal.comPort = c.name;
        link->connectLink();
        EXPECT_FALSE(basGlobal.isConnected) << c.name;
        EXPECT_FALSE(window.pollTimer);
        EXPECT_EQ(window.panel1.last(), "Not Connected");
        EXPECT_THAT(prompts.log.messages, ElementsAre(QString::fromStdString(c.message)));
        // Names the kernel would refuse never reach the system.
        EXPECT_EQ(bus.opened.size(), c.error != 0 ? 1u : 0u) << c.name;
    }
}

TEST_F(SocketCanLinkTest, TransmitRowsWriteKernelRecords) {
    connect();
    EXPECT_TRUE(link->transmit("123", "2", "11 22"));
    EXPECT_TRUE(link->transmit("1ABCDE00", "8", "01 02 03 04 05 06 07 08"));
    EXPECT_TRUE(link->transmit("7FF", "4", "RTR"));
    link->transmit("800", "1", "01"); // too large for a standard identifier: not sent

    can_frame frame{};
    ASSERT_TRUE(bus.receive(frame));
    EXPECT_EQ(frame.can_id, 0x123u);
    EXPECT_EQ(frame.len, 2);
    EXPECT_EQ(frame.data[0], 0x11);
    EXPECT_EQ(frame.data[1], 0x22);
    ASSERT_TRUE(bus.receive(frame));
    EXPECT_EQ(frame.can_id, CAN_EFF_FLAG | 0x1ABCDE00u);
    EXPECT_EQ(frame.len, 8);
    EXPECT_EQ(frame.data[7], 0x08);
    ASSERT_TRUE(bus.receive(frame));
    EXPECT_EQ(frame.can_id, CAN_RTR_FLAG | 0x7FFu);
    EXPECT_EQ(frame.len, 4);
    EXPECT_FALSE(bus.receive(frame));

    // Reset closes and reopens the socket; frames go to the new one.
    link->resetLink();
    EXPECT_EQ(bus.opened.size(), 2u);
    EXPECT_TRUE(basGlobal.isConnected);
    link->transmit("321", "0", "");
    ASSERT_TRUE(bus.receive(frame));
    EXPECT_EQ(frame.can_id, 0x321u);
}

// The interface is not put in listen-only mode by Korvel, so Korvel's own Listen Only keeps every frame back.
TEST_F(SocketCanLinkTest, ListenOnlySendsNothingOnAnInterface) {
    basGlobal.setOption(optListenOnly, true);
    connect();
    EXPECT_FALSE(link->transmit("123", "1", "01"));
    can_frame frame{};
    EXPECT_FALSE(bus.receive(frame));
    basGlobal.setOption(optListenOnly, false);
    EXPECT_TRUE(link->transmit("123", "1", "01"));
    EXPECT_TRUE(bus.receive(frame));
}

// With nobody on the bus to take them, the kernel's queue fills; a frame it drops is not counted as sent.
TEST_F(SocketCanLinkTest, AFrameTheFullQueueDropsIsNotReportedAsSent) {
    connect();
    int accepted = 0;
    while (link->transmit("123", "1", "01") && accepted < 1000000)
        ++accepted;
    ASSERT_LT(accepted, 1000000);
    EXPECT_TRUE(basGlobal.isConnected);
    int arrived = 0;
    can_frame frame{};
    while (bus.receive(frame))
        ++arrived;
    EXPECT_EQ(arrived, accepted);
    EXPECT_TRUE(link->transmit("123", "1", "01")); // room again
}

// Replayed Tracer lines reach the interface as the same frames the transmit rows write.
TEST_F(SocketCanLinkTest, ReplayedLinesWriteKernelRecords) {
    connect();
    for (const char* line : {"00.000 1ABCDEF0 2 0A 0B", "00.500 7FF      0 RTR", "01.000 012      1 FF"}) {
        const auto frame = parseTraceLine(line);
        ASSERT_TRUE(frame) << line;
        EXPECT_TRUE(sendTraceFrame(link->transport(), deviceSocketCan, *frame)) << line;
    }
    can_frame frame{};
    ASSERT_TRUE(bus.receive(frame));
    EXPECT_EQ(frame.can_id, CAN_EFF_FLAG | 0x1ABCDEF0u);
    EXPECT_EQ(frame.len, 2);
    EXPECT_EQ(frame.data[1], 0x0B);
    ASSERT_TRUE(bus.receive(frame));
    EXPECT_EQ(frame.can_id, CAN_RTR_FLAG | 0x7FFu);
    EXPECT_EQ(frame.len, 0);
    ASSERT_TRUE(bus.receive(frame));
    EXPECT_EQ(frame.can_id, 0x012u);
    EXPECT_EQ(frame.data[0], 0xFF);
    EXPECT_FALSE(bus.receive(frame));
}

TEST_F(SocketCanLinkTest, ReceivedFramesFillTheMonitorWithTheNewestDataOfEachPair) {
    connect();
    bus.send(0x123, {0x01});
    bus.send(CAN_EFF_FLAG | 0x1ABCDE, {0xAA, 0xBB, 0xCC});
    bus.send(0x123, {0x02});
    bus.send(0x123, {0x03});
    bus.send(0x123, {0x01, 0x02});
    bus.send(CAN_ERR_FLAG | CAN_ERR_CRTL, {0, 0x04, 0, 0, 0, 0, 0, 0}); // an error frame is never data
    bus.send(0x7, {}, 0);
    EXPECT_TRUE(poll->poll());
    EXPECT_THAT(rows(), ElementsAre(RowView{"007", 0, "", 1}, RowView{"123", 2, "01 02", 1},
                                    RowView{"123", 1, "03", 3}, RowView{"001ABCDE", 3, "AA BB CC", 1}));

    bus.send(0x123, {0x04});
    EXPECT_TRUE(poll->poll());
    EXPECT_EQ(rows()[2], (RowView{"123", 1, "04", 4}));
    EXPECT_TRUE(poll->poll()); // nothing waiting
}

TEST_F(SocketCanLinkTest, AnswersAndTriggersSeeFramesInArrivalOrderAfterTheFilters) {
    basGlobal.txAnyTriggerMode = true;
    basGlobal.txAnyRtrMode = true;
    basGlobal.setOption(optRangeFilter, true);
    basGlobal.rangeFilterStart = 0x100;
    basGlobal.rangeFilterEnd = 0x1FF;
    basGlobal.discreteFilterText = "";
    connect();
    bus.send(0x1A0, {0x01});
    bus.send(0x0FF, {0x02}); // outside the range: no trigger, no row
    bus.send(0x1B0, {0x03});
    bus.send(CAN_RTR_FLAG | 0x150, {}, 2);
    bus.send(CAN_RTR_FLAG | 0x250, {}, 2);
    EXPECT_TRUE(poll->poll());
    EXPECT_THAT(triggers, ElementsAre("1A0:01", "1B0:03"));
    EXPECT_THAT(remoteRequests, ElementsAre("150"));
    EXPECT_EQ(monitor.rowCount(), 3);
}

TEST_F(SocketCanLinkTest, TheMaskIsAlsoTestedHereWhateverTheKernelLetThrough) {
    basGlobal.setOption(optMaskFilter, true);
    basGlobal.acceptanceMaskInv = ~0x0FF;
    basGlobal.acceptanceCodeMasked = 0x100;
    connect();
    bus.send(0x1AB, {0x01});
    bus.send(0x200, {0x02});
    EXPECT_TRUE(poll->poll());
    EXPECT_THAT(rows(), ElementsAre(RowView{"1AB", 1, "01", 1}));
}

TEST_F(SocketCanLinkTest, RecordingGivesTracerLinesInArrivalOrderWithTheirOwnTimes) {
    basGlobal.isRecording = true;
    connect();
    // Each line's time is the local time of day of its arrival: seconds modulo 100 and milliseconds.
    const auto timeOfDay = [] {
        return QTime::currentTime().msecsSinceStartOfDay() % 100000;
    };
    const int sent = timeOfDay();
    bus.send(0x111, {0x01});
    bus.send(CAN_EFF_FLAG | 0x2222, {});
    bus.send(CAN_RTR_FLAG | 0x333, {}, 8);
    EXPECT_TRUE(poll->poll());
    const int polled = timeOfDay();
    std::istringstream lines(tracer);
    for (std::string line; std::getline(lines, line);) {
        const int shown = std::stoi(line.substr(0, 2)) * 1000 + std::stoi(line.substr(3, 3));
        // Rounded to the millisecond, so up to one past the clock read after the poll.
        EXPECT_LE((shown - sent + 100000) % 100000, (polled - sent + 100000) % 100000 + 1)
            << line << " " << sent << " " << polled;
    }
    EXPECT_EQ(monitor.rowCount(), 0);
    const auto first = tracer.find("111");
    const auto second = tracer.find("00002222");
    const auto third = tracer.find("333");
    ASSERT_NE(first, std::string::npos);
    ASSERT_NE(second, std::string::npos);
    ASSERT_NE(third, std::string::npos);
    EXPECT_LT(first, second);
    EXPECT_LT(second, third);
    EXPECT_NE(tracer.find("RTR"), std::string::npos);
    EXPECT_EQ(std::count(tracer.begin(), tracer.end(), '\n'), 3);
}

TEST_F(SocketCanLinkTest, RecordsThatAreNoClassicFramesAreSkipped) {
    connect();
    const uint8_t shortRecord[8] = {0x23, 0x01, 0, 0, 1, 0, 0, 0};
    bus.sendBytes(shortRecord, sizeof shortRecord);
    uint8_t fdRecord[72] = {0x45, 0x01, 0, 0, 64};
    bus.sendBytes(fdRecord, sizeof fdRecord);
    bus.send(0x100, {1, 2, 3, 4, 5, 6, 7, 8}, 15); // a length past 8 shows the eight bytes
    EXPECT_TRUE(poll->poll());
    EXPECT_THAT(rows(), ElementsAre(RowView{"100", 8, "01 02 03 04 05 06 07 08", 1}));
}

TEST_F(SocketCanLinkTest, BusOffEndsTheLinkAfterWhatCameBefore) {
    connect();
    QSignalSpy vanished(&link->transport(), &LinkTransport::adapterVanished);
    bus.send(0x123, {0x01});
    bus.send(CAN_ERR_FLAG | CAN_ERR_BUSOFF, {0, 0, 0, 0, 0, 0, 0, 0});
    bus.send(0x124, {0x02});
    EXPECT_FALSE(poll->poll());
    EXPECT_THAT(rows(), ElementsAre(RowView{"123", 1, "01", 1}));
    EXPECT_EQ(vanished.count(), 1);
    // Writing to a lost link sends nothing.
    link->transmit("123", "0", "");
    can_frame frame{};
    EXPECT_FALSE(bus.receive(frame));
}

TEST_F(SocketCanLinkTest, AClosedPeerIsNoticedByTheEventLoopAndReportedOnce) {
    connect();
    QSignalSpy vanished(&link->transport(), &LinkTransport::adapterVanished);
    bus.send(0x123, {0x01});
    bus.closePeer();
    pumpEvents();
    EXPECT_EQ(vanished.count(), 1);
    EXPECT_FALSE(poll->poll());
    EXPECT_THAT(rows(), ElementsAre(RowView{"123", 1, "01", 1}));
    EXPECT_FALSE(poll->poll());
    EXPECT_EQ(vanished.count(), 1);
}

// A read that fails stands for the interface going down or away (ENETDOWN, ENODEV on a CAN socket).
TEST_F(SocketCanLinkTest, AReadThatFailsEndsTheLinkOnce) {
    bus.unconnected = true;
    QSignalSpy vanished(&link->transport(), &LinkTransport::adapterVanished);
    connect();
    EXPECT_FALSE(poll->poll());
    pumpEvents();
    EXPECT_FALSE(poll->poll());
    EXPECT_EQ(vanished.count(), 1);
}

TEST_F(SocketCanLinkTest, AWriteToAGoneInterfaceEndsTheLink) {
    connect();
    QSignalSpy vanished(&link->transport(), &LinkTransport::adapterVanished);
    bus.closePeer();
    link->transmit("123", "0", ""); // EPIPE, without a signal killing the program
    EXPECT_EQ(vanished.count(), 1);
    EXPECT_FALSE(poll->poll());
}

TEST_F(SocketCanLinkTest, TheEventLoopDrainsTheSocketBetweenPolls) {
    connect();
    // Far more than the socket pair holds at once: only reading between polls lets them all through.
    constexpr int kFrames = 3000;
    for (int i = 0; i < kFrames; ++i) {
        bus.send(0x100 + (i % 7), {static_cast<uint8_t>(i)});
        if (i % 100 == 99)
            pumpEvents(2);
    }
    EXPECT_TRUE(poll->poll());
    uint64_t counted = 0;
    for (const RowView& r : rows())
        counted += r.count;
    EXPECT_EQ(counted, static_cast<uint64_t>(kFrames));
    EXPECT_EQ(link->transport().socketCan()->droppedReceived(), 0u);
}
