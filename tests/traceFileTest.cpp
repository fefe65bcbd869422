#include "traces/traceFile.h"
#include "app/frMain.h"
#include "core/basGlobal.h"
#include "receive/tracerEdit.h"
#include "receive/tracerStore.h"
#include "receive/tracerView.h"
#include "support/fileSizeLimit.h"
#include "support/mainWindowFixture.h"
#include "support/tempDir.h"

#include <QAction>
#include <QFile>

#include <gtest/gtest.h>

#include <cctype>
#include <string>
#include <vector>

using namespace korvel;

namespace {

const std::string kHeader = "Time   ID     DLC Data                    Comment\r\n";
const std::string kLine1 = "01.234 123      2 11 22                   Door open";
const std::string kLine2 = "01.300 1ABCDEF0 8 01 02 03 04 05 06 07 08 ";

std::string readAll(const std::string& path) {
    QFile file(QString::fromStdString(path));
    EXPECT_TRUE(file.open(QIODevice::ReadOnly)) << path;
    return file.readAll().toStdString();
}

void writeAll(const std::string& path, const std::string& bytes) {
    QFile file(QString::fromStdString(path));
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    ASSERT_EQ(file.write(bytes.data(), static_cast<qint64>(bytes.size())), static_cast<qint64>(bytes.size()));
}

std::vector<std::string> linesOf(const TracerStore& store) {
    std::vector<std::string> lines;
    for (int i = 0; i < store.lineCount(); ++i)
        lines.emplace_back(store.line(i));
    return lines;
}

// The lines a file of these bytes loads as.
std::vector<std::string> loaded(const test::TempDir& tmp, const std::string& bytes) {
    const std::string path = tmp.file("in.trc");
    writeAll(path, bytes);
    TracerStore store;
    std::string error;
    EXPECT_TRUE(loadTraceFile(path, store, error)) << error;
    return linesOf(store);
}

using Lines = std::vector<std::string>;

} // namespace

TEST(TraceFile, SaveWritesTheHeaderAndCrLfLinesAndLoadReadsThemBackInUpperCase) {
    test::TempDir tmp;
    const std::string path = tmp.file("a.trc");
    TracerStore lines;
    std::string error;
    ASSERT_TRUE(saveTraceFile(path, lines, error)) << error;
    EXPECT_EQ(readAll(path), kHeader); // an empty Tracer: the header only

    lines.append(kLine1 + "\r\n" + kLine2 + "\r\n");
    ASSERT_TRUE(saveTraceFile(path, lines, error)) << error;
    EXPECT_EQ(readAll(path), kHeader + kLine1 + "\r\n" + kLine2 + "\r\n");

    TracerStore back;
    back.append("what was there before");
    ASSERT_TRUE(loadTraceFile(path, back, error)) << error;
    EXPECT_EQ(linesOf(back), Lines({"01.234 123      2 11 22                   DOOR OPEN", kLine2, ""}));

    // A last line without its line end is saved and loaded without one.
    lines.append("02.000 7FF");
    ASSERT_TRUE(saveTraceFile(path, lines, error)) << error;
    EXPECT_EQ(readAll(path).substr(readAll(path).size() - 12), "\r\n02.000 7FF");
    ASSERT_TRUE(loadTraceFile(path, back, error)) << error;
    EXPECT_EQ(back.lineCount(), 3);
    EXPECT_EQ(back.line(2), "02.000 7FF");
}

// The progress dialog lets a recording poll run during a long save; what it adds is not saved, not even the
// first new frame, which extends the empty last line.
TEST(TraceFile, SavingWhileRecordingSavesTheLinesOfTheStart) {
    test::TempDir tmp;
    const std::string path = tmp.file("a.trc");
    TracerStore lines;
    std::string start;
    for (int i = 0; i < 30000; ++i)
        start += kLine2 + "\r\n";
    lines.append(start);
    int calls = 0;
    std::string error;
    ASSERT_TRUE(saveTraceFile(path, lines, error, [&](std::int64_t, std::int64_t) {
        ++calls;
        lines.append("59.999 7FF      0                         \r\n");
    })) << error;
    EXPECT_GE(calls, 2);
    EXPECT_EQ(readAll(path), kHeader + start);
}

TEST(TraceFile, LoadDropsTheFirstLineWhateverItHoldsAndWhateverItsLineEnd) {
    test::TempDir tmp;
    EXPECT_EQ(loaded(tmp, "10.000 123 1 AA\r\n10.500 456 0\r\n"), Lines({"10.500 456 0", ""}));
    EXPECT_EQ(loaded(tmp, "header\nab 1\n\ncd 2\n"), Lines({"AB 1", "", "CD 2", ""})); // LF only
    EXPECT_EQ(loaded(tmp, "header\rab 1\rcd 2"), Lines({"AB 1", "CD 2"})); // CR only: nothing of line 2 lost
    EXPECT_EQ(loaded(tmp, "header\r\n\r\nx\n\ry"), Lines({"", "X", "", "Y"})); // mixed, empty lines kept
    EXPECT_EQ(loaded(tmp, "no line end at all"), Lines({""}));
    EXPECT_EQ(loaded(tmp, ""), Lines({""}));
}

TEST(TraceFile, LoadReadsLatin1AndUtf8AndLineEndsSplitAcrossReads) {
    test::TempDir tmp;
    EXPECT_EQ(loaded(tmp, "h\r\nT\xfcr auf\r\n"), Lines({"T\xc3\x9cR AUF", ""})); // Latin-1 ü becomes UTF-8 Ü
    EXPECT_EQ(loaded(tmp, "h\r\nT\xc3\xbcr\r\n"), Lines({"T\xc3\x9cR", ""}));     // UTF-8 stays UTF-8

    // A file read in several blocks: a CR LF and a line that straddle a block boundary stay one line end and
    // one line, wherever the boundary falls.
    for (std::size_t pad : {0U, 1U, 2U, 3U}) {
        std::string bytes = kHeader;
        std::vector<std::string> expected;
        int n = 0;
        while (bytes.size() < 2 * 1024 * 1024 + 200) {
            ++n;
            std::string line =
                "line " + std::to_string(n) + std::string(pad + static_cast<std::size_t>(n % 37), 'a');
            bytes += line + "\r\n";
            for (char& c : line)
                c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
            expected.push_back(line);
        }
        expected.emplace_back();
        EXPECT_EQ(loaded(tmp, bytes), expected) << pad;
    }
}

TEST(TraceFile, BadFilesAreRefusedAndLeaveTheTracerAlone) {
    test::TempDir tmp;
    TracerStore lines;
    lines.append("kept\r\n");
    std::string error;
    EXPECT_FALSE(loadTraceFile(tmp.file("missing.trc"), lines, error));
    EXPECT_FALSE(error.empty());
    EXPECT_FALSE(loadTraceFile(tmp.file(""), lines, error)); // a folder

    const std::string binary = tmp.file("binary.trc");
    writeAll(binary, std::string("head\r\n\x01\x02\0\xff", 10));
    error.clear();
    EXPECT_FALSE(loadTraceFile(binary, lines, error));
    EXPECT_EQ(error, "It is not a text file.");

    // A huge file is refused before anything is read (the file is sparse, so it costs no disk).
    const std::string huge = tmp.file("huge.trc");
    const std::int64_t limit = traceLoadLimitBytes(kDefaultRecordingLimitBytes);
    {
        QFile file(QString::fromStdString(huge));
        ASSERT_TRUE(file.open(QIODevice::WriteOnly));
        ASSERT_TRUE(file.resize(limit + 1));
    }
    error.clear();
    EXPECT_FALSE(loadTraceFile(huge, lines, error));
    EXPECT_EQ(error, "It is larger than the Tracer can hold (5120 MB).");
    EXPECT_EQ(linesOf(lines), Lines({"kept", ""}));
}

// Every trace a recording can save loads back; past the limit a load is refused by what its lines take in
// memory, so a file of bare line ends (small on disk, four times that in memory) cannot exhaust it either.
TEST(TraceFile, LoadTakesWhatARecordingSavesAndCountsMemoryNotFileBytes) {
    test::TempDir tmp;
    const std::int64_t recording = 1 << 20;
    TracerStore full;
    while (static_cast<std::int64_t>(full.textBytes()) < recording)
        full.append("00.000 123      8 11 22 33 44 55 66 77 88  comment\r\n");
    const std::string path = tmp.file("full.trc");
    std::string error;
    ASSERT_TRUE(saveTraceFile(path, full, error)) << error;
    TracerStore back;
    EXPECT_TRUE(loadTraceFile(path, back, error, {}, traceLoadLimitBytes(recording))) << error;
    EXPECT_EQ(back.lineCount(), full.lineCount());

    writeAll(path, "head\n" + std::string(300000, '\n'));
    EXPECT_FALSE(loadTraceFile(path, back, error, {}, recording));
    EXPECT_EQ(error, "It is larger than the Tracer can hold (1 MB).");
    EXPECT_EQ(back.lineCount(), full.lineCount());
}

TEST(TraceFile, AFailingSaveKeepsTheOldFileAndSaysWhy) {
    test::TempDir tmp;
    const std::string path = tmp.file("old.trc");
    writeAll(path, "the old recording");
    TracerStore lines;
    for (int i = 0; i < 40000; ++i) // larger than one write block
        lines.append(kLine1 + "\r\n");
    std::string error;
    {
        test::FileSizeLimit limit(64 * 1024);
        EXPECT_FALSE(saveTraceFile(path, lines, error));
    }
    EXPECT_FALSE(error.empty());
    EXPECT_EQ(readAll(path), "the old recording");
}

namespace {

class TraceMenuTest : public test::MainWindowFixture {
protected:
    void SetUp() override {
        MainWindowFixture::SetUp();
        window = openWindow();
    }
    void run(const char* menu) { window->findChild<QAction*>(QString::fromLatin1(menu))->trigger(); }
};

} // namespace

TEST_F(TraceMenuTest, SaveThenLoadThroughTheMenus) {
    TracerView& view = *window->tracerView();
    view.appendTracerText(kLine1 + "\r\n" + kLine2 + "\r\n");
    const std::string path = tmp.file("menu.trc");

    run("mnuSaveTrace"); // cancelled: nothing written, nothing asked
    EXPECT_FALSE(QFile::exists(QString::fromStdString(path)));

    prompts.log.fileNames = {QString::fromStdString(path)};
    run("mnuSaveTrace");
    EXPECT_EQ(readAll(path), kHeader + kLine1 + "\r\n" + kLine2 + "\r\n");
    EXPECT_EQ(basGlobal.lastFileName, path);
    EXPECT_EQ(view.lineCount(), 3); // the text as before, the caret at its start
    EXPECT_EQ(window->tracer()->caret(), TracerPos{});
    EXPECT_FALSE(window->tracer()->hasSelection());

    view.appendTracerText("typed\r\n");
    basGlobal.lastFileName.clear();
    prompts.log.fileNames = {QString::fromStdString(path)};
    run("mnuLoadTrace");
    EXPECT_EQ(basGlobal.lastFileName, path);
    ASSERT_EQ(view.lineCount(), 3);
    EXPECT_EQ(view.lineText(0), "01.234 123      2 11 22                   DOOR OPEN");
    EXPECT_EQ(view.lineText(1), kLine2);
    EXPECT_TRUE(prompts.log.messages.isEmpty());
}

TEST_F(TraceMenuTest, FailuresAreToldAndKeepTheTracer) {
    TracerView& view = *window->tracerView();
    view.appendTracerText(kLine1 + "\r\n");

    prompts.log.fileNames = {QString::fromStdString(tmp.file("no/such/folder/x.trc"))};
    run("mnuSaveTrace");
    ASSERT_EQ(prompts.log.messages.size(), 1);
    EXPECT_TRUE(prompts.log.messages[0].startsWith(QStringLiteral("Can't save ")));

    prompts.log.fileNames = {QString::fromStdString(tmp.file("missing.trc"))};
    run("mnuLoadTrace");
    ASSERT_EQ(prompts.log.messages.size(), 2);
    EXPECT_TRUE(prompts.log.messages[1].startsWith(QStringLiteral("Can't read ")));
    EXPECT_EQ(view.lineCount(), 2);
    EXPECT_EQ(view.lineText(0), kLine1);
}
