#include "link/canFrame.h"
#include "core/numberText.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

using namespace korvel;

namespace {

std::vector<std::string> cut(LineCutter& state, std::string_view text) {
    std::vector<std::string_view> views;
    takeCompleteLines(text, state, views);
    return {views.begin(), views.end()};
}

CanFrame decode(std::string_view line, char separator = '.') {
    auto frame = decodeFrameLine(line, separator);
    EXPECT_TRUE(frame.has_value()) << line;
    return frame.value_or(CanFrame{});
}

} // namespace

TEST(LineCutting, JoinsALineSplitAcrossReadsOnlyWhenItsCrArrives) {
    LineCutter state;
    EXPECT_TRUE(cut(state, "t1232").empty());
    EXPECT_EQ(state.pendingLine, "t1232");
    EXPECT_EQ(cut(state, "1122\r"), std::vector<std::string>{"t12321122"});
    EXPECT_TRUE(state.pendingLine.empty());
}

TEST(LineCutting, EmptyTextKeepsThePendingLineAndTrailingTextWaits) {
    LineCutter state;
    cut(state, "z\rt12");
    EXPECT_TRUE(cut(state, "").empty());
    EXPECT_EQ(state.pendingLine, "t12");
    EXPECT_EQ(cut(state, "3\r\rT\r"), (std::vector<std::string>{"t123", "", "T"}));
}

TEST(LineCutting, AnOverlongLineIsDroppedAndTheNextLineStillDecodes) {
    LineCutter state;
    const std::string garbage(LineCutter::kMaxPendingLine + 1, 'x');
    EXPECT_TRUE(cut(state, garbage).empty());
    EXPECT_TRUE(state.pendingLine.empty());
    // More of the same line is still discarded, up to and including its CR.
    EXPECT_TRUE(cut(state, std::string(5000, 'y')).empty());
    EXPECT_EQ(state.pendingLine.size(), 0U);
    EXPECT_EQ(cut(state, "yyy\rt1230\r"), std::vector<std::string>{"t1230"});
}

TEST(LineCutting, ABellEndsALineSoTheFrameAfterAnErrorReplyDecodes) {
    LineCutter state;
    EXPECT_EQ(cut(state, "\at12321122\r"), (std::vector<std::string>{"", "t12321122"}));
    EXPECT_EQ(cut(state, "t1230\r\a\at7FF0\r\at1"), (std::vector<std::string>{"t1230", "", "", "t7FF0", ""}));
    EXPECT_EQ(state.pendingLine, "t1");
    EXPECT_EQ(cut(state, "230\r"), std::vector<std::string>{"t1230"});
    EXPECT_EQ(decode(cut(state, "\at4561AA\r").back()).dataText, "AA");
}

TEST(LineCutting, PendingTextNeverExceedsTheBoundWhateverArrives) {
    LineCutter state;
    for (int i = 0; i < 1000; ++i) {
        cut(state, std::string(97, static_cast<char>('a' + i % 26)));
        ASSERT_LE(state.pendingLine.size(), LineCutter::kMaxPendingLine);
    }
}

TEST(FrameDecoding, StandardDataFrameWithTimestamp) {
    const CanFrame f = decode("t12321122EA60");
    EXPECT_EQ(f.idText, "123");
    EXPECT_FALSE(f.isExtended);
    EXPECT_FALSE(f.isRemote);
    EXPECT_EQ(f.dlc, 2);
    EXPECT_EQ(f.dataText, "11 22");
    EXPECT_EQ(f.timestampMs, 60000);
    EXPECT_EQ(f.timestampText, "60.000");
}

TEST(FrameDecoding, RemoteFramesCarryRtrWhateverTheirLength) {
    const CanFrame zero = decode("r1230");
    EXPECT_TRUE(zero.isRemote);
    EXPECT_EQ(zero.dataText, "RTR");

    const CanFrame eight = decode("r123801F4");
    EXPECT_EQ(eight.dlc, 8);
    EXPECT_EQ(eight.dataText, "RTR");
    EXPECT_EQ(eight.timestampMs, 500);

    const CanFrame extended = decode("R1ABCDEF02");
    EXPECT_TRUE(extended.isExtended);
    EXPECT_TRUE(extended.isRemote);
    EXPECT_EQ(extended.idText, "1ABCDEF0");
    EXPECT_EQ(extended.dlc, 2);
}

TEST(FrameDecoding, ExtendedDataFrameAndLengthZero) {
    const CanFrame f = decode("T1ABCDEF080102030405060708FFFF");
    EXPECT_EQ(f.idText, "1ABCDEF0");
    EXPECT_EQ(f.dataText, "01 02 03 04 05 06 07 08");
    EXPECT_EQ(f.timestampMs, 65535);
    EXPECT_EQ(f.timestampText, "65.535");

    const CanFrame empty = decode("t7FF0");
    EXPECT_EQ(empty.dataText, "");
    EXPECT_EQ(empty.timestampMs, 0);
    EXPECT_EQ(empty.timestampText, "00.000");
}

TEST(FrameDecoding, KeepsLowerCaseIdentifiersAsTheyCame) {
    EXPECT_EQ(decode("t1ab0").idText, "1ab");
    EXPECT_EQ(decode("T1abcdef00").idText, "1abcdef0");
}

// A damaged line from an adapter must not become a frame that a recording would later replay.
TEST(FrameDecoding, OnlyWellFormedLinesAreFrames) {
    for (std::string_view line : {"t",
                                  "t12",
                                  "t123",
                                  "t12G0",
                                  "t0",
                                  "t1233AABB",
                                  "t1232AABBzz!!",
                                  "t1232AABB123",
                                  "t1232AABB12345",
                                  "t1232ZZ22",
                                  "t1239111111111111111111",
                                  "t8000",
                                  "TFFFFFFFF0",
                                  "T1FFFFFFFF0",
                                  "T123456780AAA",
                                  "r123",
                                  "r1231AA",
                                  "r1230123",
                                  "R1234567",
                                  "t1232AABB ",
                                  " t1230"})
        EXPECT_FALSE(decodeFrameLine(line, '.').has_value()) << line;
    EXPECT_EQ(decode("t7FF0").idText, "7FF");
    EXPECT_EQ(decode("T1FFFFFFF0").idText, "1FFFFFFF");
    EXPECT_EQ(decode("t1232aabb").dataText, "aa bb");
    EXPECT_EQ(decode("t1232AABB0001").timestampMs, 1);
}

TEST(FrameDecoding, IgnoresEverythingThatIsNotAFrameLine) {
    for (std::string_view line : {"z", "Z", "\a", "\n", "", "v1013", "V1013", "x123"})
        EXPECT_FALSE(decodeFrameLine(line, '.').has_value()) << line;
}

TEST(FrameDecoding, TimestampUsesTheLocaleSeparator) {
    EXPECT_EQ(decode("t12300001", ',').timestampText, "00,001");
    EXPECT_EQ(timestampText(1234, '.'), "01.234");
    EXPECT_EQ(timestampText(65535, ','), "65,535");
}

TEST(FrameEncoding, BuildsTheLinesATransmitRowSends) {
    EXPECT_EQ(encodeFrameLine("7FF", "8", "01 02 03 04 05 06 07 08"), "t7FF80102030405060708");
    EXPECT_EQ(encodeFrameLine("7FF", "8", "RTR"), "r7FF0");
    EXPECT_EQ(encodeFrameLine("1ABCDEF0", "2", "11 22"), "T1ABCDEF02"
                                                         "1122");
    EXPECT_EQ(encodeFrameLine("1ABCDEF0", "4", "RTR"), "R1ABCDEF00");
    EXPECT_EQ(encodeFrameLine("123", "0", ""), "t1230");
}

TEST(FrameEncoding, IdentifiersOfFourToSevenCharactersAreExtended) {
    EXPECT_EQ(encodeFrameLine("1234", "1", "AA"), "T12341AA");
    EXPECT_EQ(encodeFrameLine("1ABCDEF", "0", ""), "T1ABCDEF0");
    EXPECT_EQ(encodeFrameLine("12345", "0", "RTR"), "R123450");
    EXPECT_EQ(encodeFrameLine("12", "0", "RTR"), "r120");
}

TEST(BitrateTable, UserBitTimingForPeakTestsTheValueNotTheDigits) {
    EXPECT_EQ(peakBitTiming(kUserBitrateIndex, "0031C"), 0x031C);
    EXPECT_EQ(peakBitTiming(kUserBitrateIndex, "0000000000014"), 0x0014);
    EXPECT_EQ(peakBitTiming(kUserBitrateIndex, "FFFF"), 0xFFFF);
    EXPECT_EQ(peakBitTiming(kUserBitrateIndex, "10000"), 0);
    // Nine digits would wrap to 0x031C in a 32-bit reading; the value is still too large.
    EXPECT_EQ(peakBitTiming(kUserBitrateIndex, "10000031C"), 0);
    EXPECT_EQ(peakBitTiming(kUserBitrateIndex, ""), 0);
}

TEST(BitrateTable, NamesCommandsAndPeakTimings) {
    EXPECT_EQ(bitrateName(6), "500 kbit/s");
    EXPECT_EQ(bitrateName(9), "User defined");
    EXPECT_EQ(bitrateName(10), "");
    EXPECT_EQ(bitrateName(-1), "");
    EXPECT_EQ(bitrateCommand(4, "x"), "S4");
    EXPECT_EQ(bitrateCommand(9, "031C"), "s031C");
    EXPECT_EQ(peakBitTiming(4, ""), 0x031C);
    EXPECT_EQ(peakBitTiming(9, "031C"), 0x031C);
    EXPECT_EQ(peakBitTiming(9, "12345"), 0);
    EXPECT_EQ(peakBitTiming(12, ""), 0);
}

TEST(VersionReplies, ValidVersionsAndFirmwareText) {
    EXPECT_EQ(versionNumber("V1013\r"), 1013);
    EXPECT_EQ(firmwareText("V1013\r"), "Firmware: V10.13");
    EXPECT_EQ(firmwareText("v0205\r"), "Firmware: V2.05");
    EXPECT_EQ(versionNumber("\a"), 0);
    EXPECT_EQ(versionNumber(""), 0);
    EXPECT_EQ(versionNumber("V0000\r"), 0);
    EXPECT_EQ(firmwareText("\r"), "");
    EXPECT_EQ(versionNumber("V12\r"), 12);
}

TEST(PeakMessages, TransmitRowFillsTheMessage) {
    const PeakMessage standard = peakMessageFromRow("7FF", "3", "01 02 03 04 05 06 07 08");
    EXPECT_EQ(standard.id, 0x7FFU);
    EXPECT_EQ(standard.msgType, 0);
    EXPECT_EQ(standard.len, 3);
    EXPECT_EQ(standard.data[2], 3);
    EXPECT_EQ(standard.data[3], 0);

    const PeakMessage remote = peakMessageFromRow("1ABCDEF0", "4", "RTR");
    EXPECT_EQ(remote.msgType, kPeakExtended | kPeakRemote);
    EXPECT_EQ(remote.len, 4);
    EXPECT_EQ(remote.data[0], 0);

    // A length beyond the record's eight bytes never writes past them.
    const PeakMessage tooLong = peakMessageFromRow("123", "9", "01 02 03 04 05 06 07 08");
    EXPECT_EQ(tooLong.len, 8);
}

TEST(PeakMessages, ReceivedMessagesBecomeFrames) {
    PeakMessage m;
    m.id = 0x1ABCDE;
    m.msgType = kPeakExtended;
    m.len = 2;
    m.data = {0xAB, 0x01};
    CanFrame f = frameFromPeakMessage(m, 45296.121, '.');
    EXPECT_EQ(f.idText, "001ABCDE");
    EXPECT_EQ(f.dataText, "AB 01");
    EXPECT_EQ(f.timestampText, "96.121");
    EXPECT_EQ(f.timestampMs, 45296121 % 60000);

    m.id = 7;
    m.msgType = kPeakRemote;
    m.len = 4;
    f = frameFromPeakMessage(m, 45300.004, '.');
    EXPECT_EQ(f.idText, "007");
    EXPECT_EQ(f.dataText, "RTR");
    EXPECT_EQ(f.timestampText, "00.004");
}

TEST(NumberRules, HexDecimalAndRounding) {
    EXPECT_EQ(readHexNumber("1AB"), 0x1AB);
    EXPECT_EQ(readHexNumber("FFFFFFFF"), -1);
    EXPECT_EQ(readHexNumber("80000000"), INT32_MIN);
    EXPECT_EQ(readHexNumber("12G4"), 0x12);
    EXPECT_EQ(readHexNumber(""), 0);
    EXPECT_EQ(readHexNumber("xyz"), 0);
    EXPECT_EQ(readHexNumber("aBf"), 0xABF);
    EXPECT_EQ(hexDigitValue('0'), 0);
    EXPECT_EQ(hexDigitValue('9'), 9);
    EXPECT_EQ(hexDigitValue('a'), 10);
    EXPECT_EQ(hexDigitValue('F'), 15);
    for (const char other : {'/', ':', '@', 'G', '`', 'g', ' ', '\0', '\xFF'})
        EXPECT_EQ(hexDigitValue(other), -1) << static_cast<int>(other);
    EXPECT_DOUBLE_EQ(readNumber("  42abc"), 42);
    EXPECT_DOUBLE_EQ(readNumber("abc"), 0);
    EXPECT_EQ(roundHalfEven(2.5), 2);
    EXPECT_EQ(roundHalfEven(3.5), 4);
    EXPECT_EQ(roundHalfEven(1e30), INT32_MAX);
    EXPECT_EQ(readIniInteger("-12x", 0), -12);
    EXPECT_EQ(readIniInteger("x", 7), 7);
    EXPECT_EQ(readIniInteger("99999999999", 5), 5);
}
