// Reading Tracer lines back as frames to replay, and the wire form of those frames.

#include "traces/traceLine.h"
#include "core/basGlobal.h"
#include "link/canFrame.h"
#include "receive/comments.h"
#include "receive/tracerLine.h"

#include <gmock/gmock.h>

using namespace korvel;

namespace {

std::string tracerLine(std::string_view id, bool extended, bool remote, int dlc, std::string_view data,
                       std::string_view time, std::string_view comment = {}) {
    CanFrame frame;
    frame.idText = ShortText<8>(id);
    frame.isExtended = extended;
    frame.isRemote = remote;
    frame.dlc = static_cast<uint8_t>(dlc);
    frame.dataText = ShortText<23>(data);
    return formatTracerLine(frame, time, comment);
}

} // namespace

TEST(TraceLine, ReadsTheLinesTheTracerWrites) {
    const auto standard = parseTraceLine(tracerLine("123", false, false, 2, "11 22", "01.234", "Engine 7"));
    ASSERT_TRUE(standard);
    EXPECT_DOUBLE_EQ(standard->timeSeconds, 1.234);
    EXPECT_EQ(standard->idText, "123");
    EXPECT_FALSE(standard->isExtended);
    EXPECT_FALSE(standard->isRemote);
    EXPECT_EQ(traceProtocolLine(*standard), "t12321122");

    const auto full =
        parseTraceLine(tracerLine("1ABCDEF0", true, false, 8, "01 02 03 04 05 06 07 08", "65,535"));
    ASSERT_TRUE(full);
    EXPECT_DOUBLE_EQ(full->timeSeconds, 65.535);
    EXPECT_EQ(traceProtocolLine(*full), "T1ABCDEF080102030405060708");
    const PeakMessage message = tracePeakMessage(*full);
    EXPECT_EQ(message.id, 0x1ABCDEF0U);
    EXPECT_EQ(message.msgType, kPeakExtended);
    EXPECT_EQ(message.len, 8);
    EXPECT_EQ(message.data[7], 0x08);

    // A remote frame keeps its recorded length on the wire.
    const auto remote = parseTraceLine(tracerLine("7ff", false, true, 8, "RTR", "00.000"));
    ASSERT_TRUE(remote);
    EXPECT_EQ(traceProtocolLine(*remote), "r7ff8");
    EXPECT_EQ(tracePeakMessage(*remote).msgType, kPeakRemote);
    EXPECT_EQ(tracePeakMessage(*remote).len, 8);

    const auto empty = parseTraceLine(tracerLine("000", false, false, 0, "", "00.001"));
    ASSERT_TRUE(empty);
    EXPECT_EQ(traceProtocolLine(*empty), "t0000");
}

// With a comment, the padding before it can be whole runs of five blanks, whose removal would glue the
// comment to the length digit (length 0) or the last byte (length 5).
TEST(TraceLine, EveryFormTheTracerWritesReadsAsItsFrameWithOrWithoutComment) {
    const std::string list = "ID123=PUMP\r\nID1ABCDEF0=Door <ASC> <DEC>\r\n";
    for (const bool extended : {false, true}) {
        for (const bool remote : {false, true}) {
            for (int dlc = 0; dlc <= 8; ++dlc) {
                const std::string hex = remote ? "" : std::string("20414A7E0009FF4F").substr(0, 2 * dlc);
                std::string data = remote ? "RTR" : "";
                for (std::size_t k = 0; k < hex.size(); k += 2)
                    data += (k ? " " : "") + hex.substr(k, 2);
                const std::string id = extended ? "1ABCDEF0" : "123";
                for (const int32_t options : {0, optCommentAscii, optCommentDec}) {
                    for (const std::string& comment :
                         {std::string(), frameComment(id, data, list, options)}) {
                        const std::string line =
                            tracerLine(id, extended, remote, dlc, data, "01,234", comment);
                        const auto frame = parseTraceLine(line);
                        ASSERT_TRUE(frame) << line;
                        EXPECT_EQ(frame->idText, id);
                        EXPECT_EQ(frame->isExtended, extended);
                        EXPECT_EQ(frame->isRemote, remote);
                        EXPECT_EQ(frame->dlc, dlc) << line;
                        EXPECT_EQ(frame->dataHex, hex) << line;
                    }
                }
            }
        }
    }
    // Lines the field reading takes keep their reading, even where the comment column would tell otherwise.
    const auto typed = parseTraceLine("00.000 123      2 11                     22 COMMENT");
    ASSERT_TRUE(typed);
    EXPECT_EQ(typed->dataHex, "1122");
    // A glued comment outside the Tracer's columns is still an error.
    EXPECT_FALSE(parseTraceLine("00.000 123 5 11 22 33 44 55PUMP"));
}

TEST(TraceLine, TypedLinesWithShortIdentifiersArePaddedToTheirKind) {
    const auto standard = parseTraceLine("1,5 7 1 AA");
    ASSERT_TRUE(standard);
    EXPECT_DOUBLE_EQ(standard->timeSeconds, 1.5);
    EXPECT_EQ(traceProtocolLine(*standard), "t0071AA");
    const auto extended = parseTraceLine("\n0 1234 0 RTR");
    ASSERT_TRUE(extended);
    EXPECT_EQ(traceProtocolLine(*extended), "R000012340");
    EXPECT_EQ(tracePeakMessage(*extended).msgType, kPeakExtended | kPeakRemote);
}

TEST(TraceLine, RefusesEveryMalformedLine) {
    for (const char* bad : {
             "",                                        // nothing
             "01.234",                                  // identifier and length missing
             "01.234 123",                              // length missing
             "01.234  123 1 11",                        // an empty field where the identifier belongs
             "01.234 123 2 11",                         // fewer data bytes than the length promises
             "01.234 123 9 11 22 33 44 55 66 77 88 99", // more bytes than a frame holds
             "01.234 123 A 11",                         // length not a digit
             "01.234 123 12 11",                        // length of two digits
             "01.234 12G 1 11",                         // identifier not hexadecimal
             "01.234 123 1 1G",                         // data byte not hexadecimal
             "01.234 123 1 111",                        // data byte of three digits
             "01.234 123 1 1",                          // data byte of one digit
             "01.234 800 0",                            // standard identifier past 7FF
             "01.234 20000000 0",                       // extended identifier past 29 bits
             "01.234 012345678 0",                      // nine digits, though the value fits
             "1.2.3 123 0",                             // two separators
             "AB 123 0",                                // time not a number
             ",  123 0",                                // time without a digit
         })
        EXPECT_FALSE(parseTraceLine(bad)) << bad;
}

TEST(TraceLine, SkipsEmptyOneCharacterAndBlankLines) {
    EXPECT_TRUE(isSkippedTraceLine(""));
    EXPECT_TRUE(isSkippedTraceLine("1"));
    EXPECT_TRUE(isSkippedTraceLine("     "));
    EXPECT_FALSE(isSkippedTraceLine("12"));
}
