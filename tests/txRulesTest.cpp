// The transmit editor's text rules, the trigger patterns, the frame a row puts on the wire and reading a
// Tracer line back for "Copy to TX List".

#include "transmit/txCopySource.h"
#include "transmit/txFieldRules.h"
#include "transmit/txWire.h"

#include <gtest/gtest.h>

using namespace korvel;

TEST(TxFieldRulesTest, TypedKeysAreUpperCasedAndFilteredPerField) {
    EXPECT_EQ(hexFieldKey('a'), 'A');
    EXPECT_EQ(hexFieldKey('7'), '7');
    EXPECT_EQ(hexFieldKey(kBackspace), kBackspace);
    EXPECT_EQ(hexFieldKey(kCtrlV), kCtrlV);
    for (char refused : {'g', 'G', ' ', '*', '-', '\r', '\x01'})
        EXPECT_FALSE(hexFieldKey(refused)) << refused;

    EXPECT_TRUE(dlcFieldAccepts('0'));
    EXPECT_TRUE(dlcFieldAccepts('8'));
    EXPECT_TRUE(dlcFieldAccepts(kBackspace));
    EXPECT_FALSE(dlcFieldAccepts('9'));
    EXPECT_FALSE(dlcFieldAccepts(kCtrlV));

    EXPECT_TRUE(periodFieldAccepts('9'));
    EXPECT_FALSE(periodFieldAccepts('-'));
    EXPECT_FALSE(periodFieldAccepts('.'));

    EXPECT_EQ(triggerDataKey('*'), '*');
    EXPECT_EQ(triggerDataKey(' '), ' ');
    EXPECT_EQ(triggerDataKey('f'), 'F');
    EXPECT_FALSE(triggerDataKey('?'));
}

TEST(TxFieldRulesTest, LeavingFieldsPadsThem) {
    EXPECT_EQ(padIdText("7", false), "007");
    EXPECT_EQ(padIdText("7", true), "00000007");
    EXPECT_EQ(padIdText("", false), "000");
    EXPECT_EQ(padIdText("00000123", false), "123");
    EXPECT_EQ(padByteText(""), "00");
    EXPECT_EQ(padByteText("A"), "0A");
    EXPECT_EQ(padByteText("AB"), "AB");
}

TEST(TxFieldRulesTest, AByteIsWrittenIntoItsPlaceAndTheDataStays23Characters) {
    const std::string full = "00 00 00 00 00 00 00 00";
    EXPECT_EQ(writeByteIntoData(full, 0, "0A"), "0A 00 00 00 00 00 00 00");
    EXPECT_EQ(writeByteIntoData(full, 7, "FF"), "00 00 00 00 00 00 00 FF");
    EXPECT_EQ(writeByteIntoData(full, 2, "1"), "00 00 10 00 00 00 00 00"); // one character replaces one
    EXPECT_EQ(writeByteIntoData(full, 2, ""), full);
    EXPECT_EQ(writeByteIntoData("", 1, "22"), "   22                  ");
    EXPECT_EQ(writeByteIntoData("00 00", 0, "11").size(), kDataTextLength);
    EXPECT_EQ(byteOfData("11 22", 1), "22");
    EXPECT_EQ(byteOfData("11 22", 2), "");
    EXPECT_EQ(byteOfData("11 2", 1), "2");
}

TEST(TxFieldRulesTest, TriggerPatternsAreGroupedInPairsAndMatchedPositionByPosition) {
    EXPECT_EQ(formatTriggerData("1122**"), "11 22 **");
    EXPECT_EQ(formatTriggerData("123"), "12 3");
    EXPECT_EQ(formatTriggerData(" 1 1 2 2 "), "11 22");
    EXPECT_EQ(formatTriggerData(""), "");

    EXPECT_TRUE(matchTriggerData("11 22", "11 **"));
    EXPECT_TRUE(matchTriggerData("11 FF", "11 **"));
    EXPECT_FALSE(matchTriggerData("11 22 33", "11 **")); // other lengths never match
    EXPECT_FALSE(matchTriggerData("11", "11 **"));
    EXPECT_FALSE(matchTriggerData("12 22", "11 **"));
    EXPECT_FALSE(matchTriggerData("11 ff", "11 FF")); // exact case
    EXPECT_TRUE(matchTriggerData("", ""));            // an empty pattern matches DLC 0 only
    EXPECT_FALSE(matchTriggerData("00", ""));
}

TEST(TxFieldRulesTest, PeriodsAreRoundedAndLimited) {
    EXPECT_EQ(periodFromText("100"), 100);
    EXPECT_EQ(periodFromText(" 250ms"), 250);
    EXPECT_EQ(periodFromText("100.5"), 100); // a tie goes to the even neighbour
    EXPECT_EQ(periodFromText("101.5"), 102);
    EXPECT_EQ(periodFromText("-50"), 0);
    EXPECT_EQ(periodFromText("abc"), 0);
    EXPECT_EQ(periodFromText(""), 0);
    EXPECT_EQ(periodFromText("32767"), 32767);
    EXPECT_EQ(periodFromText("50000"), kMaxPeriodMs);
    EXPECT_EQ(periodFromText("99999999999999999999999999"), kMaxPeriodMs);
}

TEST(TxFieldRulesTest, TheModeColumnSelectsItsEntry) {
    EXPECT_EQ(modeEntryForColumn("off"), txModeOff);
    EXPECT_EQ(modeEntryForColumn("0"), txModePeriodic);
    EXPECT_EQ(modeEntryForColumn("250"), txModePeriodic);
    EXPECT_EQ(modeEntryForColumn("RTR"), txModeRtr);
    EXPECT_EQ(modeEntryForColumn("Trigger"), txModeTrigger);
    EXPECT_FALSE(modeEntryForColumn("trigger"));
    EXPECT_FALSE(modeEntryForColumn(""));
    EXPECT_FALSE(modeEntryForColumn("00"));
}

TEST(TxWireTest, WellFormedRowsBecomeFrames) {
    const auto data = wireFrameFromRow("7FF", "8", "01 02 03 04 05 06 07 08");
    ASSERT_TRUE(data);
    EXPECT_EQ(data->idText, "7FF");
    EXPECT_EQ(data->dataText, "01 02 03 04 05 06 07 08");

    // Bytes past the DLC (blanks from the editor, or anything a file holds) are not sent.
    const auto two = wireFrameFromRow("123", "2", "11 22 33 44 55 66 77 88");
    ASSERT_TRUE(two);
    EXPECT_EQ(two->dataText, "11 22");
    const auto padded = wireFrameFromRow("123", "2", "11 22                  ");
    ASSERT_TRUE(padded);
    EXPECT_EQ(padded->dataText, "11 22");

    const auto lower = wireFrameFromRow("1abcdef0", "1", "ab");
    ASSERT_TRUE(lower);
    EXPECT_EQ(lower->idText, "1ABCDEF0");
    EXPECT_EQ(lower->dataText, "AB");

    const auto remote = wireFrameFromRow("00000123", "0", "RTR");
    ASSERT_TRUE(remote);
    EXPECT_EQ(remote->dataText, "RTR");
    EXPECT_TRUE(wireFrameFromRow("123", "0", ""));
    // Only the byte pairs are sent, never what stands between them.
    const auto separated = wireFrameFromRow("123", "2", "11\r22");
    ASSERT_TRUE(separated);
    EXPECT_EQ(separated->dataText, "11 22");
}

TEST(TxWireTest, MalformedRowsMakeNoFrame) {
    // Identifiers: a typing state, a length between the two kinds, non-hexadecimal, out of range.
    for (const char* id : {"", "12", "1234", "123456789", "12G", "1 3", "800", "20000000", "-1"})
        EXPECT_FALSE(wireFrameFromRow(id, "1", "00")) << id;
    // DLC: empty, over 8, two digits, not a digit.
    for (const char* dlc : {"", "9", "10", "x", " 8"})
        EXPECT_FALSE(wireFrameFromRow("123", dlc, "00 00 00 00 00 00 00 00")) << dlc;
    // Data bytes within the DLC that are missing, short or not hexadecimal.
    for (const char* data : {"", "11", "11 2", "11 2Z", "11   ", "0", "1\r 22"})
        EXPECT_FALSE(wireFrameFromRow("123", "2", data)) << data;
    EXPECT_FALSE(wireFrameFromRow("123\rC", "0", "RTR"));

    // Each says why, for the user.
    const auto why = [](std::string_view id, std::string_view dlc, std::string_view data) {
        std::string problem;
        EXPECT_FALSE(wireFrameFromRow(id, dlc, data, &problem));
        return problem;
    };
    EXPECT_EQ(why("FFF", "0", ""), "ID FFF is above 7FF; check \"29 Bit Id\" for an extended ID");
    EXPECT_EQ(why("12", "0", ""), "ID 12 needs 3 digits");
    EXPECT_EQ(why("00123", "0", ""), "ID 00123 needs 8 digits");
    EXPECT_EQ(why("12g", "0", ""), "ID 12g is not hexadecimal");
    EXPECT_EQ(why("20000000", "0", ""), "ID 20000000 is above 1FFFFFFF");
    EXPECT_EQ(why("123", "9", ""), "the DLC is not a digit from 0 to 8");
    EXPECT_EQ(why("123", "2", "11 2Z"), "data byte 1 is not two hexadecimal digits");
}

TEST(TxCopySourceTest, TracerLinesOfEveryKindReadBack) {
    const auto standard = copySourceFromTracerLine("01.234 123      2 11 22                   ");
    ASSERT_TRUE(standard);
    EXPECT_EQ(standard->id, "123");
    EXPECT_EQ(standard->dlc, "2");
    EXPECT_EQ(standard->data, "11 22");
    EXPECT_EQ(standard->comment, "");
    EXPECT_EQ(standard->period, "0");

    const auto extended =
        copySourceFromTracerLine("59.999 1ABCDEF0 8 01 02 03 04 05 06 07 08 Engine speed\r\n");
    ASSERT_TRUE(extended);
    EXPECT_EQ(extended->id, "1ABCDEF0");
    EXPECT_EQ(extended->data, "01 02 03 04 05 06 07 08");
    EXPECT_EQ(extended->comment, "Engine speed ");

    const auto remote = copySourceFromTracerLine("00.500 7FF      0 RTR                     ");
    ASSERT_TRUE(remote);
    EXPECT_EQ(remote->data, "RTR");
    EXPECT_EQ(remote->dlc, "0");

    // A remote frame with a length shows RTR where its data would be; it stays a remote frame.
    const auto remoteWithLength = copySourceFromTracerLine("00.500 7FF      8 RTR                     ");
    ASSERT_TRUE(remoteWithLength);
    EXPECT_EQ(remoteWithLength->data, "RTR");

    const auto empty = copySourceFromTracerLine("00.000 123      0" + std::string(25, ' '));
    ASSERT_TRUE(empty);
    EXPECT_EQ(empty->dlc, "0");
    EXPECT_EQ(empty->data, "");

    // A length token longer than one character is no DLC once a comment follows.
    const auto odd = copySourceFromTracerLine("00.000 123 00 note");
    ASSERT_TRUE(odd);
    EXPECT_EQ(odd->dlc, "0");
    EXPECT_EQ(odd->comment, "note ");

    EXPECT_FALSE(copySourceFromTracerLine(""));
    EXPECT_FALSE(copySourceFromTracerLine("\r\n"));
    EXPECT_FALSE(copySourceFromTracerLine("01.234"));
    const auto huge = copySourceFromTracerLine("00.000 123 99999999999 AA");
    ASSERT_TRUE(huge);
    EXPECT_EQ(huge->data, "AA");
}
