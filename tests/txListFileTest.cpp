// The transmit list file: the round trip, the terminator and the row limit, what survives in a file saved
// over, files that cannot be read or replaced, and malformed values that must never reach an adapter.

#include "transmit/txListFile.h"
#include "core/iniFile.h"
#include "support/fileText.h"
#include "support/tempDir.h"
#include "transmit/txWire.h"

#include <QFile>

#include <gmock/gmock.h>

using namespace korvel;
using test::fileBytes;
using test::fileText;
using test::writeFile;

namespace {

TxRow makeRow(std::string id, std::string dlc, std::string data, int period, std::string mode,
              std::string comment = {}, std::string triggerId = {}, std::string triggerData = {}) {
    TxRow r;
    r.id = std::move(id);
    r.dlc = std::move(dlc);
    r.data = std::move(data);
    r.period = period;
    r.mode = std::move(mode);
    r.comment = std::move(comment);
    r.triggerId = std::move(triggerId);
    r.triggerData = std::move(triggerData);
    r.count = "17";
    r.running = true;
    return r;
}

} // namespace

TEST(TxListFileTest, SavedRowsLoadBackWithCountsResetAndTimersStopped) {
    test::TempDir tmp;
    const std::string path = tmp.file("list.txl");
    const std::vector<TxRow> rows = {
        makeRow("7FF", "8", "01 02 03 04 05 06 07 08", 100, "100", "Engine speed", "123", "11 **"),
        makeRow("00000123", "0", "RTR", 250, "RTR"),
    };
    std::string error;
    ASSERT_TRUE(saveTxListFile(path, rows, &error)) << error;
    EXPECT_THAT(fileText(path), ::testing::StartsWith("[TxList]\r\nMessage0Id=7FF\r\nMessage0DLC=8\r\n"
                                                      "Message0Data=01 02 03 04 05 06 07 08\r\n"
                                                      "Message0Period=100\r\nMessage0Comment=Engine speed\r\n"
                                                      "Message0Mode=100\r\nMessage0TriggerId=123\r\n"
                                                      "Message0TriggerData=11 **\r\n"));

    const auto loaded = loadTxListFile(path, &error);
    ASSERT_TRUE(loaded) << error;
    ASSERT_EQ(loaded->size(), 2U);
    for (std::size_t i = 0; i < rows.size(); ++i) {
        const TxRow& r = (*loaded)[i];
        EXPECT_EQ(r.id, rows[i].id);
        EXPECT_EQ(r.dlc, rows[i].dlc);
        EXPECT_EQ(r.data, rows[i].data);
        EXPECT_EQ(r.period, rows[i].period);
        EXPECT_EQ(r.mode, rows[i].mode);
        EXPECT_EQ(r.comment, rows[i].comment);
        EXPECT_EQ(r.triggerId, rows[i].triggerId);
        EXPECT_EQ(r.triggerData, rows[i].triggerData);
        EXPECT_EQ(r.count, "0");
        EXPECT_FALSE(r.running);
    }
}

TEST(TxListFileTest, AnEmptyListWritesOnlyTheTerminator) {
    test::TempDir tmp;
    const std::string path = tmp.file("empty.txl");
    ASSERT_TRUE(saveTxListFile(path, {}, nullptr));
    EXPECT_EQ(fileText(path), "[TxList]\r\nMessage0Id=-1\r\n");
    const auto loaded = loadTxListFile(path, nullptr);
    ASSERT_TRUE(loaded);
    EXPECT_TRUE(loaded->empty());
}

TEST(TxListFileTest, AFileWithoutTerminatorGives1001RowsOfDefaults) {
    IniDocument ini;
    for (int n = 0; n < 3; ++n)
        ini.setValue("TxList", "Message" + std::to_string(n) + "Id", "12" + std::to_string(n));
    const std::vector<TxRow> rows = txRowsFromIni(ini);
    ASSERT_EQ(rows.size(), static_cast<std::size_t>(kMaxTxListRows));
    EXPECT_EQ(rows[2].id, "122");
    const TxRow& filler = rows[1000];
    EXPECT_EQ(filler.id, "0");
    EXPECT_EQ(filler.dlc, "0");
    EXPECT_EQ(filler.data, "0");
    EXPECT_EQ(filler.mode, "0");
    EXPECT_EQ(filler.comment, "0");
    EXPECT_EQ(filler.period, 0);
    EXPECT_EQ(filler.triggerId, "0");
    EXPECT_EQ(filler.triggerData, "0");
    // An empty or binary file is such a file too.
    EXPECT_EQ(txRowsFromIni(IniDocument(std::string("\x7F"
                                                    "ELF\x02\x01\0\0\x89PNG\r\n",
                                                    15)))
                  .size(),
              1001U);
    EXPECT_EQ(txRowsFromIni(IniDocument("")).size(), 1001U);
}

TEST(TxListFileTest, SavingOverAFileKeepsItsOtherLinesAndReplacesTheList) {
    test::TempDir tmp;
    const std::string path = tmp.file("shared.txl");
    writeFile(path, "; my notes\r\n[Other]\r\nKey=Value\r\n[txlist]\r\nmessage0id=001\r\nMessage1Id=002\r\n"
                    "Message2Id=003\r\nMessage3Id=-1\r\n");
    ASSERT_TRUE(saveTxListFile(path, {makeRow("0AA", "1", "FF", 0, "off")}, nullptr));
    const IniDocument ini(fileText(path));
    EXPECT_EQ(ini.value("Other", "Key"), "Value");
    EXPECT_THAT(fileText(path), ::testing::StartsWith("; my notes\r\n"));
    EXPECT_EQ(ini.value("TxList", "Message0Id"), "0AA");
    EXPECT_EQ(ini.value("TxList", "Message1Id"), "-1");
    EXPECT_EQ(ini.value("TxList", "Message2Id"), "003"); // behind the terminator, never read
    const auto loaded = loadTxListFile(path, nullptr);
    ASSERT_TRUE(loaded);
    ASSERT_EQ(loaded->size(), 1U);
    EXPECT_EQ((*loaded)[0].data, "FF");
}

TEST(TxListFileTest, ACodePageFileKeepsItsBytesAndEveryCommentSurvives) {
    test::TempDir tmp;
    const std::string path = tmp.file("cp.txl");
    // Windows-1252 bytes, 0x80 to 0x9F among them; the lines the list does not own must stay as they are.
    const std::string notes = "[Notes]\r\nTemp=80 \xB0"
                              "C\r\nQuote=\x84"
                              "hi\x93 \x80 \x96 \x81\r\n";
    writeFile(path,
              notes + "[TxList]\r\nMessage0Id=123\r\nMessage0Comment=Gr\xFC\xDF \x80\r\nMessage1Id=-1\r\n");
    auto rows = loadTxListFile(path, nullptr);
    ASSERT_TRUE(rows);
    ASSERT_EQ(rows->size(), 1U);
    EXPECT_EQ((*rows)[0].comment, "Grüß €");

    // Typed comments: one the code page holds, written in it, and one it does not.
    (*rows)[0].comment = "Öl 80 °C – „ok“";
    rows->push_back(makeRow("124", "0", "", 0, "off", "Ω 5 µs"));
    ASSERT_TRUE(saveTxListFile(path, *rows, nullptr));
    const std::string saved = fileBytes(path);
    EXPECT_THAT(saved, ::testing::StartsWith(notes));
    EXPECT_THAT(saved, ::testing::HasSubstr("Message0Comment=\xD6l 80 \xB0"
                                            "C \x96 \x84ok\x93\r\n"));
    const auto back = loadTxListFile(path, nullptr);
    ASSERT_TRUE(back);
    ASSERT_EQ(back->size(), 2U);
    EXPECT_EQ((*back)[0].comment, "Öl 80 °C – „ok“");
    EXPECT_EQ((*back)[1].comment, "Ω 5 µs");
    // The file now mixes both encodings, and saving it again changes nothing.
    ASSERT_TRUE(saveTxListFile(path, *back, nullptr));
    EXPECT_EQ(fileBytes(path), saved);

    // A UTF-8 file stays UTF-8.
    const std::string utf8 = tmp.file("utf8.txl");
    writeFile(utf8, "[Notes]\r\nTemp=80 °C\r\n");
    ASSERT_TRUE(saveTxListFile(utf8, *back, nullptr));
    EXPECT_THAT(fileBytes(utf8), ::testing::StartsWith("[Notes]\r\nTemp=80 °C\r\n"));
    EXPECT_THAT(fileBytes(utf8), ::testing::HasSubstr("Message0Comment=Öl 80 °C – „ok“\r\n"));
}

TEST(TxListFileTest, AKeyGivenTwiceLoadsItsFirstValue) {
    const std::vector<TxRow> rows =
        txRowsFromIni(IniDocument("[TxList]\r\nMessage0Id=123\r\nMESSAGE0ID=456\r\n"
                                  "message0comment=first\r\nMessage0Comment=second\r\n"
                                  "Message1Id=-1\r\n"));
    ASSERT_EQ(rows.size(), 1U);
    EXPECT_EQ(rows[0].id, "123");
    EXPECT_EQ(rows[0].comment, "first");
}

TEST(TxListFileTest, ManyKeysAtOnceMatchOneKeyAtATime) {
    const std::string start = "[A]\r\nx=1\r\n[TxList]\r\nK1=old\r\n\r\n[B]\r\ny=2\r\n";
    IniDocument one(start);
    IniDocument many(start);
    const IniDocument::Entries values = {{"k1", "new"}, {"K2", "two"}, {"K3", ""}, {"k2", "again"}};
    for (const auto& [key, value] : values)
        one.setValue("TxList", key, value);
    many.setValues("TxList", values);
    EXPECT_EQ(many.text(), one.text());

    IniDocument fresh;
    fresh.setValues("New", {{"a", "1"}});
    EXPECT_EQ(fresh.text(), "[New]\r\na=1\r\n");
    EXPECT_THAT(many.entries("txlist"),
                ::testing::ElementsAre(std::pair<std::string, std::string>("k1", "new"),
                                       std::pair<std::string, std::string>("k2", "again"),
                                       std::pair<std::string, std::string>("K3", "")));
}

TEST(TxListFileTest, AFileThatCannotBeReadIsNeitherLoadedNorReplaced) {
    test::TempDir tmp;
    std::string error;
    EXPECT_FALSE(loadTxListFile(tmp.file("missing.txl"), &error));
    EXPECT_FALSE(error.empty());
    EXPECT_FALSE(loadTxListFile(tmp.file(""), &error)); // a folder

    // Larger than any list: not read, and a save does not replace what it holds.
    const std::string big = tmp.file("big.txl");
    writeFile(big, std::string(kMaxTxListFileBytes + 1, 'x'));
    EXPECT_FALSE(loadTxListFile(big, &error));
    EXPECT_FALSE(saveTxListFile(big, {makeRow("123", "0", "", 0, "off")}, &error));
    EXPECT_EQ(QFile(QString::fromStdString(big)).size(), static_cast<qint64>(kMaxTxListFileBytes + 1));

    // A place that cannot be written: the save fails and says why.
    error.clear();
    EXPECT_FALSE(saveTxListFile(tmp.file("no/such/folder/list.txl"), {}, &error));
    EXPECT_FALSE(error.empty());
}

TEST(TxListFileTest, MalformedValuesLoadAsTheyStandButNeverMakeAFrame) {
    const IniDocument ini(
        "[TxList]\r\n"
        "Message0Id=12G\r\nMessage0DLC=9\r\nMessage0Data=ZZ\r\nMessage0Period=-5\r\n"
        "Message1Id=123\r\nMessage1DLC=8\r\nMessage1Data=11 22\r\nMessage1Period=1e9\r\n"
        "Message2Id=1234\r\nMessage2DLC=2\r\nMessage2Data=11 22\r\nMessage2Period=99999\r\n"
        "Message3Id=123\r\nMessage3DLC=20\r\nMessage3Data=" +
        std::string(300, 'A') +
        "\r\nMessage3Period=abc\r\n"
        "Message4Id=7FF\r\nMessage4DLC=2\r\nMessage4Data=11 22 33\r\nMessage4Period=10.5\r\n"
        "Message5Id=-1\r\n");
    const std::vector<TxRow> rows = txRowsFromIni(ini);
    ASSERT_EQ(rows.size(), 5U);
    EXPECT_EQ(rows[0].period, 0);
    EXPECT_EQ(rows[1].period, 1);
    EXPECT_EQ(rows[2].period, 32767);
    EXPECT_EQ(rows[3].period, 0);
    EXPECT_EQ(rows[3].data.size(), kIniMaxValueLength);
    EXPECT_EQ(rows[4].period, 10);
    for (int i = 0; i < 4; ++i)
        EXPECT_FALSE(wireFrameFromRow(rows[i].id, rows[i].dlc, rows[i].data)) << i;
    const auto sent = wireFrameFromRow(rows[4].id, rows[4].dlc, rows[4].data);
    ASSERT_TRUE(sent);
    EXPECT_EQ(sent->dataText, "11 22");
}

TEST(TxListFileTest, ValuesWithLineBreaksStayOnOneLine) {
    test::TempDir tmp;
    const std::string path = tmp.file("breaks.txl");
    ASSERT_TRUE(saveTxListFile(path, {makeRow("123", "0", "", 0, "off", "two\r\nlines")}, nullptr));
    const auto loaded = loadTxListFile(path, nullptr);
    ASSERT_TRUE(loaded);
    ASSERT_EQ(loaded->size(), 1U);
    EXPECT_EQ((*loaded)[0].comment, "two  lines");
}
