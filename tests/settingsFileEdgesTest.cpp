// The settings file at its edges: files that are not settings files, a full disk at Quit, values that do
// not fit, and window geometry that lies off every screen.

#include "app/frMain.h"
#include "core/basGlobal.h"
#include "core/iniFile.h"
#include "core/textFile.h"
#include "receive/detailsData.h"
#include "receive/frDetails.h"
#include "receive/monitorModel.h"
#include "settings/settingsStore.h"
#include "support/fileSizeLimit.h"
#include "support/fileText.h"
#include "support/mainWindowFixture.h"
#include "support/tempDir.h"

#include <QApplication>
#include <QFile>
#include <QGuiApplication>
#include <QScreen>
#include <QTableView>

#include <gtest/gtest.h>

#include <sys/stat.h>

#include <limits>

using namespace korvel;
using test::fileText;
using test::writeFile;

namespace {

// A settings file far beyond any real one: many more bytes than kMaxIniFileBytes of line feeds.
void writeOversized(const std::string& path) {
    writeFile(path, "[Options]\r\nComPort=5\r\n" + std::string(kMaxIniFileBytes + 1, '\n'));
}

} // namespace

TEST(IniFileEdges, AByteOrderMarkDoesNotHideTheFirstSection) {
    const IniDocument ini("\xEF\xBB\xBF[Options]\r\nComPort=7\r\n");
    EXPECT_EQ(iniString(ini, "Options", "ComPort"), "7");
    EXPECT_EQ(ini.text(), "[Options]\r\nComPort=7\r\n");
    // Two marks: the second must not stay in front of the section, where only the next reading drops it.
    const IniDocument twice("\xEF\xBB\xBF\xEF\xBB\xBF[Options]\r\nComPort=7\r\n");
    EXPECT_EQ(twice.text(), "[Options]\r\nComPort=7\r\n");
    EXPECT_EQ(IniDocument("\xEF\xBB\xBF\xEF\xBB\xBF").text(), "");
}

TEST(IniFileEdges, LongValuesAreCutAtACharacterBoundary) {
    // 253 ASCII bytes and a two-byte character: byte 254 would fall inside it.
    const std::string value = std::string(253, 'a') + "\xC3\xA9" + "tail";
    IniDocument ini;
    ini.setValue("Options", "FilterDiscrete", value);
    const std::string read = iniString(ini, "Options", "FilterDiscrete");
    EXPECT_EQ(read, std::string(253, 'a'));
    EXPECT_TRUE(isValidUtf8(read));
    // A three-byte character ending exactly at byte 254 stays whole.
    const std::string fits = std::string(251, 'b') + "\xE2\x82\xAC" + "x";
    ini.setValue("Options", "FilterDiscrete", fits);
    EXPECT_EQ(iniString(ini, "Options", "FilterDiscrete"), fits.substr(0, 254));
    EXPECT_EQ(utf8Prefix("\xF0\x9F\x98\x80", 3), "");
}

TEST(IniFileEdges, IntegersReachTheLowest32BitValueAndNoFurther) {
    const IniDocument ini(
        "[S]\r\nMin=-2147483648\r\nBelow=-2147483649\r\nMax=2147483647\r\nAbove=2147483648\r\n");
    EXPECT_EQ(iniInteger(ini, "S", "Min", 7), std::numeric_limits<int32_t>::min());
    EXPECT_EQ(iniInteger(ini, "S", "Below", 7), 7);
    EXPECT_EQ(iniInteger(ini, "S", "Max", 7), std::numeric_limits<int32_t>::max());
    EXPECT_EQ(iniInteger(ini, "S", "Above", 7), 7);
}

TEST(IniFileEdges, OnlyRegularFilesOfASaneSizeAreReadAndNoOtherIsReplaced) {
    test::TempDir dir;
    std::string error;
    // Missing: an empty document, no error.
    const auto missing = IniDocument::read(dir.file("none.ini"), &error);
    ASSERT_TRUE(missing.has_value());
    EXPECT_EQ(missing->text(), "");

    // A pipe would block the reader for ever, a device would never end.
    const std::string fifo = dir.file("fifo.ini");
    ASSERT_EQ(mkfifo(fifo.c_str(), 0600), 0);
    EXPECT_FALSE(IniDocument::read(fifo, &error).has_value());
    EXPECT_FALSE(error.empty());
    EXPECT_FALSE(IniDocument::read("/dev/zero", &error).has_value());

    const std::string big = dir.file("big.ini");
    writeOversized(big);
    const std::string before = fileText(big);
    EXPECT_FALSE(IniDocument::read(big, &error).has_value());
    EXPECT_EQ(IniDocument::load(big).text(), "");
    EXPECT_FALSE(writeIniString(big, "Options", "ComPort", "6", &error));
    EXPECT_FALSE(error.empty());
    EXPECT_EQ(fileText(big), before);
    EXPECT_FALSE(writeDetailsPosition(big, {1, 2}));
    EXPECT_EQ(fileText(big), before);
}

TEST(SettingsStoreEdges, APeakDeviceIsReadBack) {
    GlobalState state;
    state.deviceKind = devicePeakUsb;
    IniDocument ini;
    saveSettingsTo(ini, state, WindowPlacement{});
    EXPECT_EQ(ini.value("Options", "Device"), "3");
    GlobalState loaded;
    loadSettingsFrom(IniDocument(ini.text()), loaded);
    EXPECT_EQ(loaded.deviceKind, devicePeakUsb);
    loadSettingsFrom(IniDocument("[Options]\r\nDevice=5\r\n"), loaded);
    EXPECT_EQ(loaded.deviceKind, deviceNone);
}

TEST(SettingsStoreEdges, HugeOrDistantGeometryIsKeptOnAScreen) {
    const QRect primary(0, 0, 1920, 1040);
    const QRect second(1920, 0, 1280, 1000);
    const QList<QRect> screens{primary, primary, second};
    const auto rect = [&](int32_t left, int32_t top, int32_t width, int32_t height) {
        return placementRect({0, top, left, height, width}, 96, screens);
    };
    // 1440 twips are one inch, 96 pixels here.
    EXPECT_EQ(rect(1440, 2880, 14400, 7200), QRect(96, 192, 960, 480));
    EXPECT_EQ(rect(2000000000, 20000000, 2000000000, 20000000), primary);
    const int32_t most = std::numeric_limits<int32_t>::max();
    const int32_t least = std::numeric_limits<int32_t>::min();
    EXPECT_EQ(rect(least, least, most, most), primary);
    EXPECT_EQ(rect(least, 0, 14400, 7200), QRect(0, 0, 960, 480));
    // A window on the second screen stays there, moved only as far as it must.
    EXPECT_EQ(rect(2000 * 15, 100 * 15, 960 * 15, 480 * 15), QRect(2000, 100, 960, 480));
    EXPECT_EQ(rect(3000 * 15, 900 * 15, 960 * 15, 480 * 15), QRect(2240, 520, 960, 480));
    // Sizes of zero or less still give a window.
    EXPECT_EQ(rect(0, 0, 15, -5).size(), QSize(1, 1));
    EXPECT_EQ(placementRect({0, 0, 0, 1440, 1440}, 0, {primary}).size(), QSize(96, 96));
    // The window's minimum wins over a smaller stored size, and over a smaller screen.
    EXPECT_EQ(placementRect({0, 0, 0, 15, 15}, 96, {primary}, QSize(400, 300)), QRect(0, 0, 400, 300));
    EXPECT_EQ(placementRect({0, 0, 0, 15, 15}, 96, {QRect(0, 0, 320, 200)}, QSize(400, 300)).size(),
              QSize(400, 300));
}

namespace {

using SettingsFileWindowTest = test::MainWindowFixture;

} // namespace

TEST_F(SettingsFileWindowTest, AFileThatIsNoSettingsFileGivesTheDefaultsAndIsNeverReplaced) {
    for (const char* kind : {"fifo", "oversized"}) {
        SCOPED_TRACE(kind);
        QFile::remove(QString::fromStdString(basGlobal.iniPath));
        if (std::string_view(kind) == "fifo")
            ASSERT_EQ(mkfifo(basGlobal.iniPath.c_str(), 0600), 0);
        else
            writeOversized(basGlobal.iniPath);
        prompts.log.messages.clear();
        {
            auto w = openWindow(); // a pipe would block here
            EXPECT_EQ(basGlobal.comPort, "0");
            EXPECT_EQ(basGlobal.comBaudrate, "57600");
            ASSERT_EQ(prompts.log.messages.size(), 1);
            EXPECT_TRUE(prompts.log.messages[0].startsWith(
                QStringLiteral("Can't read %1!\n").arg(QString::fromStdString(basGlobal.iniPath))));
            EXPECT_TRUE(prompts.log.messages[0].endsWith(QStringLiteral("\nThe default settings are used.")));
            w->close();
        }
        ASSERT_EQ(prompts.log.messages.size(), 2);
        EXPECT_TRUE(prompts.log.messages[1].startsWith(
            QStringLiteral("Can't save %1!\n").arg(QString::fromStdString(basGlobal.iniPath))));
    }
    EXPECT_EQ(fileText(basGlobal.iniPath).substr(0, 22), "[Options]\r\nComPort=5\r\n");
}

TEST_F(SettingsFileWindowTest, AFullDiskAtQuitKeepsTheOldSettingsAndSaysSo) {
    // Longer than the limit below, so the new text cannot be written whole either.
    const std::string old = "[Options]\r\nComPort=4\r\n; " + std::string(8000, 'x') + "\r\n";
    writeFile(basGlobal.iniPath, old);
    auto w = openWindow();
    std::vector<PollEntry> entries(1);
    entries[0].idText.assign("123");
    entries[0].dataText.assign("01");
    entries[0].frameCount = 1;
    RowTimes times;
    updateMonitorRows(*w->monitorModel(), entries, times, {});
    w->findChild<QTableView*>("listReceive")->selectRow(0);
    w->runToolbarCommand(QStringLiteral("details"));
    ASSERT_NE(w->detailsWindow(), nullptr);
    basGlobal.comPort = "9";
    {
        test::FileSizeLimit limit(4096);
        w->close();
    }
    EXPECT_EQ(fileText(basGlobal.iniPath), old);
    const QString expected =
        QStringLiteral("Can't save %1!\n").arg(QString::fromStdString(basGlobal.iniPath));
    // The main window's settings, then the details window's position.
    ASSERT_EQ(prompts.log.messages.size(), 2);
    EXPECT_TRUE(prompts.log.messages[0].startsWith(expected));
    EXPECT_TRUE(prompts.log.messages[1].startsWith(expected));
    EXPECT_GT(prompts.log.messages[0].size(), expected.size()); // the reason follows
}

TEST_F(SettingsFileWindowTest, StoredGeometryOpensTheWindowOnTheScreenAndNoSmallerThanItsMinimum) {
    writeFile(basGlobal.iniPath, "[Position]\r\nTop=300\r\nLeft=300\r\nWidth=15\r\nHeight=15\r\n");
    auto tiny = openWindow();
    const QSize minimum = tiny->minimumSizeHint();
    EXPECT_GT(minimum.height(), 50);
    EXPECT_GE(tiny->geometry().width(), minimum.width());
    EXPECT_GE(tiny->geometry().height(), minimum.height());
    tiny->close();

    for (const char* size : {"20000000", "2000000000", "99999999999"}) {
        SCOPED_TRACE(size);
        writeFile(basGlobal.iniPath,
                  std::string("[Position]\r\nTop=2000000000\r\nLeft=-2000000000\r\nWidth=") + size +
                      "\r\nHeight=" + size + "\r\n");
        auto w = openWindow();
        const QRect available = QGuiApplication::primaryScreen()->availableGeometry();
        EXPECT_TRUE(available.contains(w->geometry())) << w->geometry().width();
        w->close();
        const IniDocument saved = IniDocument::load(basGlobal.iniPath);
        EXPECT_LE(std::stoll(saved.value("Position", "Width").value_or("0")),
                  available.width() * 1440LL / 72);
    }
}
