#include "link/frmSettings.h"
#include "core/basGlobal.h"
#include "link/deviceChoice.h"
#include "link/transport.h"
#include "link/virtualAdapterLink.h"
#include "sim/ptyAdapter.h"
#include "support/linkFixture.h"
#include "support/settingsDialogFixture.h"
#include "support/tempDir.h"

#include <QCheckBox>
#include <QComboBox>
#include <QFile>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTest>

#include <gmock/gmock.h>

using namespace korvel;
using test::child;
using ::testing::Contains;
using ::testing::Not;

namespace {

class SettingsDialogTest : public test::SettingsDialogFixture {
protected:
    std::unique_ptr<frmSettings> open(std::vector<std::string> devices = {"COM3", "Virtual CAN KV01",
                                                                          "PEAKUSB"}) {
        return std::make_unique<frmSettings>(basGlobal, std::move(devices),
                                             [this](const QString& text) { modeText = text; });
    }
    static void ok(QWidget& dialog) { child<QPushButton>(dialog, "cmdSettingsOK")->click(); }

    QString modeText;
};

} // namespace

TEST(DeviceChoice, TheFirstRuleThatHoldsDecides) {
    EXPECT_EQ(chooseDevice("PEAKUSB").deviceKind, 3);
    EXPECT_FALSE(chooseDevice("PEAKUSB").comPort.has_value());
    EXPECT_EQ(chooseDevice("Select CAN Device").deviceKind, 0);
    const DeviceChoice com = chooseDevice("COM3");
    EXPECT_EQ(com.deviceKind, 1);
    EXPECT_EQ(com.comPort, "3");
    EXPECT_EQ(chooseDevice("com").comPort, "");
    const DeviceChoice ftdi = chooseDevice("Virtual CAN KV01");
    EXPECT_EQ(ftdi.deviceKind, 2);
    EXPECT_EQ(ftdi.comPort, "KV01");
    // An FTDI description holding the letters com in any case is taken as a serial port.
    EXPECT_EQ(chooseDevice("Telecom Adapter X1").deviceKind, 1);
    EXPECT_EQ(chooseDevice("NOBLANKS").comPort, "NOBLANKS");
    EXPECT_EQ(serialSpeedFromText("57600 bit/s"), "57600");
    EXPECT_EQ(deviceText(2, "KV01"), "USB KV01");
}

TEST(DeviceChoice, SerialPortEntriesMapBackToTheirPorts) {
    EXPECT_EQ(serialPortEntry("COM3"), "COM3");
    EXPECT_EQ(serialPortEntry("COM10"), "COM10");
    EXPECT_EQ(serialPortEntry("ttyUSB0"), "COMttyUSB0");
    EXPECT_EQ(serialPortEntry("/tmp/korvel-sim"), "COM/tmp/korvel-sim");
    EXPECT_EQ(chooseDevice(serialPortEntry("COM3")).comPort, "3");
    EXPECT_EQ(chooseDevice(serialPortEntry("ttyUSB0")).comPort, "ttyUSB0");
    EXPECT_EQ(serialPortName(*chooseDevice(serialPortEntry("ttyACM1")).comPort), "ttyACM1");
}

TEST_F(SettingsDialogTest, OpensShowingTheCurrentSettingsAndKeepsThemOnOk) {
    basGlobal.deviceKind = 1;
    basGlobal.comPort = "3";
    basGlobal.canBitrateIndex = 6;
    basGlobal.setOption(optTimestamp, true);
    auto dialog = open();
    EXPECT_EQ(child<QComboBox>(*dialog, "coCommSelect")->currentText(), "COM3");
    EXPECT_EQ(child<QComboBox>(*dialog, "lCANBaudrate")->currentText(), "500 Kbit/s");
    EXPECT_EQ(child<QComboBox>(*dialog, "lCOMBaudrate")->currentText(), "57600 bit/s");
    EXPECT_TRUE(child<QCheckBox>(*dialog, "chTimestamp")->isChecked());
    EXPECT_FALSE(child<QLineEdit>(*dialog, "tCANUserBaudrate")->isEnabled());
    EXPECT_TRUE(child<QComboBox>(*dialog, "lCOMBaudrate")->isEnabled());
    ok(*dialog);
    EXPECT_EQ(basGlobal.deviceKind, 1);
    EXPECT_EQ(basGlobal.comPort, "3");
    EXPECT_EQ(basGlobal.comBaudrate, "57600");
    EXPECT_EQ(modeText, "Normal Mode");
}

TEST_F(SettingsDialogTest, ChoosingAnFtdiDeviceAndReopening) {
    auto dialog = open();
    auto* devices = child<QComboBox>(*dialog, "coCommSelect");
    devices->setCurrentIndex(1);
    EXPECT_FALSE(child<QComboBox>(*dialog, "lCOMBaudrate")->isEnabled());
    EXPECT_FALSE(child<QCheckBox>(*dialog, "chRTS")->isEnabled());
    child<QCheckBox>(*dialog, "chListenOnly")->setChecked(true);
    ok(*dialog);
    EXPECT_EQ(basGlobal.deviceKind, 2);
    EXPECT_EQ(basGlobal.comPort, "KV01");
    EXPECT_TRUE(basGlobal.hasOption(optListenOnly));
    EXPECT_EQ(modeText, "Listen Only");
    EXPECT_EQ(open()->findChild<QComboBox*>("coCommSelect")->currentText(), "USB KV01");
}

TEST_F(SettingsDialogTest, PeakKeepsThePortAndCancelChangesNothing) {
    basGlobal.comPort = "7";
    auto dialog = open();
    child<QComboBox>(*dialog, "coCommSelect")->setCurrentIndex(2);
    ok(*dialog);
    EXPECT_EQ(basGlobal.deviceKind, 3);
    EXPECT_EQ(basGlobal.comPort, "7");

    auto again = open();
    child<QComboBox>(*again, "coCommSelect")->setCurrentIndex(0);
    child<QComboBox>(*again, "lCANBaudrate")->setCurrentIndex(2);
    child<QCheckBox>(*again, "chTimestamp")->setChecked(true);
    child<QPushButton>(*again, "cmdSettingsCancel")->click();
    EXPECT_EQ(basGlobal.deviceKind, 3);
    EXPECT_EQ(basGlobal.canBitrateIndex, 0);
    EXPECT_FALSE(basGlobal.hasOption(optTimestamp));
}

TEST_F(SettingsDialogTest, UserBitrateRuleAndRegisterKeys) {
    auto dialog = open();
    auto* bitrate = child<QComboBox>(*dialog, "lCANBaudrate");
    auto* reg = child<QLineEdit>(*dialog, "tCANUserBaudrate");
    bitrate->setCurrentIndex(9);
    EXPECT_TRUE(reg->isEnabled());
    EXPECT_TRUE(child<QLabel>(*dialog, "lblRegister")->isEnabled());
    EXPECT_TRUE(child<QLabel>(*dialog, "lblRegisterFormat")->isEnabled());
    reg->clear();
    QTest::keyClicks(reg, QStringLiteral("g 1c"));
    EXPECT_EQ(reg->text(), "1C");
    bitrate->setCurrentIndex(3);
    EXPECT_FALSE(reg->isEnabled());
    bitrate->setCurrentIndex(9);
    ok(*dialog);
    EXPECT_EQ(basGlobal.canBitrateIndex, 9);
    EXPECT_EQ(basGlobal.userBitrate, "1C");
}

TEST_F(SettingsDialogTest, DropDownsIgnoreTyping) {
    auto dialog = open();
    auto* devices = child<QComboBox>(*dialog, "coCommSelect");
    const QString before = devices->currentText();
    QTest::keyClicks(devices, QStringLiteral("PEAK"));
    EXPECT_EQ(devices->currentText(), before);
}

TEST(DeviceList, ListsFtdiDevicesCleanedUpAndPeakLast) {
    using korvel::test::fakeControl;
    fakeControl<void (*)()>("libftd2xx.so", "korvelFakeFtdi_reset")();
    fakeControl<int (*)(const char*, const char*)>("libftd2xx.so", "korvelFakeFtdi_addDevice")(
        "Adapter X please insert CD!", "SER42");
    fakeControl<void (*)(int, uint32_t, uint32_t)>("libftd2xx.so", "korvelFakeFtdi_failDeviceField")(1, 1, 2);
    const std::vector<std::string> list = fillDeviceList(QStringLiteral("/dev/pts/77"));
    ASSERT_FALSE(list.empty());
    EXPECT_EQ(list.back(), "PEAKUSB");
    EXPECT_THAT(list, Contains("Korvel Virtual USB-CAN KV000001"));
    EXPECT_THAT(list, Contains("Adapter X 0"));
    EXPECT_THAT(list, Contains("COM/dev/pts/77"));
    fakeControl<void (*)()>("libftd2xx.so", "korvelFakeFtdi_reset")();
}

TEST_F(SettingsDialogTest, ARunningVirtualAdapterIsListedAndCanBeChosen) {
    test::TempDir runtime;
    struct RuntimeDir {
        QByteArray saved = qgetenv("XDG_RUNTIME_DIR");
        explicit RuntimeDir(const QString& path) { qputenv("XDG_RUNTIME_DIR", QFile::encodeName(path)); }
        ~RuntimeDir() { saved.isNull() ? qunsetenv("XDG_RUNTIME_DIR") : qputenv("XDG_RUNTIME_DIR", saved); }
    } runtimeDir(runtime.dir.path());
    const QString link = virtualAdapterLinkPath();
    const std::string entry = "COM" + link.toStdString();
    sim::PtyAdapter adapter;
    ASSERT_TRUE(adapter.isOpen());

    EXPECT_THAT(fillDeviceList(), Not(Contains(entry)));
    ASSERT_TRUE(QFile::link(adapter.slavePath(), link));
    const std::vector<std::string> devices = fillDeviceList();
    EXPECT_THAT(devices, Contains(entry));

    auto dialog = open(devices);
    auto* list = child<QComboBox>(*dialog, "coCommSelect");
    list->setCurrentIndex(list->findText(QString::fromStdString(entry)));
    EXPECT_TRUE(child<QComboBox>(*dialog, "lCOMBaudrate")->isEnabled());
    ok(*dialog);
    EXPECT_EQ(basGlobal.deviceKind, deviceCom);
    EXPECT_EQ(basGlobal.comPort, link.toStdString());

    // A link left behind by an adapter that has gone, or a plain file at that path, is not offered.
    QFile::remove(link);
    ASSERT_TRUE(QFile::link(QStringLiteral("/dev/korvel-gone"), link));
    EXPECT_THAT(fillDeviceList(), Not(Contains(entry)));
    QFile::remove(link);
    QFile plain(link);
    ASSERT_TRUE(plain.open(QIODevice::WriteOnly));
    plain.close();
    EXPECT_THAT(fillDeviceList(), Not(Contains(entry)));
}
