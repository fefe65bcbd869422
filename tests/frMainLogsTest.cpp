#include "app/frMain.h"
#include "app/qtPrompts.h"
#include "core/basGlobal.h"
#include "receive/tracerView.h"
#include "support/scriptedPrompts.h"
#include "support/tempDir.h"

#include "receive/tracerEdit.h"
#include <QAction>

#include <gtest/gtest.h>

#include <fstream>

using namespace korvel;

namespace {

std::string fileBytes(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

// The File menu's Save Trace and Load Trace with a log's name: the Tracer goes out as the log and comes
// back as Tracer lines.
TEST(MainWindowLogs, SaveTraceAndLoadTraceExchangeLogs) {
    basGlobal = GlobalState{};
    test::TempDir tmp;
    basGlobal.iniPath = tmp.file("Korvel.ini");
    test::PromptsScope prompts;
    frMain w;
    w.load();
    const auto trigger = [&w](const char* name) {
        w.findChild<QAction*>(QString::fromLatin1(name))->trigger();
    };

    // Recorded lines are saved at the wall-clock time the poll read them, the earlier one 200 ms before.
    w.tracerView()->setWallClock([] { return std::int64_t{1'765'000'000'000'000}; });
    w.tracerView()->appendTracerText("59.900 123      2 11 22                   \r\n"
                                     "00.100 1ABCDEF0 0 RTR                     \r\n");
    const std::string log = tmp.file("trace.log");
    prompts.log.fileNames = {QString::fromStdString(log)};
    trigger("mnuSaveTrace");
    EXPECT_EQ(fileBytes(log), "(1764999999.800000) can0 123#1122\n(1765000000.000000) can0 1ABCDEF0#R\n");
    EXPECT_EQ(basGlobal.lastFileName, log);

    const std::string asc = tmp.file("other.ASC");
    std::ofstream(asc)
        << "base hex  timestamps absolute\n   1.5 1  7ffx  Rx   d 1 AB\n   1.6 CANFD 1 Rx 1 0 0 0 0\n";
    prompts.log.fileNames = {QString::fromStdString(asc)};
    trigger("mnuLoadTrace");
    EXPECT_EQ(w.tracer()->plainText().toStdString(), "01.500 000007FF 1 AB                      \n");
    ASSERT_EQ(prompts.log.messages.size(), 1);
    EXPECT_TRUE(prompts.log.messages[0].contains("(1 CAN FD frame); the first is line 3."));

    // A Trace name that cannot be read is told and leaves the Tracer as it was.
    prompts.log.fileNames = {QString::fromStdString(tmp.file("trace.trc"))};
    trigger("mnuLoadTrace");
    ASSERT_EQ(prompts.log.messages.size(), 2);
    EXPECT_TRUE(prompts.log.messages[1].startsWith("Can't read "));
    EXPECT_EQ(w.tracer()->plainText().toStdString(), "01.500 000007FF 1 AB                      \n");
    basGlobal = GlobalState{};
}

} // namespace

// A name typed without an extension takes the chosen filter's, which then picks the format it is saved in.
TEST(MainWindowLogs, SaveDialogsAddTheChosenFiltersExtension) {
    EXPECT_EQ(defaultSuffixOf(QStringLiteral("Trace (*.trc)")), QStringLiteral("trc"));
    EXPECT_EQ(defaultSuffixOf(QStringLiteral("candump log (*.log)")), QStringLiteral("log"));
    EXPECT_EQ(defaultSuffixOf(QStringLiteral("Textfile (*.txt *.text)")), QStringLiteral("txt"));
    EXPECT_EQ(defaultSuffixOf(QStringLiteral("All files (*)")), QString());
    EXPECT_EQ(defaultSuffixOf(QStringLiteral("Odd (*.tr?)")), QString());
}
