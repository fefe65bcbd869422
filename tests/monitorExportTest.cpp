// "Save Rx List": the fixed-column text of the Monitor rows, and the file it is written to.

#include "traces/monitorExport.h"
#include "app/frMain.h"
#include "core/basGlobal.h"
#include "core/textFile.h"
#include "receive/monitorModel.h"
#include "support/fileSizeLimit.h"
#include "support/mainWindowFixture.h"

#include <QAction>
#include <QFile>

#include <gtest/gtest.h>

using namespace korvel;

TEST(MonitorExport, ColumnsStartAtFixedPositionsAndLongTextsAreWrittenWhole) {
    const std::string header(kMonitorExportHeader);
    EXPECT_EQ(header.find("DLC"), 9U);
    EXPECT_EQ(header.find("Data"), 13U);
    EXPECT_EQ(header.find("Period"), 37U);
    EXPECT_EQ(header.find("Count"), 44U);
    EXPECT_EQ(header.find("Comment"), 51U);

    const std::string full =
        monitorExportLine({"1ABCDEF0", "8", "01 02 03 04 05 06 07 08", "100", "7", "Speed"});
    EXPECT_EQ(full, "1ABCDEF0 8   01 02 03 04 05 06 07 08 100    7      Speed");
    EXPECT_EQ(full.find("100"), 37U); // one blank after the 23 characters of eight bytes

    const std::string counted = monitorExportLine({"123", "0", "", "12345678", "123456789", "x"});
    EXPECT_EQ(counted, "123      0                           12345678123456789x");

    EXPECT_EQ(monitorExportLine({"7FF", "0", "RTR", "0", "1", ""}),
              "7FF      0   RTR                     0      1      ");
}

TEST(MonitorExport, TextIsTheHeaderAndOneLinePerRowWithCrLf) {
    EXPECT_EQ(monitorExportText({}), std::string(kMonitorExportHeader) + "\r\n");
    const std::string two =
        monitorExportText({{"100", "1", "AA", "10", "1", ""}, {"200", "0", "", "0", "2", "c"}});
    EXPECT_EQ(two, std::string(kMonitorExportHeader) + "\r\n" +
                       "100      1   AA                      10     1      \r\n" +
                       "200      0                           0      2      c\r\n");
}

namespace {

class SaveRxListTest : public test::MainWindowFixture {
protected:
    void SetUp() override {
        MainWindowFixture::SetUp();
        window = openWindow();
    }
    void addRow(const char* id, int dlc, const char* data) {
        PollEntry entry;
        entry.idText = ShortText<8>(id);
        entry.dlc = static_cast<uint8_t>(dlc);
        entry.frameCount = 3;
        entry.dataText = ShortText<23>(data);
        const PollEntry entries[] = {entry};
        RowTimes times;
        updateMonitorRows(*window->monitorModel(), entries, times,
                          [](std::string_view, std::string_view, std::string& comment) { comment.clear(); });
    }
    void saveRxList() { window->findChild<QAction*>("mnuSaveRxList")->trigger(); }
};

} // namespace

TEST_F(SaveRxListTest, WritesTheRowsInListOrderAndNothingWhenCancelled) {
    const std::string path = tmp.file("rx.txt");
    prompts.log.fileNames = {QString()};
    saveRxList();
    EXPECT_FALSE(QFile::exists(QString::fromStdString(path)));

    prompts.log.fileNames = {QString::fromStdString(path)};
    saveRxList();
    std::string text;
    ASSERT_TRUE(readTextFile(path, text));
    EXPECT_EQ(text, std::string(kMonitorExportHeader) + "\r\n");

    addRow("200", 2, "11 22");
    addRow("1ABCDEF0", 8, "01 02 03 04 05 06 07 08");
    prompts.log.fileNames = {QString::fromStdString(path)};
    saveRxList();
    ASSERT_TRUE(readTextFile(path, text));
    EXPECT_EQ(text, std::string(kMonitorExportHeader) + "\r\n" +
                        "200      2   11 22                   0      3      \r\n" +
                        "1ABCDEF0 8   01 02 03 04 05 06 07 08 0      3      \r\n");
    EXPECT_EQ(window->monitorModel()->rowCount(), 2);
    EXPECT_TRUE(prompts.log.messages.isEmpty());

    // A sorted list is written as it is shown.
    window->monitorModel()->setSort({MonitorModel::colId, true});
    prompts.log.fileNames = {QString::fromStdString(path)};
    saveRxList();
    ASSERT_TRUE(readTextFile(path, text));
    EXPECT_EQ(text, std::string(kMonitorExportHeader) + "\r\n" +
                        "1ABCDEF0 8   01 02 03 04 05 06 07 08 0      3      \r\n" +
                        "200      2   11 22                   0      3      \r\n");
}

TEST_F(SaveRxListTest, AFailedSaveIsReportedAndKeepsTheOldFile) {
    const std::string path = tmp.file("rx.txt");
    ASSERT_TRUE(writeTextFileAtomically(path, "old"));
    for (int i = 0; i < 200; ++i)
        addRow(QByteArray::number(0x100 + i, 16).constData(), 8, "01 02 03 04 05 06 07 08");
    prompts.log.fileNames = {QString::fromStdString(path)};
    {
        test::FileSizeLimit limit(1024);
        saveRxList();
    }
    ASSERT_EQ(prompts.log.messages.size(), 1);
    EXPECT_TRUE(prompts.log.messages.front().startsWith(QStringLiteral("Can't save ")));
    std::string text;
    ASSERT_TRUE(readTextFile(path, text));
    EXPECT_EQ(text, "old");
}
