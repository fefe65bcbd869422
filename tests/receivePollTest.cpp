// The receive poll end to end: exact adapter text written into a real pseudo-terminal, the virtual adapter
// streaming over one, and the fake PCAN-Basic library for the PEAK kind.

#include "receive/receivePoll.h"
#include "core/basGlobal.h"
#include "filters/filterTests.h"
#include "link/pcan_usb.h"
#include "link/transport.h"
#include "receive/monitorFold.h"
#include "receive/monitorModel.h"
#include "sim/ptyAdapter.h"
#include "support/linkFixture.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QSerialPort>

#include <gmock/gmock.h>

#include <fcntl.h>
#include <pty.h>
#include <termios.h>
#include <unistd.h>

using namespace korvel;
using korvel::test::fakeControl;
using ::testing::ElementsAre;

namespace {

// A pseudo-terminal whose master end the test writes adapter text into.
class RawPty {
public:
    RawPty() {
        char name[128] = {};
        termios raw{};
        cfmakeraw(&raw);
        if (openpty(&master_, &slave_, name, &raw, nullptr) == 0)
            path_ = name;
    }
    ~RawPty() {
        if (master_ >= 0)
            ::close(master_);
        if (slave_ >= 0)
            ::close(slave_);
    }
    [[nodiscard]] const std::string& path() const { return path_; }
    void write(std::string_view text) const {
        ASSERT_EQ(::write(master_, text.data(), text.size()), static_cast<ssize_t>(text.size()));
    }
    void closeMaster() {
        ::close(master_);
        ::close(slave_);
        master_ = slave_ = -1;
    }

private:
    int master_ = -1;
    int slave_ = -1;
    std::string path_;
};

void pumpEvents(int rounds = 20) {
    for (int i = 0; i < rounds; ++i)
        QCoreApplication::processEvents(QEventLoop::AllEvents, 2);
}

struct Calls {
    std::vector<std::string> triggers;
    std::vector<std::string> remoteRequests;
    std::string tracer;
    int tracerAppends = 0;
    std::vector<int> refusedTags;
    std::vector<std::string> accepted;
};

class ReceivePollTest : public ::testing::Test {
protected:
    void SetUp() override {
        basGlobal = GlobalState{};
        initialiseGlobals(basGlobal, {}, '.');
        basGlobal.deviceKind = deviceCom;
        basGlobal.discreteFilterText = "0";
        ASSERT_FALSE(pty.path().empty());
        ASSERT_TRUE(transport.openTransport({deviceCom, pty.path(), "57600", false}));
        basGlobal.isConnected = true;
        ReceiveHooks hooks;
        hooks.checkTriggers = [this](std::string_view id, std::string_view data) {
            calls.triggers.push_back(std::string(id) + ":" + std::string(data));
        };
        hooks.answerRemoteRequest = [this](std::string_view id) {
            calls.remoteRequests.emplace_back(id);
        };
        hooks.appendTracerText = [this](std::string_view text) {
            calls.tracer += text;
            ++calls.tracerAppends;
        };
        hooks.frameRefused = [this](int tag) {
            calls.refusedTags.push_back(tag);
        };
        hooks.frameAccepted = [this](const CanFrame& frame) {
            calls.accepted.emplace_back(frame.idText.view());
        };
        poll = std::make_unique<ReceivePoll>(basGlobal, transport, model, std::move(hooks));
        rowLastTimesAscii.clear();
    }
    void TearDown() override { basGlobal = GlobalState{}; }

    // Writes adapter text and runs one poll once it has arrived.
    bool pollWith(std::string_view text) {
        pty.write(text);
        for (int i = 0;
             i < 200 && transport.serialPort()->bytesAvailable() < static_cast<qint64>(text.size()); ++i)
            QCoreApplication::processEvents(QEventLoop::AllEvents, 2);
        return poll->receiveAsciiFrames();
    }
    const MonitorRow& row(int i) const { return *model.rowAt(i); }

    RawPty pty;
    LinkTransport transport;
    MonitorModel model;
    Calls calls;
    std::unique_ptr<ReceivePoll> poll;
};

} // namespace

TEST_F(ReceivePollTest, FoldsFramesIntoRowsWithPeriodAndCount) {
    EXPECT_TRUE(pollWith("t123211220064\rt12321122"
                         "00C8\r"));
    ASSERT_EQ(model.rowCount(), 1);
    EXPECT_EQ(row(0).id, "123");
    EXPECT_EQ(row(0).data, "11 22");
    EXPECT_EQ(row(0).period, 0);
    EXPECT_EQ(row(0).count, 2U);

    pollWith("t12321122"
             "0190\r"); // 400 ms: 200 after the newest frame of the last poll
    EXPECT_EQ(row(0).period, 200);
    EXPECT_EQ(row(0).count, 3U);

    pollWith("t12321133EA2E\r"); // 59950
    pollWith("t123211440032\r"); // 50, after the adapter's clock wrapped
    EXPECT_EQ(row(0).period, 100);
    EXPECT_EQ(row(0).data, "11 44");
}

TEST_F(ReceivePollTest, FramesWithoutTheAdaptersTimeTakeTheHostClockInItsUnitsAndWrap) {
    double host = 119.95; // 59,950 ms into the minute
    ReceiveHooks hooks;
    hooks.hostSeconds = [&host] {
        return host;
    };
    hooks.appendTracerText = [this](std::string_view text) {
        calls.tracer += text;
    };
    poll = std::make_unique<ReceivePoll>(basGlobal, transport, model, std::move(hooks));

    pollWith("t12321122\r");
    host = 120.05; // past the wrap: 100 ms later
    pollWith("t12321122\r");
    ASSERT_EQ(model.rowCount(), 1);
    EXPECT_EQ(row(0).period, 100);

    // A line with the adapter's time keeps it; one without takes the host's.
    basGlobal.isRecording = true;
    pollWith("t4561000190\rt4561AA\r");
    EXPECT_NE(calls.tracer.find("00.400"), std::string::npos) << calls.tracer;
    EXPECT_NE(calls.tracer.find("00.050"), std::string::npos) << calls.tracer;
}

TEST_F(ReceivePollTest, ThreeFramesOfOnePairKeepTheNewestAndLengthsMakeRows) {
    pollWith("t123101\rt123102\rt123103\rt1238AABBCCDDEEFF0011\r");
    ASSERT_EQ(model.rowCount(), 2);
    EXPECT_EQ(row(1).data, "03"); // newest first, so the newest frame made the entry
    EXPECT_EQ(row(1).count, 3U);
    EXPECT_EQ(row(0).dlc, 8);

    pollWith("r7FF0\rt1ab0\rt1AB0\r");
    const int remote = model.findRow("7FF", 0);
    ASSERT_GE(remote, 0);
    EXPECT_EQ(row(remote).data, "RTR");
    pollWith("t7FF0\r");
    EXPECT_EQ(row(remote).data, ""); // a data frame of the same pair updates the same row
    EXPECT_GE(model.findRow("1ab", 0), 0);
    EXPECT_GE(model.findRow("1AB", 0), 0);
}

TEST_F(ReceivePollTest, EveryPairOfABusyPollReachesTheMonitor) {
    std::string text;
    for (int id = 0; id < 150; ++id) {
        char line[16];
        std::snprintf(line, sizeof line, "t%03X1%02X\r", id, id & 0xFF);
        text += line;
    }
    pollWith(text);
    EXPECT_EQ(model.rowCount(), 150);
}

TEST_F(ReceivePollTest, FiltersDropFramesBeforeTriggersAndViews) {
    basGlobal.setOption(optRangeFilter, true);
    basGlobal.rangeFilterStart = 0x100;
    basGlobal.rangeFilterEnd = 0x1FF;
    basGlobal.discreteFilterIds = readDiscreteFilterIds("00000200"); // the extended 200 only
    basGlobal.txAnyTriggerMode = true;
    basGlobal.txAnyRtrMode = true;
    pollWith("t0FF0\rt1001AA\rt2000\rT000002000\rr1500\rt1FF1BB\r");
    EXPECT_EQ(model.rowCount(), 4);
    EXPECT_EQ(model.findRow("0FF", 0), -1);
    EXPECT_EQ(model.findRow("200", 0), -1);
    EXPECT_NE(model.findRow("00000200", 0), -1);
    // The Monitor path visits the newest frame first.
    EXPECT_THAT(calls.triggers, ElementsAre("1FF:BB", "00000200:", "100:AA"));
    EXPECT_THAT(calls.remoteRequests, ElementsAre("150"));
    // The plots see the frames that passed, in the order they arrived.
    EXPECT_THAT(calls.accepted, ElementsAre("100", "00000200", "150", "1FF"));
}

TEST_F(ReceivePollTest, RecordingAppendsExactTracerLinesOncePerPoll) {
    basGlobal.isRecording = true;
    basGlobal.txAnyTriggerMode = true;
    pollWith("t123211"
             "2204D2\rT1ABCDEF0801020304050607080000\rr7FF0\rt0010\rz\r");
    EXPECT_EQ(calls.tracerAppends, 1);
    EXPECT_THAT(calls.accepted, ElementsAre("123", "1ABCDEF0", "7FF", "001"));
    EXPECT_EQ(calls.tracer, "01.234 123      2 11 22                   \r\n"
                            "00.000 1ABCDEF0 8 01 02 03 04 05 06 07 08 \r\n"
                            "00.000 7FF      0 RTR                     \r\n"
                            "00.000 001      0                         \r\n");
    EXPECT_EQ(model.rowCount(), 0);
    EXPECT_THAT(calls.triggers, ElementsAre("123:11 22", "1ABCDEF0:01 02 03 04 05 06 07 08", "001:"));

    calls.tracer.clear();
    basGlobal.decimalSeparator = ',';
    basGlobal.commentListText = "ID123=speed\r\n";
    pollWith("t12300001\r");
    EXPECT_EQ(calls.tracer, "00,001 123      0                         speed\r\n");
}

TEST_F(ReceivePollTest, NoTextKeepsThePendingLineAndASplitLineWaitsForItsCr) {
    pollWith("t12321");
    EXPECT_EQ(model.rowCount(), 0);
    EXPECT_TRUE(poll->receiveAsciiFrames());
    EXPECT_EQ(poll->lineCutter().pendingLine, "t12321");
    pollWith("122\r");
    ASSERT_EQ(model.rowCount(), 1);
    EXPECT_EQ(row(0).data, "11 22");
}

// A damaged line must not become a frame that a recording later replays; it is counted for the user.
TEST_F(ReceivePollTest, DamagedLinesAreDroppedAndCountedAndAnswersMatchTheFramesInOrder) {
    pollWith("t12G0\rt\rT1FFFFFFFF0\rt1232ZZ22\rt1230ABCDE\rt4560\rz\r");
    ASSERT_EQ(model.rowCount(), 1);
    EXPECT_EQ(row(0).id, "456");
    EXPECT_EQ(transport.counters().malformed, 5U);

    // An answer with no frame waiting (a late command reply) counts nothing.
    pollWith("\a");
    EXPECT_EQ(transport.counters().refused, 0U);
    // Three frames out: the adapter takes the first, refuses the second, takes the third.
    for (int tag : {7, 8, 9})
        ASSERT_TRUE(transport.writeFrame("123", "1", "AA", tag));
    pollWith("z\r\az\r");
    EXPECT_THAT(calls.refusedTags, ElementsAre(8));
    EXPECT_EQ(transport.counters().refused, 1U);
    EXPECT_EQ(linkTroubleText(transport.counters()), "Refused: 1  Bad lines: 5");
    EXPECT_EQ(linkTroubleText({}), "");
}

TEST_F(ReceivePollTest, AnAdapterThatDisappearsFailsThePoll) {
    pollWith("t1230\r");
    pty.closeMaster();
    bool ok = true;
    for (int i = 0; i < 100 && ok; ++i) {
        pumpEvents(1);
        ok = poll->receiveAsciiFrames();
    }
    EXPECT_FALSE(ok);
    EXPECT_FALSE(transport.isSerialOpen());
}

TEST(PeakReceivePoll, FirstFrameOfAPairAndFailureOnUnplug) {
    basGlobal = GlobalState{};
    initialiseGlobals(basGlobal, {}, '.');
    basGlobal.deviceKind = devicePeakUsb;
    basGlobal.discreteFilterText = "0";
    fakeControl<void (*)()>("libpcanbasic.so", "korvelFakePcan_reset")();
    fakeControl<void (*)(int64_t)>("libpcanbasic.so", "korvelFakePcan_setNowUs")(1'000'000);
    auto* engine = korvel::test::pcanEngine();
    engine->setVehicleEnabled(false);
    sim::PeriodicFrameSpec periodic;
    periodic.frame.id = 0x123;
    periodic.frame.dlc = 1;
    periodic.periodUs = 10'000;
    periodic.kinds[0] = sim::ByteKind::Counter;
    ASSERT_TRUE(engine->addPeriodicFrame(periodic));

    LinkTransport transport;
    transport.openTransport({devicePeakUsb, {}, {}, false});
    ASSERT_EQ(pcan_usb::CAN_Init(0x001C, 1), 0U);
    MonitorModel model;
    ReceiveHooks hooks;
    double seconds = 45296.121;
    hooks.secondsSinceMidnight = [&seconds] {
        return seconds += 0.001;
    };
    ReceivePoll poll(basGlobal, transport, model, std::move(hooks));
    rowLastTimesPeak.clear();

    fakeControl<void (*)(int64_t)>("libpcanbasic.so", "korvelFakePcan_setNowUs")(1'035'000);
    ASSERT_TRUE(poll.receivePeakFrames());
    ASSERT_EQ(model.rowCount(), 1);
    const MonitorRow& row = *model.rowAt(0);
    EXPECT_EQ(row.id, "123");
    EXPECT_GE(row.count, 3U);
    EXPECT_EQ(row.data, "00"); // the oldest frame of the poll made the entry

    fakeControl<void (*)()>("libpcanbasic.so", "korvelFakePcan_vanish")();
    EXPECT_FALSE(poll.receivePeakFrames());
    pcan_usb::CAN_Close();
    basGlobal = GlobalState{};
}

TEST(StreamReceive, EveryFrameTheVirtualAdapterSendsIsCounted) {
    basGlobal = GlobalState{};
    initialiseGlobals(basGlobal, {}, '.');
    basGlobal.deviceKind = deviceCom;
    basGlobal.discreteFilterText = "0";
    sim::PtyAdapter adapter;
    ASSERT_TRUE(adapter.isOpen());
    int64_t now = 5'000'000;
    adapter.setClock([&now] { return now; });
    adapter.engine().setRate(20000);

    LinkTransport transport;
    ASSERT_TRUE(transport.openTransport({deviceCom, adapter.slavePath().toStdString(), "57600", false}));
    transport.sendCommand("S6");
    transport.sendCommand("O");
    basGlobal.isConnected = true;
    MonitorModel model;
    ReceivePoll poll(basGlobal, transport, model, {});
    rowLastTimesAscii.clear();

    // Two seconds of traffic at 20,000 frames/s in 100 ms polls, then the stream stops and drains.
    for (int tick = 0; tick < 20; ++tick) {
        for (int step = 0; step < 10; ++step) {
            now += 10'000;
            adapter.pump();
            pumpEvents(2);
        }
        ASSERT_TRUE(poll.receiveAsciiFrames());
    }
    adapter.engine().setRate(0);
    adapter.engine().setVehicleEnabled(false);
    for (int i = 0; i < 50; ++i) {
        adapter.pump();
        pumpEvents(2);
        poll.receiveAsciiFrames();
    }

    uint64_t counted = 0;
    for (int r = 0; r < model.rowCount(); ++r)
        counted += model.rowAt(r)->count;
    uint64_t sent = 0;
    for (const auto& [pair, n] : adapter.engine().sentCounts())
        sent += n;
    EXPECT_GT(sent, 30000U);
    EXPECT_EQ(adapter.engine().overruns(), 0U);
    EXPECT_EQ(counted, sent);
    basGlobal = GlobalState{};
}
