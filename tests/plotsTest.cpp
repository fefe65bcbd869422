#include "plots/decimate.h"
#include "plots/plotCsv.h"
#include "plots/plotHub.h"
#include "plots/plotSession.h"
#include "plots/plotSource.h"
#include "plots/receptionClock.h"
#include "plots/traceRing.h"
#include "signals/dbc.h"
#include "traces/logFrame.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <string_view>

namespace korvel {
namespace {

using namespace std::literals;

constexpr double kNaN = std::numeric_limits<double>::quiet_NaN();
constexpr double kInf = std::numeric_limits<double>::infinity();

TEST(PlotSource, FieldsOfEveryKindAndTooShortFrames) {
    const uint8_t data[8] = {0x80, 0x01, 0xFF, 0xFE, 0x05, 0, 0, 0};
    double v = 0;
    ByteSource s;
    s.byteIndex = 0;
    ASSERT_TRUE(byteSourceValue(s, data, 8, v));
    EXPECT_EQ(v, 128);
    s.isSigned = true;
    ASSERT_TRUE(byteSourceValue(s, data, 8, v));
    EXPECT_EQ(v, -128);

    s = {};
    s.field = ByteField::wordLittleEndian;
    s.byteIndex = 2;
    ASSERT_TRUE(byteSourceValue(s, data, 8, v));
    EXPECT_EQ(v, 0xFEFF);
    s.field = ByteField::wordBigEndian;
    ASSERT_TRUE(byteSourceValue(s, data, 8, v));
    EXPECT_EQ(v, 0xFFFE);
    s.isSigned = true;
    ASSERT_TRUE(byteSourceValue(s, data, 8, v));
    EXPECT_EQ(v, -2);
    // The word's second byte is missing from a frame of three bytes.
    EXPECT_FALSE(byteSourceValue(s, data, 3, v));
    EXPECT_FALSE(byteSourceValue(s, data, 0, v));

    s = {};
    s.field = ByteField::bit;
    s.byteIndex = 4;
    s.bitIndex = 2;
    ASSERT_TRUE(byteSourceValue(s, data, 8, v));
    EXPECT_EQ(v, 1);
    s.bitIndex = 1;
    ASSERT_TRUE(byteSourceValue(s, data, 8, v));
    EXPECT_EQ(v, 0);

    // Fields outside eight bytes, and identifiers too large for their kind, are refused.
    s = {};
    s.field = ByteField::wordBigEndian;
    s.byteIndex = 7;
    EXPECT_FALSE(isValidByteSource(s));
    s = {};
    s.field = ByteField::bit;
    s.bitIndex = 8;
    EXPECT_FALSE(isValidByteSource(s));
    s = {};
    s.id = 0x800;
    EXPECT_FALSE(isValidByteSource(s));
    s.extended = true;
    EXPECT_TRUE(isValidByteSource(s));
}

TEST(PlotSource, Names) {
    ByteSource s;
    s.id = 0x123;
    s.byteIndex = 2;
    EXPECT_EQ(byteSourceName(s), "123 byte 2");
    s = {0x18FEF100, true, ByteField::wordBigEndian, 2, 0, true};
    EXPECT_EQ(byteSourceName(s), "18FEF100 word 2-3 BE signed");
    s = {0x7, false, ByteField::bit, 1, 7, false};
    EXPECT_EQ(byteSourceName(s), "007 bit 1.7");
}

TEST(TraceRing, KeepsTheNewestPointsAndFindsTimes) {
    TraceRing ring(4);
    for (int i = 0; i < 10; ++i)
        ring.append(i, i * 10);
    ASSERT_EQ(ring.size(), 4u);
    EXPECT_EQ(ring.dropped(), 6u);
    EXPECT_EQ(ring.at(0).t, 6);
    EXPECT_EQ(ring.back().v, 90);
    EXPECT_EQ(ring.lowerBound(7.5), 2u);
    EXPECT_EQ(ring.lowerBound(100), 4u);
    std::size_t at = 0;
    ASSERT_TRUE(ring.lastAtOrBefore(7.5, at));
    EXPECT_EQ(ring.at(at).t, 7);
    EXPECT_FALSE(ring.lastAtOrBefore(5.9, at));

    // Ten million points into a ring of a thousand: memory stays at the ring's size.
    TraceRing big(1000);
    for (int i = 0; i < 10'000'000; ++i)
        big.append(i * 1e-3, i);
    EXPECT_EQ(big.size(), 1000u);
    EXPECT_EQ(big.back().v, 9'999'999);
    EXPECT_EQ(TraceRing(0).capacity(), 1u);
}

TEST(Decimate, MinMaxPerColumnKeepsSpikesAndEdges) {
    TraceRing ring(100000);
    for (int i = 0; i < 100000; ++i)
        ring.append(i * 1e-3, i == 50000 ? 1000 : (i == 70000 ? -1000 : 0));
    std::vector<PlotPoint> out;
    decimateTrace(ring, 10, 90, 200, out);
    EXPECT_LE(out.size(), 4u * 200 + 2);
    double low = 0, high = 0;
    for (const PlotPoint& p : out) {
        low = std::min(low, p.v);
        high = std::max(high, p.v);
    }
    EXPECT_EQ(high, 1000);
    EXPECT_EQ(low, -1000);
    // The nearest point outside the range on either side, so the line reaches the edges; times in order.
    EXPECT_LT(out.front().t, 10);
    EXPECT_GT(out.back().t, 90);
    // In time order, and no point twice (a flat column is its first and last point only).
    for (std::size_t i = 1; i < out.size(); ++i) {
        EXPECT_LE(out[i - 1].t, out[i].t);
        EXPECT_FALSE(out[i - 1].t == out[i].t && out[i - 1].v == out[i].v);
    }

    // Few points are drawn as they are; one pixel column or none still gives a defined, small result.
    decimateTrace(ring, 10, 10.005, 200, out);
    EXPECT_EQ(out.size(), 8u);
    decimateTrace(ring, 0, 100, 0, out);
    EXPECT_LE(out.size(), 4u);
    decimateTrace(ring, 5, 4, 100, out);
    EXPECT_TRUE(out.empty());
}

TEST(Decimate, NonFiniteValuesBreakTheLineAndStayOutOfTheScale) {
    TraceRing ring(100);
    const double values[] = {1, kNaN, 2, kInf, -kInf, 3};
    for (int i = 0; i < 6; ++i)
        ring.append(i, values[i]);
    std::vector<PlotPoint> out;
    decimateTrace(ring, 0, 5, 100, out);
    ASSERT_EQ(out.size(), 6u);
    EXPECT_TRUE(std::isnan(out[1].v));
    EXPECT_TRUE(std::isnan(out[3].v));
    EXPECT_TRUE(std::isnan(out[4].v));
    double low = 0, high = 0;
    ASSERT_TRUE(finiteValueRange(ring, 0, 5, low, high));
    EXPECT_EQ(low, 1);
    EXPECT_EQ(high, 3);

    // Decimated: a column holding a NaN ends with a gap, its finite points kept.
    TraceRing many(10000);
    for (int i = 0; i < 10000; ++i)
        many.append(i, i == 5000 ? kNaN : 1.0);
    decimateTrace(many, 0, 9999, 10, out);
    EXPECT_EQ(std::count_if(out.begin(), out.end(), [](const PlotPoint& p) { return std::isnan(p.v); }), 1);
    TraceRing none(10);
    none.append(0, kNaN);
    EXPECT_FALSE(finiteValueRange(none, 0, 1, low, high));
}

TEST(ReceptionClock, WrapsBackwardStepsAndSilentMinutes) {
    // Offline: a stamp that falls by more than half the period wrapped; a small fall is a step back.
    ReceptionClock offline;
    EXPECT_DOUBLE_EQ(offline.seconds(59000), 59.0);
    EXPECT_DOUBLE_EQ(offline.seconds(59900), 59.9);
    EXPECT_DOUBLE_EQ(offline.seconds(100), 60.1);
    EXPECT_DOUBLE_EQ(offline.seconds(50), 60.1);
    EXPECT_EQ(offline.backwardSteps(), 1u);
    EXPECT_DOUBLE_EQ(offline.seconds(200), 60.25);

    // Live: the host's clock tells a wrap from a step back, and counts the minutes no frame saw.
    ReceptionClock live;
    EXPECT_DOUBLE_EQ(live.seconds(59990, 1000.0), 59.99);
    EXPECT_DOUBLE_EQ(live.seconds(10, 1000.02), 60.01);
    EXPECT_DOUBLE_EQ(live.seconds(5, 1000.021), 60.01);
    EXPECT_DOUBLE_EQ(live.seconds(1005, 1121.021), 181.01);
    // A 16-bit counter wraps at 65.536 s.
    ReceptionClock counter;
    counter.seconds(65000, 0.0);
    EXPECT_DOUBLE_EQ(counter.seconds(100, 0.636), 65.636);
    // A clock that goes backwards or reads nonsense never moves the axis back.
    ReceptionClock host;
    EXPECT_EQ(host.hostOnly(500.0), 0.0);
    EXPECT_EQ(host.hostOnly(501.5), 1.5);
    EXPECT_EQ(host.hostOnly(400.0), 1.5);
    ReceptionClock odd;
    odd.seconds(1000, 0.0);
    EXPECT_DOUBLE_EQ(odd.seconds(1500, kNaN), 1.5);
}

TEST(PlotSession, FeedsMatchingTracesAndFindsTracerLines) {
    PlotSession session(10);
    EXPECT_EQ(session.ringPoints(), kMinRingPoints);
    ASSERT_TRUE(session.addTrace(ByteSource{0x123, false, ByteField::byte, 0, 0, false}));
    ASSERT_TRUE(session.addTrace(ByteSource{0x123, false, ByteField::wordLittleEndian, 1, 0, false}));
    EXPECT_FALSE(session.addTrace(ByteSource{0x123, false, ByteField::byte, 8, 0, false}));
    EXPECT_TRUE(session.wants(0x123, false));
    EXPECT_FALSE(session.wants(0x123, true));

    const uint8_t data[3] = {7, 0x34, 0x12};
    const uint64_t before = session.revision();
    session.addFrame(0x123, false, data, 3, 1.0);
    session.addFrame(0x123, false, data, 1, 2.0); // too short for the word
    session.addFrame(0x124, false, data, 3, 3.0);
    EXPECT_GT(session.revision(), before);
    EXPECT_EQ(session.trace(0).ring.size(), 2u);
    ASSERT_EQ(session.trace(1).ring.size(), 1u);
    EXPECT_EQ(session.trace(1).ring.at(0).v, 0x1234);
    double first = 0, last = 0;
    ASSERT_TRUE(session.timeRange(first, last));
    EXPECT_EQ(first, 1.0);
    EXPECT_EQ(last, 2.0);
    EXPECT_EQ(session.lineNearest(1.0), -1);

    session.removeTrace(0);
    EXPECT_EQ(session.traceCount(), 1);
    EXPECT_EQ(session.trace(0).name, "123 word 1-2 LE");

    // From the Tracer: times continue across the wrap, and each point knows its line.
    const std::string_view tracer = "59.000 123      3 01 00 00 \r\n"
                                    "not a frame\r\n"
                                    "59.900 456      1 05 \r\n"
                                    "00.100 123      3 02 00 00 \r\n"
                                    "00.200 123      0 RTR \r\n";
    PlotSession offline;
    offline.addTrace(ByteSource{0x123, false, ByteField::byte, 0, 0, false});
    const std::size_t frames = loadTracerLines(offline, [&](const auto& visit) {
        tracerTextLines(tracer)([&](std::string_view line) { visit(line); });
    });
    EXPECT_EQ(frames, 4u);
    const TraceRing& ring = offline.trace(0).ring;
    ASSERT_EQ(ring.size(), 2u);
    EXPECT_DOUBLE_EQ(ring.at(1).t, 60.1);
    EXPECT_EQ(offline.lineNearest(0), 0);
    EXPECT_EQ(offline.lineNearest(59.2), 0);
    EXPECT_EQ(offline.lineNearest(59.9), 3);
    EXPECT_EQ(offline.lineNearest(1e9), 3);
}

TEST(PlotSession, NamedSignalsDecodeFromTheirOwnCopyOfTheMessage) {
    PlotSession session;
    {
        const Database db = readDbc("BO_ 256 Engine: 8 ECU\n"
                                    " SG_ Speed : 0|16@1+ (0.5,0) [0|1000] \"km/h\" ECU\n");
        ASSERT_EQ(db.messages.size(), 1u);
        EXPECT_FALSE(session.addSignalTrace(db.messages[0], 1));
        ASSERT_TRUE(session.addSignalTrace(db.messages[0], 0));
    }
    EXPECT_EQ(session.trace(0).name, "Engine.Speed");
    EXPECT_EQ(session.trace(0).unit, "km/h");
    const uint8_t data[8] = {0x10, 0x01};
    session.addFrame(256, false, data, 8, 1.0);
    session.addFrame(256, false, data, 1, 2.0); // too short to carry the signal
    ASSERT_EQ(session.trace(0).ring.size(), 1u);
    EXPECT_EQ(session.trace(0).ring.at(0).v, 0x110 * 0.5);
}

TEST(PlotSession, RingSizeSetting) {
    EXPECT_EQ(ringPointsSetting(""), kDefaultRingPoints);
    EXPECT_EQ(ringPointsSetting("abc"), kDefaultRingPoints);
    EXPECT_EQ(ringPointsSetting("250000"), 250000u);
    EXPECT_EQ(ringPointsSetting("5"), kMinRingPoints);
    EXPECT_EQ(ringPointsSetting("99999999999999999999999"), kMaxRingPoints);
}

TEST(PlotSession, CsvMergesTracesByTimeAndLiveFramesShareOneClock) {
    PlotSession session;
    session.addTrace(ByteSource{0x100, false, ByteField::byte, 0, 0, false});
    session.addTrace(ByteSource{0x1ABCDEF0, true, ByteField::byte, 0, 0, true});
    PlotHub hub;
    hub.frameReceived(CanFrame{}, true, 0); // nothing attached: nothing happens
    hub.attach(&session);
    hub.attach(&session);
    const auto frame = [](const char* id, bool extended, const char* data, int32_t ms) {
        CanFrame f;
        f.idText = ShortText<8>(id);
        f.isExtended = extended;
        f.dataText = ShortText<23>(data);
        f.timestampMs = ms;
        return f;
    };
    hub.frameReceived(frame("100", false, "05", 59500), true, 10.0);
    hub.frameReceived(frame("1ABCDEF0", true, "FF 01", 59500), true, 10.0);
    hub.frameReceived(frame("100", false, "RTR", 59600), true, 10.1);
    hub.frameReceived(frame("200", false, "01", 59900), true, 10.4);
    hub.frameReceived(frame("100", false, "07", 200), true, 10.7);
    ASSERT_EQ(session.trace(0).ring.size(), 2u);
    EXPECT_DOUBLE_EQ(session.trace(0).ring.back().t, 60.2);
    EXPECT_EQ(session.trace(1).ring.back().v, -1);

    std::string csv;
    ASSERT_TRUE(writePlotCsv(session, 0, 100, [&](std::string_view text) {
        csv.append(text);
        return true;
    }));
    EXPECT_EQ(csv, "Time (s),100 byte 0,1ABCDEF0 byte 0 signed\r\n"
                   "59.5,5,-1\r\n60.2,7,\r\n");
    // Values that are no numbers are named; a refused piece ends the export with false.
    std::string cell;
    appendCsvNumber(cell, kNaN);
    appendCsvNumber(cell, -kInf);
    appendCsvNumber(cell, 0.1);
    EXPECT_EQ(cell, "nan-inf0.1");
    EXPECT_FALSE(writePlotCsv(session, 0, 100, [](std::string_view) { return false; }));

    hub.detach(&session);
    hub.frameReceived(frame("100", false, "09", 300), true, 10.8);
    EXPECT_EQ(session.trace(0).ring.size(), 2u);
}

} // namespace
} // namespace korvel
