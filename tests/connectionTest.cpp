// The connection sequence end to end: the virtual adapter on a pseudo-terminal for "COM", the fake D2XX
// library for "USB" and the fake PCAN-Basic library for "PEAKUSB", each loaded by the real bindings.

#include "link/basD2XX.h"
#include "link/pcan_usb.h"
#include "sim/faults.h"
#include "support/linkFixture.h"
#include "traces/replay.h"

#include <QCoreApplication>
#include <QTimer>

#include <gmock/gmock.h>

using namespace korvel;
using namespace korvel::test;
using ::testing::ElementsAre;
using ::testing::ElementsAreArray;
using ::testing::StartsWith;

namespace {

using Log = std::vector<std::string>;

class ConnectionTest : public LinkFixture {};

// The same behaviour on both ASCII device kinds.
class AsciiConnectionTest : public LinkFixture, public ::testing::WithParamInterface<int> {
protected:
    void SetUp() override {
        LinkFixture::SetUp();
        useDevice(GetParam());
    }

    // The second open reaches a channel that is already open, which the adapter refuses with BELL: the
    // serial kind repeats a refused command up to three times, the USB kind sends it once.
    Log withRepeatedOpen(Log log) const {
        if (GetParam() == deviceCom)
            log.insert(log.end(), 2, log.back());
        return log;
    }
};

} // namespace

TEST_P(AsciiConnectionTest, AnAdapterThatAnswersEverythingGetsTheFullSequence) {
    link->connectCommand();
    EXPECT_THAT(adapterLog(),
                ElementsAreArray(withRepeatedOpen({"v", "C", "S6", "Z0", "C", "mFFFFFFFF", "O", "O"})));
    EXPECT_TRUE(basGlobal.isConnected);
    EXPECT_TRUE(window.pollTimer);
    EXPECT_TRUE(window.connectEnabled);
    EXPECT_EQ(window.panel2, "Firmware: V10.13");
    EXPECT_THAT(window.panel1, ElementsAre("Not Connected", "Connecting...", "Connected to 500 kbit/s"));
    EXPECT_TRUE(prompts.log.messages.isEmpty());
    EXPECT_TRUE(engine().channelOpen());
}

TEST_P(AsciiConnectionTest, MaskFilterListenOnlyTimestampsAndUserBitrate) {
    basGlobal.setOption(optMaskFilter, true);
    basGlobal.setOption(optListenOnly, true);
    basGlobal.setOption(optTimestamp, true);
    basGlobal.acceptanceMaskText = "7FF00000";
    basGlobal.acceptanceCodeText = "1AB00000";
    basGlobal.canBitrateIndex = 9;
    basGlobal.userBitrate = "031C";
    link->connectCommand();
    EXPECT_THAT(adapterLog(), ElementsAreArray(withRepeatedOpen(
                                  {"v", "C", "s031C", "Z1", "C", "m7FF00000", "M1AB00000", "L", "L"})));
    EXPECT_TRUE(engine().listenOnly());
    EXPECT_TRUE(engine().timestampsOn());
    EXPECT_EQ(engine().acceptanceMask(), 0x7FF00000U);
}

TEST_P(AsciiConnectionTest, DisconnectSendsCloseStopsTimersAndClosesTheTransport) {
    link->connectCommand();
    engine().clearCommandLog();
    link->connectCommand(); // while connected: disconnect
    EXPECT_THAT(adapterLog(), ElementsAre("C"));
    EXPECT_FALSE(basGlobal.isConnected);
    EXPECT_FALSE(window.pollTimer);
    EXPECT_EQ(window.transmitTimerStops, 1);
    EXPECT_FALSE(link->transport().isSerialOpen());
    EXPECT_FALSE(engine().channelOpen());
}

TEST_P(AsciiConnectionTest, TransmitSendsTheRowsLineOnlyWhileConnected) {
    EXPECT_FALSE(link->transmit("000", "8", "00 00 00 00 00 00 00 00"));
    link->connectCommand();
    engine().clearCommandLog();
    EXPECT_TRUE(link->transmit("7FF", "8", "01 02 03 04 05 06 07 08"));
    EXPECT_TRUE(link->transmit("1ABCDEF0", "0", "RTR"));
    // The adapter reads what the link wrote at its next turn.
    for (int i = 0; i < 50 && adapterLog().size() < 2; ++i)
        QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
    EXPECT_THAT(adapterLog(), ElementsAre("t7FF80102030405060708", "R1ABCDEF00"));
    EXPECT_EQ(engine().framesTransmittedByHost(), 2U);
}

TEST_P(AsciiConnectionTest, ASilentAdapterIsNotResponding) {
    engine().setFault(sim::Fault::Silent, true);
    link->connectCommand();
    EXPECT_FALSE(basGlobal.isConnected);
    EXPECT_FALSE(window.pollTimer);
    EXPECT_THAT(prompts.log.messages, ElementsAre("CAN Interface not responding!"));
    EXPECT_EQ(window.panel1.last(), "Not Connected");
}

TEST_P(AsciiConnectionTest, AnAdapterThatVanishesIsReportedOnceAndClosed) {
    link->connectCommand();
    int reports = 0;
    QObject::connect(&link->transport(), &LinkTransport::adapterVanished, [&reports] { ++reports; });
    if (GetParam() == deviceCom)
        pty->vanish();
    else
        fakeControl<void (*)()>("libftd2xx.so", "korvelFakeFtdi_vanish")();
    std::string text;
    bool ok = true;
    for (int i = 0; i < 100 && ok; ++i) {
        QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
        ok = link->transport().readAvailable(text);
    }
    EXPECT_FALSE(ok);
    EXPECT_FALSE(link->transport().readAvailable(text));
    EXPECT_EQ(reports, 1);
    EXPECT_FALSE(link->transport().isSerialOpen());
    link->disconnectLink(); // sending "C" to a lost adapter must neither hang nor crash
    EXPECT_FALSE(basGlobal.isConnected);
}

// A BELL to the version queries is "not responding"; a BELL to the bitrate or to both opens means the adapter
// is not receiving, which must never end in "Connected". The sequence still sends every command.
TEST_P(AsciiConnectionTest, AnAdapterThatRefusesTheBitrateOrTheOpenIsNotConnected) {
    engine().setFault(sim::Fault::Refuse, true);
    link->connectCommand();
    EXPECT_FALSE(basGlobal.isConnected);
    EXPECT_FALSE(window.pollTimer);
    EXPECT_THAT(prompts.log.messages, ElementsAre("CAN Interface refused the bitrate command S6!"));
    const Log log = adapterLog();
    const int repeats = GetParam() == deviceCom ? 3 : 1;
    ASSERT_GE(log.size(), 2U + repeats);
    EXPECT_EQ(log[1 + static_cast<std::size_t>(repeats)], "S6");
    EXPECT_EQ(log.back(), "C");
    EXPECT_EQ(window.panel1.last(), "Not Connected");
}

TEST_P(AsciiConnectionTest, ConnectingToABusyBusLosesNoFrame) {
    // Traffic starts with the first open command, so frames meet the repeated open and its replies.
    engine().setRate(20000);
    link->connectCommand();
    ASSERT_TRUE(basGlobal.isConnected);
    engine().setRate(0);
    engine().setVehicleEnabled(false);

    LineCutter cutter;
    std::vector<std::string_view> lines;
    std::string text;
    uint64_t frames = 0;
    // Drains until the adapter has handed over everything and the port stays empty, however busy the machine.
    for (int i = 0, quiet = 0; i < 4000 && quiet < 10; ++i) {
        QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
        ASSERT_TRUE(link->transport().readAvailable(text));
        takeCompleteLines(text, cutter, lines);
        for (std::string_view line : lines)
            frames += decodeFrameLine(line, '.').has_value() ? 1 : 0;
        quiet = text.empty() && engine().pendingHostBytes() == 0 ? quiet + 1 : 0;
    }
    EXPECT_GT(engine().framesSentToHost(), 0U);
    EXPECT_EQ(engine().overruns(), 0U);
    EXPECT_EQ(frames, engine().framesSentToHost());
}

TEST_P(AsciiConnectionTest, ResetOrConnectDuringTheSequenceNeverStartsASecondOne) {
    bool connectEnabledAfterReset = true;
    QTimer::singleShot(0, [&] {
        link->resetLink();
        connectEnabledAfterReset = window.connectEnabled;
        link->connectCommand();
    });
    link->connectCommand();
    EXPECT_FALSE(connectEnabledAfterReset);
    EXPECT_EQ(window.monitorClears, 1);
    EXPECT_THAT(adapterLog(),
                ElementsAreArray(withRepeatedOpen({"v", "C", "S6", "Z0", "C", "mFFFFFFFF", "O", "O"})));
    EXPECT_TRUE(basGlobal.isConnected);
    EXPECT_TRUE(window.connectEnabled);
}

TEST_P(AsciiConnectionTest, CancellingTheSequenceInAWaitClosesTheChannelAndShowsNothing) {
    engine().setVersionReply('v', ""); // the first query fails, so the wait for "V" is reached too
    engine().setVersionReply('V', "");
    // The outer shot runs in the yield before the sequence, the inner one inside its first reply wait.
    QTimer::singleShot(0, [&] { QTimer::singleShot(0, [&] { link->cancelConnecting(); }); });
    link->connectCommand();
    EXPECT_FALSE(link->isConnecting());
    EXPECT_FALSE(basGlobal.isConnected);
    EXPECT_FALSE(window.pollTimer);
    EXPECT_TRUE(prompts.log.messages.isEmpty());
    EXPECT_EQ(adapterLog().front(), "v");
    EXPECT_EQ(adapterLog().back(), "C");
    EXPECT_FALSE(engine().channelOpen());
    EXPECT_FALSE(link->transport().isSerialOpen());

    // The next connect runs normally.
    engine().setVersionReply('v', "V1013");
    link->connectCommand();
    EXPECT_TRUE(basGlobal.isConnected);
}

INSTANTIATE_TEST_SUITE_P(BothAsciiKinds, AsciiConnectionTest, ::testing::Values(deviceCom, deviceUsb),
                         [](const auto& info) { return info.param == deviceCom ? "Serial" : "Ftdi"; });

TEST_F(ConnectionTest, TheWarningIsShownUntilAccepted) {
    useDevice(deviceCom);
    basGlobal.setOption(optRiskAccepted, false);
    prompts.log.answers = {false};
    link->connectCommand();
    ASSERT_EQ(prompts.log.messages.size(), 1);
    EXPECT_EQ(prompts.log.messages[0],
              "Warning!|Connecting to the CANBUS of machines or vehicles might be dangerous.\r"
              "The author is not responsible for damages.\rContinue on your own risk.");
    EXPECT_TRUE(adapterLog().empty());
    EXPECT_FALSE(basGlobal.hasOption(optRiskAccepted));
    EXPECT_FALSE(basGlobal.isConnected);

    prompts.log.answers = {true};
    link->connectCommand();
    EXPECT_TRUE(basGlobal.hasOption(optRiskAccepted));
    EXPECT_TRUE(basGlobal.isConnected);
    link->disconnectLink();
    link->connectCommand();
    EXPECT_EQ(prompts.log.messages.size(), 2);
}

TEST_F(ConnectionTest, SerialVersionFallbackAndBellRetriesShareOneBudget) {
    useDevice(deviceCom);
    pty->engine().setVersionReply('v', ""); // "v" is unknown to this adapter: BELL
    link->connectCommand();
    EXPECT_THAT(adapterLog(),
                ElementsAre("v", "v", "v", "V", "C", "S6", "Z0", "C", "mFFFFFFFF", "O", "O", "O", "O"));
    EXPECT_TRUE(basGlobal.isConnected);
}

TEST_F(ConnectionTest, BellOnlyAdapterOnSerialRetriesAndOnUsbSendsOnce) {
    useDevice(deviceCom);
    pty->engine().setFault(sim::Fault::BellOnly, true);
    link->connectCommand();
    // v and V three times each within their budgets, then the disconnect's C three times.
    EXPECT_THAT(adapterLog(), ElementsAre("v", "v", "v", "V", "V", "V", "C", "C", "C"));
    EXPECT_THAT(prompts.log.messages, ElementsAre("CAN Interface not responding!"));

    prompts.log.messages.clear();
    useDevice(deviceUsb);
    ftdiEngine()->setFault(sim::Fault::BellOnly, true);
    link->connectCommand();
    EXPECT_THAT(ftdiEngine()->commandLog(), ElementsAre("v", "V", "C"));
    EXPECT_THAT(prompts.log.messages, ElementsAre("CAN Interface not responding!"));
}

// A serial adapter that reads slower than frames are sent fills the port: writes wait in the port, and past
// a bound a frame is dropped and counted. Only a device that is really gone ends the link.
TEST_F(ConnectionTest, ASlowSerialAdapterIsNeverTakenForALostOne) {
    useDevice(deviceCom);
    link->connectCommand();
    ASSERT_TRUE(basGlobal.isConnected);
    int reports = 0;
    QObject::connect(&link->transport(), &LinkTransport::adapterVanished, [&reports] { ++reports; });
    pty->setHostReadRate(1); // next to nothing: the terminal and then the port fill up
    engine().clearCommandLog();
    int sent = 0;
    int dropped = 0;
    for (int i = 0; i < 20000; ++i) {
        (link->transmit("123", "8", "11 22 33 44 55 66 77 88") ? sent : dropped) += 1;
        if (i % 500 == 0)
            QCoreApplication::processEvents();
    }
    EXPECT_EQ(reports, 0);
    EXPECT_FALSE(link->transport().adapterLost());
    EXPECT_GT(dropped, 0);
    EXPECT_EQ(link->transport().counters().notSent, static_cast<uint64_t>(dropped));
    EXPECT_LE(link->transport().pendingSerialBytes(), LinkTransport::kMaxSerialBacklog);

    // Once the adapter reads again, every frame that counted as sent arrives whole.
    pty->setHostReadRate(0);
    for (int i = 0; i < 2000 && engine().framesTransmittedByHost() < static_cast<uint64_t>(sent); ++i)
        QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
    EXPECT_EQ(engine().framesTransmittedByHost(), static_cast<uint64_t>(sent));
    EXPECT_EQ(reports, 0);
}

TEST_F(ConnectionTest, NoDeviceChosen) {
    useDevice(deviceNone);
    link->connectCommand();
    EXPECT_THAT(prompts.log.messages,
                ElementsAre("No CAN Device selected!", "CAN Interface not responding!"));
    EXPECT_FALSE(basGlobal.isConnected);
}

TEST_F(ConnectionTest, APortThatCannotBeOpenedStopsAtOnceAndShowsNotConnected) {
    useDevice(deviceCom);
    basGlobal.comPort = "/dev/korvel-no-such-port";
    link->connectCommand();
    ASSERT_EQ(prompts.log.messages.size(), 1);
    EXPECT_THAT(prompts.log.messages[0].toStdString(),
                StartsWith("Can't open Device COM/dev/korvel-no-such-port!\r\n"));
    EXPECT_GT(prompts.log.messages[0].size(),
              QStringLiteral("Can't open Device COM/dev/korvel-no-such-port!\r\n").size());
    EXPECT_EQ(window.panel1.last(), "Not Connected");

    prompts.log.messages.clear();
    basGlobal.comPort.clear();
    link->connectCommand();
    ASSERT_EQ(prompts.log.messages.size(), 1);
    EXPECT_THAT(prompts.log.messages[0].toStdString(), StartsWith("Can't open Device COM!\r\n"));
}

TEST_F(ConnectionTest, AnFtdiDeviceThatCannotBeOpenedShowsItsStatusThenNotResponding) {
    useDevice(deviceUsb);
    basGlobal.comPort = "NOPE";
    link->connectCommand();
    ASSERT_EQ(prompts.log.messages.size(), 3);
    EXPECT_EQ(prompts.log.messages[0], "Can't open Device USBNOPE!\r\nError 2");
    EXPECT_THAT(prompts.log.messages[1].toStdString(), StartsWith("Can't open Device USBNOPE!\r\nError "));
    EXPECT_EQ(prompts.log.messages[2], "CAN Interface not responding!");
}

TEST_F(ConnectionTest, UsbRunsAt57600WithReadTimeouts) {
    useDevice(deviceUsb);
    basGlobal.comBaudrate = "115200";
    link->connectCommand();
    EXPECT_EQ(fakeControl<uint32_t (*)()>("libftd2xx.so", "korvelFakeFtdi_lastBaudRate")(), 57600U);
    EXPECT_EQ(fakeControl<int (*)()>("libftd2xx.so", "korvelFakeFtdi_timeoutsSet")(), 1);
    EXPECT_EQ(fakeControl<uint64_t (*)()>("libftd2xx.so", "korvelFakeFtdi_blockingReads")(), 0U);
}

TEST_F(ConnectionTest, ResetReopensWithoutSendingACommand) {
    useDevice(deviceCom);
    link->connectCommand();
    pty->engine().clearCommandLog();
    link->resetLink();
    for (int i = 0; i < 10; ++i)
        QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
    EXPECT_TRUE(adapterLog().empty());
    EXPECT_TRUE(basGlobal.isConnected);
    EXPECT_TRUE(link->transport().isSerialOpen());
    EXPECT_EQ(window.monitorClears, 1);
    EXPECT_EQ(window.countResets, 1);
}

TEST_F(ConnectionTest, ApplyAcceptanceFilterOnlyWhileConnected) {
    useDevice(deviceCom);
    link->applyAcceptanceFilter();
    EXPECT_TRUE(adapterLog().empty());
    link->connectCommand();
    pty->engine().clearCommandLog();
    link->applyAcceptanceFilter();
    EXPECT_THAT(adapterLog(), ElementsAre("C", "mFFFFFFFF", "O"));
}

TEST_F(ConnectionTest, PeakInitialisesWithTheBitTimingAndShowsTheVersion) {
    useDevice(devicePeakUsb);
    basGlobal.canBitrateIndex = 4;
    link->connectCommand();
    EXPECT_EQ(fakeControl<uint32_t (*)()>("libpcanbasic.so", "korvelFakePcan_lastInitBtr")(), 0x031CU);
    EXPECT_TRUE(basGlobal.isConnected);
    EXPECT_FALSE(window.panel2.isEmpty());
    EXPECT_FALSE(window.panel2.contains(QLatin1Char('\n')));

    link->disconnectLink();
    basGlobal.canBitrateIndex = 9;
    basGlobal.userBitrate = "0014";
    link->connectCommand();
    EXPECT_EQ(fakeControl<uint32_t (*)()>("libpcanbasic.so", "korvelFakePcan_lastInitBtr")(), 0x0014U);
}

TEST_F(ConnectionTest, PeakInitFailureAndResetInitialisesAgain) {
    useDevice(devicePeakUsb);
    fakeControl<void (*)(uint32_t)>("libpcanbasic.so", "korvelFakePcan_failInit")(0x1400);
    link->connectCommand();
    EXPECT_FALSE(basGlobal.isConnected);
    EXPECT_THAT(prompts.log.messages, ElementsAre("CAN Interface not responding!"));

    fakeControl<void (*)(uint32_t)>("libpcanbasic.so", "korvelFakePcan_failInit")(0);
    link->connectCommand();
    ASSERT_TRUE(basGlobal.isConnected);
    const auto count = fakeControl<uint32_t (*)()>("libpcanbasic.so", "korvelFakePcan_initCount");
    const uint32_t before = count();
    link->resetLink();
    EXPECT_EQ(count(), before + 1);
    EXPECT_EQ(fakeControl<int (*)()>("libpcanbasic.so", "korvelFakePcan_initialized")(), 1);
    EXPECT_TRUE(basGlobal.isConnected);
}

TEST_F(ConnectionTest, PeakTransmitAndVanish) {
    useDevice(devicePeakUsb);
    link->connectCommand();
    ASSERT_TRUE(link->transmit("7FF", "2", "AA BB"));
    ASSERT_FALSE(pcanEngine()->transmittedFrames().empty());
    EXPECT_EQ(pcanEngine()->transmittedFrames().back().id, 0x7FFU);

    fakeControl<void (*)()>("libpcanbasic.so", "korvelFakePcan_vanish")();
    PeakMessage message;
    EXPECT_TRUE(LinkTransport::isFatalPeakStatus(link->transport().readPeakMessage(message)));
    EXPECT_TRUE(link->transport().adapterLost());
    EXPECT_FALSE(LinkTransport::isFatalPeakStatus(pcan_usb::PCAN_ERROR_QRCVEMPTY));
}

// A frame the library refuses (its transmit queue is full) did not leave: a row does not count it, the
// status bar does, and a replay goes on instead of reporting the line as a syntax error.
TEST_F(ConnectionTest, PeakRefusalIsCountedNotSentAndTheReplayGoesOn) {
    useDevice(devicePeakUsb);
    link->connectCommand();
    ASSERT_TRUE(basGlobal.isConnected);
    const auto failCall =
        fakeControl<void (*)(const char*, uint32_t)>("libpcanbasic.so", "korvelFakePcan_failCall");
    failCall("CAN_Write", 0x80);
    EXPECT_FALSE(link->transmit("7FF", "1", "01"));
    const auto frame = parseTraceLine("00.000 123 1 01");
    ASSERT_TRUE(frame);
    EXPECT_TRUE(sendTraceFrame(link->transport(), *frame));
    EXPECT_EQ(link->transport().counters().refused, 2U);
    EXPECT_EQ(linkTroubleText(link->transport().counters()), "Refused: 2");
    failCall("CAN_Write", 0);
    EXPECT_TRUE(link->transmit("7FF", "1", "01"));
    link->disconnectLink();
    EXPECT_FALSE(sendTraceFrame(link->transport(), *frame)); // a closed link ends the play
}

TEST_F(ConnectionTest, AMissingVendorLibraryIsNamedOnceAndTheSequenceStops) {
    useDevice(deviceUsb);
    basD2XX::setLibraryNames({"libkorvel-absent-ftd2xx.so"});
    link->connectCommand();
    basD2XX::setLibraryNames({});
    ASSERT_EQ(prompts.log.messages.size(), 1);
    EXPECT_TRUE(prompts.log.messages[0].startsWith(QStringLiteral("Can't open Device USBKV000001!\r\n")));
    EXPECT_TRUE(prompts.log.messages[0].contains(QStringLiteral("libftd2xx.so")));
    EXPECT_TRUE(prompts.log.messages[0].contains(QStringLiteral("Install")));
    EXPECT_FALSE(basGlobal.isConnected);
    EXPECT_EQ(window.panel1.last(), "Not Connected");

    prompts.log.messages.clear();
    useDevice(devicePeakUsb);
    pcan_usb::setLibraryNames({"libkorvel-absent-pcanbasic.so"});
    link->connectCommand();
    pcan_usb::setLibraryNames({});
    ASSERT_EQ(prompts.log.messages.size(), 1);
    EXPECT_TRUE(prompts.log.messages[0].contains(QStringLiteral("libpcanbasic.so")));
    EXPECT_TRUE(prompts.log.messages[0].contains(QStringLiteral("Install")));
    EXPECT_FALSE(basGlobal.isConnected);

    // With the libraries back, both connect.
    prompts.log.messages.clear();
    link->connectCommand();
    EXPECT_TRUE(basGlobal.isConnected);
    EXPECT_TRUE(prompts.log.messages.isEmpty());
}
