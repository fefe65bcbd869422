#include "core/basGlobal.h"
#include "core/textFile.h"
#include "receive/sentFrames.h"
#include "receive/tracerLine.h"
#include "traces/ascLog.h"
#include "traces/candumpLog.h"
#include "traces/logCommands.h"
#include "traces/logFiles.h"
#include "traces/traceLine.h"

#include "support/fileSizeLimit.h"
#include "support/scriptedPrompts.h"
#include "support/tempDir.h"

#include <gtest/gtest.h>

#include <QDir>

#include <algorithm>
#include <cstdio>
#include <fstream>

namespace korvel {
namespace {

using namespace std::literals;

// A recording as the Tracer holds it: standard, extended, remote and empty frames, across a wrap.
constexpr std::string_view kRecording = "58.000 123      2 11 22                   \r\n"
                                        "59.500 1ABCDEF0 8 01 02 03 04 05 06 07 08 \r\n"
                                        "00.250 7FF      0 RTR                     \r\n"
                                        "00.251 000      0                         \r\n"
                                        "01.000 18FEF100 3 RTR                     \r\n";

std::string linesOf(std::string_view text, std::size_t from, std::size_t count) {
    std::string out;
    std::size_t start = 0;
    for (std::size_t n = 0; n < from + count && start < text.size(); ++n) {
        const std::size_t end = text.find("\r\n", start) + 2;
        if (n >= from)
            out.append(text.substr(start, end - start));
        start = end;
    }
    return out;
}

void writeFile(const std::string& path, std::string_view bytes) {
    std::ofstream(path, std::ios::binary).write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
}

// Every line a load produces must be one the replay sends unchanged.
void expectOnlyFrameLines(const std::string& tracerText) {
    LogSaveResult check;
    forEachTracerFrame(tracerTextLines(tracerText), check, [](const LogFrame&) {});
    EXPECT_EQ(check.skippedLines, 0u) << tracerText;
}

class LogRoundTrip : public ::testing::TestWithParam<LogFormat> {};

TEST_P(LogRoundTrip, TracerLinesComeBackUnchanged) {
    const LogSaveResult saved = logTextFromTracer(GetParam(), kRecording, "Tue Dec 08 03:22:23.000 am 2026");
    EXPECT_EQ(saved.frames, 5u);
    EXPECT_EQ(saved.skippedLines, 0u);
    const LogLoadResult loaded = loadLogText(GetParam(), saved.text, {});
    EXPECT_EQ(loaded.tracerText, kRecording);
    EXPECT_EQ(loaded.frames, 5u);
    EXPECT_EQ(loaded.skippedLines(), 0u);
    EXPECT_EQ(loaded.timeJumps, 0u);
    EXPECT_EQ(loadReportText("x", loaded), "");
}

TEST_P(LogRoundTrip, FilesKeepCommentsOutAndTheDecimalCommaIn) {
    test::TempDir dir;
    const std::string path = dir.file("trace");
    const std::string tracer = "01,234 123      2 11 22                   Door ASCII:OK\r\n";
    writeFile(path, logTextFromTracer(GetParam(), tracer, "Tue Dec 08 03:22:23.000 am 2026").text);
    LogLoadOptions options;
    options.decimalSeparator = ',';
    LogLoadResult loaded;
    ASSERT_TRUE(loadLogFile(GetParam(), path, options, loaded));
    EXPECT_EQ(loaded.tracerText, "01,234 123      2 11 22                   \r\n");
    // The comment of a loaded frame is the one the Tracer gives received frames.
    options.comment = [](const CanFrame& frame, std::string& comment) {
        comment = "C" + frame.idText.str();
    };
    ASSERT_TRUE(loadLogFile(GetParam(), path, options, loaded));
    EXPECT_EQ(loaded.tracerText, "01,234 123      2 11 22                   C123\r\n");
}

INSTANTIATE_TEST_SUITE_P(Formats, LogRoundTrip, ::testing::Values(LogFormat::candump, LogFormat::asc));

TEST(LogWriting, CandumpLinesAreTheToolsOwn) {
    const LogSaveResult saved = logTextFromTracer(LogFormat::candump, kRecording, {});
    EXPECT_EQ(saved.text, "(0000000058.000000) can0 123#1122\n"
                          "(0000000059.500000) can0 1ABCDEF0#0102030405060708\n"
                          "(0000000060.250000) can0 7FF#R\n"
                          "(0000000060.251000) can0 000#\n"
                          "(0000000061.000000) can0 18FEF100#R3\n");
}

TEST(LogWriting, AscHasItsHeaderAndFixedColumns) {
    const LogSaveResult saved =
        logTextFromTracer(LogFormat::asc, linesOf(kRecording, 1, 2), "Tue Dec 08 03:22:23.000 am 2026");
    EXPECT_EQ(saved.text, "date Tue Dec 08 03:22:23.000 am 2026\r\n"
                          "base hex  timestamps absolute\r\n"
                          "internal events logged\r\n"
                          "Begin Triggerblock Tue Dec 08 03:22:23.000 am 2026\r\n"
                          "   0.000000 Start of measurement\r\n"
                          "  59.500000 1  1ABCDEF0x       Rx   d 8 01 02 03 04 05 06 07 08\r\n"
                          "  60.250000 1  7FF             Rx   r 0\r\n"
                          "End TriggerBlock\r\n");
    EXPECT_EQ(ascDateText(QDateTime(QDate(2026, 12, 8), QTime(15, 4, 5, 60))),
              "Tue Dec 08 03:04:05.060 pm 2026");
    // The hours 00 and 12 are written as 12, in the date line and in the block's first line alike.
    const std::string midnight = logTextFromTracer(LogFormat::asc, std::string_view(),
                                                   ascDateText(QDateTime(QDate(2026, 12, 8), QTime(0, 30))))
                                     .text;
    EXPECT_NE(midnight.find("date Tue Dec 08 12:30:00.000 am 2026\r\n"), std::string::npos);
    EXPECT_NE(midnight.find("Begin Triggerblock Tue Dec 08 12:30:00.000 am 2026\r\n"), std::string::npos);
    EXPECT_EQ(ascDateText(QDateTime(QDate(2026, 12, 8), QTime(12, 0))), "Tue Dec 08 12:00:00.000 pm 2026");
}

TEST(LogWriting, SentFramesAreMarkedTxAndTheirLinesStillReplay) {
    const auto line = [](std::string_view id, bool extended, bool remote, uint8_t dlc, std::string_view data,
                         std::string_view time, std::string_view comment) {
        const CanFrame frame = sentFrameFromRow(id, std::to_string(dlc), data);
        EXPECT_EQ(frame.isExtended, extended);
        EXPECT_EQ(frame.isRemote, remote);
        std::string text;
        appendTracerLine(text, frame, time, comment);
        return text;
    };
    const std::string tracer =
        line("123", false, false, 2, "11 22", "01.000", "") +
        line("123", false, false, 2, "11 22", "01.001", sentFrameComment("")) +
        line("18fef100", true, false, 8, "01 02 03 04 05 06 07 08 ", "01.002", sentFrameComment("Engine")) +
        line("7FF", false, true, 0, "RTR", "01.003", sentFrameComment("")) +
        line("000", false, false, 0, "", "01.004", sentFrameComment(""));
    EXPECT_EQ(linesOf(tracer, 2, 2), "01.002 18FEF100 8 01 02 03 04 05 06 07 08 [Tx] Engine\r\n"
                                     "01.003 7FF      0 RTR                     [Tx]\r\n");

    EXPECT_EQ(logTextFromTracer(LogFormat::candump, tracer, {}).text,
              "(0000000001.000000) can0 123#1122\n"
              "(0000000001.001000) can0 123#1122 T\n"
              "(0000000001.002000) can0 18FEF100#0102030405060708 T\n"
              "(0000000001.003000) can0 7FF#R T\n"
              "(0000000001.004000) can0 000# T\n");
    const std::string asc = logTextFromTracer(LogFormat::asc, tracer, "Tue Dec 08 03:22:23.000 am 2026").text;
    EXPECT_NE(asc.find("   1.000000 1  123             Rx   d 2 11 22\r\n"), std::string::npos);
    EXPECT_NE(asc.find("   1.001000 1  123             Tx   d 2 11 22\r\n"), std::string::npos);
    EXPECT_NE(asc.find("   1.003000 1  7FF             Tx   r 0\r\n"), std::string::npos);

    // The replay reads every sent line as the frame it was, whatever follows the mark.
    for (std::size_t n = 1; n < 5; ++n) {
        const std::string text = linesOf(tracer, n, 1);
        const auto frame = parseTraceLine(std::string_view(text).substr(0, text.size() - 2));
        ASSERT_TRUE(frame) << text;
        EXPECT_EQ(frame->dlc, n == 2 ? 8 : (n == 1 ? 2 : 0)) << text;
    }
}

TEST(LogWriting, LinesThatHoldNoFrameAreCountedNotWritten) {
    const std::string tracer =
        "Time   ID     DLC Data                    Comment\r\n"
        "\r\n"
        "00.100 123      2 11 22                   \r\n"
        "00.200 FFF      0                         \r\n" // standard identifier past 7FF
        "00.300 123      3 11 22                   \r\n" // fewer bytes than its length
        "00.400 123      9 11 22 33 44 55 66 77 88 \r\n"
        "xx.500 123      0                         \r\n"
        "00.600 123456789 0                        \r\n"
        "00.700 123      1 1G                      \r\n"
        "   \r\n"
        "1000.000 123      0                       \r\n" // no Tracer time
        "00.800 12345    1 AB                      ";
    const LogSaveResult saved = logTextFromTracer(LogFormat::candump, tracer, {});
    EXPECT_EQ(saved.text, "(0000000000.100000) can0 123#1122\n(0000000000.800000) can0 00012345#AB\n");
    EXPECT_EQ(saved.skippedLines, 8u);
    EXPECT_EQ(saved.firstSkippedLine, 1u);
    EXPECT_EQ(saveReportText("/t/a.log", saved),
              "8 lines of the Tracer hold no frame and were not saved to /t/a.log; the first is line 1.");
}

TEST(LogWrap, SavedTimesGrowAcrossEveryWrapOfTheTimeField) {
    // Adapter times wrap at 60 s; several wraps add up.
    EXPECT_EQ(logTextFromTracer(
                  LogFormat::candump,
                  "50.000 123 0\r\n10.000 123 0\r\n50.000 123 0\r\n10.000 123 0\r\n10.000 123 0\r\n", {})
                  .text,
              "(0000000050.000000) can0 123#\n(0000000070.000000) can0 123#\n(0000000110.000000) can0 123#\n"
              "(0000000130.000000) can0 123#\n(0000000130.000000) can0 123#\n");
    // A Tracer whose times pass 60 s wraps at a larger period: 16-bit adapter counters, the PC clock.
    EXPECT_EQ(tracerWrapPeriodMs(59999), 60000);
    EXPECT_EQ(tracerWrapPeriodMs(65535), 65536);
    EXPECT_EQ(tracerWrapPeriodMs(99999), 100000);
    EXPECT_EQ(tracerWrapPeriodMs(150000), 150001); // times past every known period: no wrap at all
    EXPECT_EQ(logTextFromTracer(LogFormat::candump, "99.000 123 0\r\n00.500 123 0\r\n", {}).text,
              "(0000000099.000000) can0 123#\n(0000000100.500000) can0 123#\n");
    EXPECT_EQ(logTextFromTracer(LogFormat::candump, "65.000 123 0\r\n00.100 123 0\r\n", {}).text,
              "(0000000065.000000) can0 123#\n(0000000065.636000) can0 123#\n");
}

TEST(LogWrap, RecordedLinesSaveTheirAbsoluteTimeOfReception) {
    // Lines with a time of reception write it; a line typed by hand takes the nearest timed line's time
    // moved by the difference of their fields (the one below it, above the first timed line).
    const std::vector<std::pair<std::string_view, std::int64_t>> lines{
        {"59.900 123 0", kNoLineTime},           // typed above the first recorded line
        {"00.100 123 0", 1'765'000'000'123'456}, // recorded just after a wrap
        {"00.150 123 0", kNoLineTime},           // typed
        {"junk", kNoLineTime},
        {"00.300 123 0", 1'765'000'000'400'001}, // recorded: its own time, whatever the field says
    };
    const TracerTimedLineSource source = [&lines](const TracerTimedLineVisit& visit) {
        for (const auto& [line, time] : lines)
            visit(line, time);
    };
    const LogSaveResult candump = logTextFromTracer(LogFormat::candump, source, {});
    EXPECT_EQ(candump.text, "(1764999999.923456) can0 123#\n(1765000000.123456) can0 123#\n"
                            "(1765000000.173456) can0 123#\n(1765000000.400001) can0 123#\n");
    EXPECT_EQ(candump.skippedLines, 1u);
    const std::string asc = logTextFromTracer(LogFormat::asc, source, "Tue Dec 08 03:22:23.000 am 2026").text;
    // ASC: the date is the first frame's wall-clock time to the millisecond, times count from it.
    EXPECT_EQ(asc.rfind("date " + ascDateText(QDateTime::fromMSecsSinceEpoch(1'764'999'999'923)) + "\r\n", 0),
              0u)
        << asc;
    EXPECT_NE(asc.find(" 0.000456 1  123             Rx   d 0\r\n"), std::string::npos) << asc;
    EXPECT_NE(asc.find(" 0.477001 1  123             Rx   d 0\r\n"), std::string::npos) << asc;
    // The first timed line is the Tracer's first frame line: no extra pass needed, same result for it.
    const TracerTimedLineSource recorded = [](const TracerTimedLineVisit& visit) {
        visit("10.000 123 0", 5'000'000);
        visit("10.250 123 0", kNoLineTime);
    };
    EXPECT_EQ(logTextFromTracer(LogFormat::candump, recorded, {}).text,
              "(0000000005.000000) can0 123#\n(0000000005.250000) can0 123#\n");
}

TEST(LogWrap, LoadedTimesKeepTheirPlaceInTheMinuteRoundedToMilliseconds) {
    const LogLoadResult loaded = loadLogText(LogFormat::candump,
                                             "(1699999999.999600) can0 123#\n"
                                             "(1700000000.000400) can0 123#\n"
                                             "(1700000039.999500) can0 123#\n"
                                             "(1700000040.100000) can0 123#\n",
                                             {});
    EXPECT_EQ(loaded.tracerText, "20.000 123      0                         \r\n"
                                 "20.000 123      0                         \r\n"
                                 "00.000 123      0                         \r\n"
                                 "00.100 123      0                         \r\n");
    EXPECT_EQ(loaded.timeJumps, 0u);
}

TEST(LogWrap, TimesGoingBackOrJumpingByHoursFollowThePreviousLine) {
    const LogLoadResult loaded = loadLogText(LogFormat::candump,
                                             "(100.000000) can0 123#01\n"
                                             "(100.500000) can0 123#02\n"
                                             "(99.000000) can0 123#03\n"   // back 1.5 s
                                             "(99.250000) can0 123#04\n"   // spacing kept after it
                                             "(7299.250000) can0 123#05\n" // two hours later
                                             "(7299.300000) can0 123#06\n",
                                             {});
    EXPECT_EQ(loaded.tracerText, "40.000 123      1 01                      \r\n"
                                 "40.500 123      1 02                      \r\n"
                                 "40.500 123      1 03                      \r\n"
                                 "40.750 123      1 04                      \r\n"
                                 "40.750 123      1 05                      \r\n"
                                 "40.800 123      1 06                      \r\n");
    EXPECT_EQ(loaded.timeJumps, 2u);
    EXPECT_EQ(loadReportText("a.log", loaded), "2 frames go back in time or more than a minute ahead; replay "
                                               "sends each right after the line before it.");
}

TEST(LogReading, FdErrorAndUnreadableLinesAreCountedAndTheRestLoads) {
    const std::string_view log = "(1.000000) can0 123#1122\n"
                                 "(1.100000) can0 123##311223344556677889900\n"
                                 "(1.200000) can0 20000080#0000000000000000\n"
                                 "(1.300000) can0 800#11\n"   // standard identifier past 7FF
                                 "(1.400000) can0 12345#11\n" // neither 3 nor 8 digits
                                 "(1.500000) can0 123#112\n"  // half a byte
                                 "(1.600000) can0 123#112233445566778899\n"
                                 "(1.700000 can0 123#11\n"
                                 "(1.800000) can0 123#R9\n"
                                 "(1.900000) can0 123#11 X\n"
                                 "\x01\x02\xff\xfe\0binary\n"
                                 "\n"
                                 "(2.000000) can0 1FFFFFFF#11.22 R\n"
                                 "(2.100000) can0 123#1122334455667788_C\n"
                                 "(2.200000) can0 123#r2\n"sv;
    const LogLoadResult loaded = loadLogText(LogFormat::candump, log, {});
    EXPECT_EQ(loaded.tracerText, "01.000 123      2 11 22                   \r\n"
                                 "02.000 1FFFFFFF 2 11 22                   \r\n"
                                 "02.100 123      8 11 22 33 44 55 66 77 88 \r\n"
                                 "02.200 123      2 RTR                     \r\n");
    EXPECT_EQ(loaded.canFdFrames, 1u);
    EXPECT_EQ(loaded.errorFrames, 1u);
    EXPECT_EQ(loaded.unreadableLines, 8u);
    EXPECT_EQ(loaded.firstSkippedLine, 2u);
    EXPECT_EQ(loadReportText("/t/a.log", loaded),
              "10 lines of /t/a.log could not be loaded (1 CAN FD frame, 1 error frame, 8 unreadable lines); "
              "the first is line 2.");
}

TEST(LogReading, AscHeadersEventsBasesAndRelativeTimes) {
    const std::string asc =
        "date Tue Dec 08 03:22:23.000 am 2026\r\n"
        "base dec  timestamps relative\r\n"
        "no internal events logged\r\n"
        "// version 9.0.0\r\n"
        "Begin Triggerblock Tue Dec 08 03:22:23.000 am 2026\r\n"
        "   0.000000 Start of measurement\r\n"
        "   1.000000 1  291             Rx   d 2 17 255 Length = 0 BitCount = 0\r\n"
        "   0.500000 2  16777216x       Tx   r\r\n"
        "   0.250000 1  Statistic: D 0 R 0 XD 0 XR 0 E 0 O 0 B 0.00%\r\n"
        "   0.250000 CANFD 1 Rx 123 1 0 8 8 11 22 33 44 55 66 77 88 0 0 1000 0 0 0 0 0\r\n"
        "   0.250000 1  ErrorFrame\r\n"
        "   0.250000 1  2048            Rx   d 1 1\r\n" // standard identifier past 7FF
        "   0.250000 1  100             Rx   d 2 256 1\r\n"
        "   0.250000 CAN 1 Status:chip status error active\r\n"
        "base hex  timestamps absolute\r\n"
        "   9.000000 1  7ff             Rx   d F 1 2 3 4 5 6 7 8 9 A B C D E F\r\n"
        "End TriggerBlock\r\n";
    const LogLoadResult loaded = loadLogText(LogFormat::asc, asc, {});
    EXPECT_EQ(loaded.tracerText, "01.000 123      2 11 FF                   \r\n"
                                 "01.500 01000000 0 RTR                     \r\n"
                                 "09.000 7FF      8 01 02 03 04 05 06 07 08 \r\n");
    EXPECT_EQ(loaded.otherEvents, 2u);
    EXPECT_EQ(loaded.canFdFrames, 1u);
    EXPECT_EQ(loaded.errorFrames, 1u);
    EXPECT_EQ(loaded.unreadableLines, 2u);
    EXPECT_EQ(loaded.firstSkippedLine, 9u);
}

TEST(LogReading, LineEndsOfEveryKindNumberLinesAlike) {
    for (std::string_view end : {"\n", "\r\n", "\r"}) {
        std::string log;
        for (const char* line : {"(1.0) can0 123#", "junk", "(2.0) can0 123#"})
            log.append(line).append(end);
        const LogLoadResult loaded = loadLogText(LogFormat::candump, log, {});
        EXPECT_EQ(loaded.frames, 2u);
        EXPECT_EQ(loaded.firstSkippedLine, 2u);
    }
}

TEST(LogFiles, HugeLinesAndLongLogsStayBounded) {
    test::TempDir dir;
    const std::string path = dir.file("big.log");
    // A line of 3 MiB without an end spans several reads; the line after it still loads.
    std::string bytes(3u << 20, 'A');
    bytes += "\n(1.0) can0 123#11\n";
    for (int i = 0; i < 1000; ++i)
        bytes += "(2.0) can0 456#22\n";
    writeFile(path, bytes);
    LogLoadOptions options;
    options.maxFrames = 10;
    LogLoadResult loaded;
    ASSERT_TRUE(loadLogFile(LogFormat::candump, path, options, loaded));
    EXPECT_EQ(loaded.unreadableLines, 1u);
    EXPECT_EQ(loaded.frames, 10u);
    EXPECT_EQ(linesOf(loaded.tracerText, 0, 1), "01.000 123      1 11                      \r\n");
    EXPECT_EQ(loaded.stop, LogLoadResult::Stop::frameLimit);
    EXPECT_EQ(loaded.stoppedAtLine, 12u);
    expectOnlyFrameLines(loaded.tracerText);
    EXPECT_EQ(loadReportText("big.log", loaded),
              "1 line of big.log could not be loaded (1 unreadable line); the first is line 1.\n"
              "Loading stopped at line 12 of big.log: the Tracer takes at most 10 frames from a log.");

    // Handed over in pieces of whole lines, the text is the same and is not kept twice.
    std::string pieces;
    options.maxFrames = kMaxLogFrames;
    options.output = [&pieces](std::string_view lines) {
        EXPECT_TRUE(lines.ends_with("\r\n"));
        pieces += lines;
    };
    LogLoadResult streamed;
    ASSERT_TRUE(loadLogFile(LogFormat::candump, path, options, streamed));
    EXPECT_EQ(streamed.frames, 1001u);
    EXPECT_EQ(streamed.tracerText, "");
    EXPECT_EQ(pieces, loadLogText(LogFormat::candump, bytes, {}).tracerText);
}

TEST(LogFiles, OnlyRegularFilesAreReadAndTheSuffixChoosesTheFormat) {
    test::TempDir dir;
    LogLoadResult loaded;
    std::string error;
    EXPECT_FALSE(loadLogFile(LogFormat::candump, dir.file("none.log"), {}, loaded, &error));
    EXPECT_EQ(error, "The file does not exist.");
    EXPECT_FALSE(loadLogFile(LogFormat::asc, "/dev/zero", {}, loaded, &error));
    EXPECT_EQ(error, "It is not a regular file.");

    EXPECT_EQ(logFormatForPath("/a/b.LOG"), LogFormat::candump);
    EXPECT_EQ(logFormatForPath("b.asc"), LogFormat::asc);
    EXPECT_EQ(logFormatForPath("b.asc.trc"), LogFormat::trace);
    EXPECT_EQ(logFormatForPath("log"), LogFormat::trace);
    EXPECT_EQ(logFormatForPath("b"), LogFormat::trace);
}

// A save holds one block of the log at a time, and a write that fails leaves the old file as it was.
TEST(LogFiles, SavesGoOutInBlocksAndAFailedWriteKeepsTheOldFile) {
    constexpr int kLines = 120'000;
    const TracerLineSource many = [](const TracerLineVisit& visit) {
        char line[64];
        for (int i = 0; i < kLines; ++i) {
            std::snprintf(line, sizeof line, "%02d.%03d 123      8 01 02 03 04 05 06 07 08 ", i / 1000 % 60,
                          i % 1000);
            visit(line);
        }
    };
    std::string joined;
    std::size_t pieces = 0;
    std::size_t largest = 0;
    LogSaveResult saved;
    EXPECT_TRUE(writeLogFromTracer(
        LogFormat::asc, many, "Tue Dec 08 03:22:23.000 am 2026",
        [&](std::string_view bytes) {
            ++pieces;
            largest = std::max(largest, bytes.size());
            joined.append(bytes);
            return true;
        },
        saved));
    EXPECT_EQ(saved.frames, std::size_t{kLines});
    EXPECT_TRUE(saved.text.empty());
    EXPECT_GE(pieces, 4u);
    EXPECT_LE(largest, LogBlockWriter::kBlockBytes + 128);
    EXPECT_EQ(joined, logTextFromTracer(LogFormat::asc, many, "Tue Dec 08 03:22:23.000 am 2026").text);

    pieces = 0;
    EXPECT_FALSE(writeLogFromTracer(
        LogFormat::candump, many, {}, [&pieces](std::string_view) { return ++pieces < 2; }, saved));
    EXPECT_EQ(pieces, 2u);

    test::TempDir dir;
    test::PromptsScope prompts;
    const std::string path = dir.file("old.log");
    writeFile(path, "old\n");
    {
        test::FileSizeLimit limit(LogBlockWriter::kBlockBytes * 2);
        saveTracerLog(path, many);
    }
    ASSERT_EQ(prompts.log.messages.size(), 1);
    EXPECT_TRUE(prompts.log.messages[0].startsWith(QString::fromStdString("Can't save " + path + "!\n")));
    std::string text;
    ASSERT_TRUE(readTextFile(path, text));
    EXPECT_EQ(text, "old\n");
    EXPECT_EQ(QDir(dir.dir.path()).entryList(QDir::Files), QStringList{"old.log"});

    saveTracerLog(path, many);
    EXPECT_EQ(prompts.log.messages.size(), 1);
    ASSERT_TRUE(readFileBytes(path, text, 64u << 20));
    EXPECT_EQ(text, logTextFromTracer(LogFormat::candump, many, {}).text);
}

// What the Save Trace and Load Trace commands call for a log: every failure and every line left out is told.
TEST(LogCommands, SavesAndLoadsTellWhatTheyLeftOut) {
    basGlobal = GlobalState{};
    basGlobal.commentListText = "ID123=Door\r\n";
    test::TempDir dir;
    test::PromptsScope prompts;
    const std::string path = dir.file("trace.asc");

    saveTracerLog(path, tracerTextLines("00.100 123      1 11                      Door\r\njunk\r\n"));
    ASSERT_EQ(prompts.log.messages.size(), 1);
    EXPECT_EQ(prompts.log.messages[0].toStdString(),
              "1 line of the Tracer holds no frame and was not saved to " + path + "; the first is line 2.");

    std::string text;
    EXPECT_TRUE(loadTracerLog(path, [&text](std::string_view lines) { text += lines; }));
    EXPECT_EQ(text, "00.100 123      1 11                      Door\r\n");
    EXPECT_EQ(prompts.log.messages.size(), 1);

    saveTracerLog("/proc/korvel-no-such-folder/a.log", tracerTextLines(text));
    ASSERT_EQ(prompts.log.messages.size(), 2);
    EXPECT_TRUE(prompts.log.messages[1].startsWith("Can't save /proc/korvel-no-such-folder/a.log!"));
    EXPECT_FALSE(loadTracerLog(dir.file("none.log"), [](std::string_view) { ADD_FAILURE(); }));
    ASSERT_EQ(prompts.log.messages.size(), 3);
    EXPECT_TRUE(prompts.log.messages[2].contains("The file does not exist."));
    basGlobal = GlobalState{};
}

} // namespace
} // namespace korvel
