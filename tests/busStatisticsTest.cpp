// Bus statistics: the exact length of frames on the wire, rates and load over the sliding window, and the
// kernel's error frames in words.

#include "receive/busStatistics.h"
#include "receive/canErrorFrame.h"

#include <gmock/gmock.h>

#include <linux/can.h>
#include <linux/can/error.h>

using namespace korvel;

namespace {

CanFrame frameOf(std::string_view id, bool extended, bool remote, uint8_t dlc, std::string_view data) {
    CanFrame frame;
    frame.idText = ShortText<8>(id);
    frame.isExtended = extended;
    frame.isRemote = remote;
    frame.dlc = dlc;
    frame.dataText = ShortText<23>(data);
    return frame;
}

} // namespace

// Each length was found by writing the frame's bits out (start bit to CRC), inserting a complement after
// every five equal bits, and adding the 13 fixed bits. The all-zero frame: 34 zeros need 6 stuff bits.
// 7FF without data: 0, eleven 1s (two stuff bits), seven 0s (one), CRC 010011100101111 (none).
TEST(BusStatistics, WireLengthCountsStuffBitsFromTheFramesBitsAndCrc) {
    struct Case {
        uint32_t id;
        bool extended;
        bool remote;
        uint8_t dlc;
        std::vector<uint8_t> data;
        int bits;
    };
    const std::vector<Case> cases{
        {0x000, false, false, 0, {}, 53},
        {0x7FF, false, false, 0, {}, 50},
        {0x7FF, false, true, 8, {}, 50}, // a remote frame carries no data whatever its length code
        {0x123, false, false, 8, {0x11, 0x22, 0x33, 0x44, 0x55, 0x66, 0x77, 0x88}, 112},
        {0x555, false, false, 8, {0x55, 0x55, 0x55, 0x55, 0x55, 0x55, 0x55, 0x55}, 112},
        {0x000, false, false, 8, {0, 0, 0, 0, 0, 0, 0, 0}, 127},
        {0x100, false, false, 1, {0x0F}, 59},
        {0x1FFFFFFF, true, true, 0, {}, 74},
        {0x12345678, true, false, 8, {0xAA, 0xAA, 0xAA, 0xAA, 0xAA, 0xAA, 0xAA, 0xAA}, 133},
        {0x00000000, true, false, 8, {0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF}, 150},
    };
    for (const Case& c : cases)
        EXPECT_EQ(canFrameWireBits(c.id, c.extended, c.remote, c.dlc, c.data), c.bits) << std::hex << c.id;

    // The frame record's texts give the same lengths; texts that are no frame give 0, never a guess.
    EXPECT_EQ(canFrameWireBits(frameOf("123", false, false, 8, "11 22 33 44 55 66 77 88")), 112);
    EXPECT_EQ(canFrameWireBits(frameOf("1FFFFFFF", true, true, 0, "RTR")), 74);
    EXPECT_EQ(canFrameWireBits(frameOf("100", false, false, 1, "0F")), 59);
    EXPECT_EQ(canFrameWireBits(frameOf("12G", false, false, 0, "")), 0);
    EXPECT_EQ(canFrameWireBits(frameOf("123", false, false, 1, "1")), 0);

    // 7FF, data frame, length 0: the CRC of its 19 bits.
    const std::vector<uint8_t> bits{0, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 0, 0, 0, 0, 0, 0, 0};
    EXPECT_EQ(canCrc15(bits), 0x272F);
}

TEST(BusStatistics, RatesAndLoadFollowTheWindowAndKeepTheirPeaks) {
    double now = 100.0;
    BusStatistics statistics([&now] { return now; });
    statistics.reset({125000, false, false});
    const CanFrame frame = frameOf("123", false, false, 8, "11 22 33 44 55 66 77 88"); // 112 bits

    // One second at 500 frames/s, in the middle of each bucket: 56,000 bits of 125,000.
    for (int tick = 0; tick < 10; ++tick) {
        now = 100.05 + 0.1 * tick;
        for (int i = 0; i < 50; ++i)
            statistics.countReceived(frame);
        statistics.countSent(50);
    }
    now = 100.9999;
    BusFigures figures = statistics.sample();
    EXPECT_NEAR(figures.receivedPerSecond, 500.0, 0.1);
    EXPECT_NEAR(figures.sentPerSecond, 10.0, 0.01);
    ASSERT_TRUE(figures.loadPercent);
    EXPECT_NEAR(*figures.loadPercent, 100.0 * (500 * 112 + 10 * 50) / 125000.0, 0.01);
    EXPECT_EQ(figures.receivedFrames, 500u);
    EXPECT_EQ(figures.sentFrames, 10u);
    EXPECT_EQ(compactBusText(figures), "Rx 500/s  Tx 10/s  Load 45.2 %");

    // A bus that stops drains to zero within the window; the peaks stay.
    now += 1.0;
    figures = statistics.sample();
    EXPECT_EQ(figures.receivedPerSecond, 0.0);
    EXPECT_EQ(*figures.loadPercent, 0.0);
    EXPECT_NEAR(figures.peakReceivedPerSecond, 500.0, 0.1);
    EXPECT_NEAR(*figures.peakLoadPercent, 45.2, 0.01);

    // Unknown bitrate and a link that cannot tell of errors: unknown, never 0.
    statistics.reset({std::nullopt, false, false});
    statistics.countReceived(frame);
    figures = statistics.sample();
    EXPECT_FALSE(figures.loadPercent);
    EXPECT_FALSE(figures.errorFrames);
    EXPECT_FALSE(figures.overruns);
    EXPECT_FALSE(figures.droppedFrames);
    EXPECT_EQ(compactBusText(figures), "Rx 10/s  Tx 0/s  Load ?"); // one frame in the shortest window
    EXPECT_EQ(figureText(figures.errorFrames), "unknown");
    EXPECT_EQ(percentText(figures.loadPercent), "unknown");
    statistics.reset({0, false, false}); // a bitrate of 0 is none reported
    statistics.countReceived(frame);
    EXPECT_FALSE(statistics.sample().loadPercent);
    EXPECT_EQ(bitrateOfIndex(8), 1000000u);
    EXPECT_FALSE(bitrateOfIndex(9)); // user defined: depends on the adapter's clock
}

TEST(BusStatistics, KernelErrorFramesReadAsWordsStateAndCounters) {
    const auto errorFrame = [](uint32_t kind, std::array<uint8_t, 8> data) {
        CanWireFrame frame;
        frame.canId = CAN_ERR_FLAG | kind;
        frame.len = CAN_ERR_DLC;
        frame.data = data;
        return frame;
    };
    CanWireFrame plain;
    plain.canId = 0x123;
    EXPECT_FALSE(decodeCanErrorFrame(plain));

    auto report = decodeCanErrorFrame(
        errorFrame(CAN_ERR_CRTL | CAN_ERR_CNT,
                   {0, CAN_ERR_CRTL_RX_OVERFLOW | CAN_ERR_CRTL_TX_WARNING, 0, 0, 0, 0, 100, 12}));
    ASSERT_TRUE(report);
    EXPECT_EQ(report->words, "controller: RX buffer overflow, TX error warning");
    EXPECT_EQ(report->state, "error warning");
    EXPECT_EQ(report->txErrors, 100);
    EXPECT_EQ(report->rxErrors, 12);
    EXPECT_TRUE(report->overrun);

    report = decodeCanErrorFrame(
        errorFrame(CAN_ERR_PROT | CAN_ERR_BUSERROR | CAN_ERR_CNT,
                   {0, 0, CAN_ERR_PROT_STUFF | CAN_ERR_PROT_TX, CAN_ERR_PROT_LOC_DATA, 0, 0, 130, 0}));
    EXPECT_EQ(report->words, "protocol violation: stuff error, while transmitting in the data; bus error");
    EXPECT_EQ(report->state, "error passive"); // from the counters, as the controller's thresholds put it
    EXPECT_FALSE(report->overrun);

    report = decodeCanErrorFrame(errorFrame(CAN_ERR_BUSOFF | CAN_ERR_ACK | CAN_ERR_TRX,
                                            {0, 0, 0, 0, CAN_ERR_TRX_CANL_SHORT_TO_GND, 0, 0, 0}));
    EXPECT_EQ(report->words, "transceiver: CAN low shorted to ground; no acknowledgement; bus off");
    EXPECT_EQ(report->state, "bus off");
    EXPECT_FALSE(report->txErrors); // no counters in the frame: not known, not 0

    // The thresholds themselves belong to the worse state.
    EXPECT_EQ(decodeCanErrorFrame(errorFrame(CAN_ERR_CNT, {0, 0, 0, 0, 0, 0, 0, 128}))->state,
              "error passive");
    EXPECT_EQ(decodeCanErrorFrame(errorFrame(CAN_ERR_CNT, {0, 0, 0, 0, 0, 0, 96, 0}))->state,
              "error warning");
    EXPECT_EQ(decodeCanErrorFrame(errorFrame(CAN_ERR_CNT, {0, 0, 0, 0, 0, 0, 95, 95}))->state,
              "error active");

    report = decodeCanErrorFrame(errorFrame(CAN_ERR_LOSTARB | CAN_ERR_RESTARTED, {7, 0, 0, 0, 0, 0, 0, 0}));
    EXPECT_EQ(report->words, "lost arbitration at bit 7; controller restarted");
    EXPECT_EQ(report->state, "error active");

    // Counted into the statistics of a link that reports them.
    double now = 0;
    BusStatistics statistics([&now] { return now; });
    statistics.reset({500000, true, true});
    EXPECT_EQ(statistics.sample().errorFrames, 0u);
    statistics.countErrorFrame(true, "error warning", 100, 12, "controller: RX buffer overflow");
    statistics.countErrorFrame(false, std::nullopt, std::nullopt, std::nullopt, "bus error");
    statistics.setDroppedFrames(3);
    const BusFigures figures = statistics.sample();
    EXPECT_EQ(figures.errorFrames, 2u);
    EXPECT_EQ(figures.overruns, 1u);
    EXPECT_EQ(figures.droppedFrames, 3u);
    EXPECT_EQ(figures.errorState, "error warning");
    EXPECT_EQ(figures.txErrorCounter, 100);
    EXPECT_EQ(figures.lastError, "bus error");
}
