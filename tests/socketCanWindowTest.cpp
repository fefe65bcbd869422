// CAN network interfaces as a user meets them: listed and chosen in the settings dialog, and the main window
// connected to one through the socket-pair seam, from a stored settings file to "Disconnected!".

#include "app/frMain.h"
#include "core/basGlobal.h"
#include "core/iniFile.h"
#include "link/connection.h"
#include "link/frmSettings.h"
#include "receive/frBusStatistics.h"
#include "receive/tracerStore.h"
#include "receive/tracerView.h"
#include "support/mainWindowFixture.h"
#include "support/settingsDialogFixture.h"
#include "support/socketPairSeam.h"

#include <QAction>
#include <QComboBox>
#include <QCoreApplication>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTableView>
#include <QTimer>

#include <gmock/gmock.h>

#include <linux/can/error.h>

using namespace korvel;
using test::child;
using ::testing::ElementsAre;

namespace {

class SocketCanSettingsTest : public test::SettingsDialogFixture {
protected:
    void SetUp() override {
        SettingsDialogFixture::SetUp();
        basGlobal.canBitrateIndex = kUserBitrateIndex;
    }

    std::unique_ptr<frmSettings> open() {
        return std::make_unique<frmSettings>(
            basGlobal, std::vector<std::string>{"COM3", "SocketCAN can0", "SocketCAN COM1", "PEAKUSB"},
            [](const QString&) {});
    }
};

class SocketCanWindowTest : public test::MainWindowFixture {
protected:
    void SetUp() override {
        MainWindowFixture::SetUp();
        storeLinkSettings(deviceSocketCan, "vcan0", optRiskAccepted);
        window = openWindow();
    }

    QAbstractItemModel& monitor() { return *child<QTableView>(*window, "listReceive")->model(); }
    QString cell(int row, int column) { return monitor().index(row, column).data().toString(); }
    LinkController& link() { return window->link(); }

    test::SocketPairSeam bus;
};

} // namespace

TEST_F(SocketCanSettingsTest, ChoosingAnInterfaceStoresItAndLeavesTheBitrateToTheSystem) {
    auto dialog = open();
    auto* device = child<QComboBox>(*dialog, "coCommSelect");
    auto* bitrate = child<QComboBox>(*dialog, "lCANBaudrate");
    EXPECT_TRUE(bitrate->isEnabled());
    EXPECT_TRUE(child<QLineEdit>(*dialog, "tCANUserBaudrate")->isEnabled());

    device->setCurrentIndex(device->findText(QStringLiteral("SocketCAN can0")));
    EXPECT_FALSE(bitrate->isEnabled());
    EXPECT_FALSE(bitrate->toolTip().isEmpty());
    EXPECT_FALSE(child<QLineEdit>(*dialog, "tCANUserBaudrate")->isEnabled());
    EXPECT_FALSE(child<QComboBox>(*dialog, "lCOMBaudrate")->isEnabled());
    child<QPushButton>(*dialog, "cmdSettingsOK")->click();
    EXPECT_EQ(basGlobal.deviceKind, deviceSocketCan);
    EXPECT_EQ(basGlobal.comPort, "can0");
    EXPECT_EQ(basGlobal.canBitrateIndex, kUserBitrateIndex); // kept for the other kinds

    auto reopened = open();
    EXPECT_EQ(child<QComboBox>(*reopened, "coCommSelect")->currentText(), "SocketCAN can0");
    EXPECT_FALSE(child<QComboBox>(*reopened, "lCANBaudrate")->isEnabled());

    // An interface named like a serial port is still an interface; a serial port enables the bitrate again.
    auto* again = child<QComboBox>(*reopened, "coCommSelect");
    again->setCurrentIndex(again->findText(QStringLiteral("SocketCAN COM1")));
    EXPECT_FALSE(child<QComboBox>(*reopened, "lCOMBaudrate")->isEnabled());
    again->setCurrentIndex(again->findText(QStringLiteral("COM3")));
    EXPECT_TRUE(child<QComboBox>(*reopened, "lCANBaudrate")->isEnabled());
    EXPECT_TRUE(child<QComboBox>(*reopened, "lCOMBaudrate")->isEnabled());
}

TEST_F(SocketCanWindowTest, AStoredInterfaceConnectsShowsTrafficSendsAndEndsInDisconnected) {
    window->runToolbarCommand(QStringLiteral("connect"));
    ASSERT_TRUE(basGlobal.isConnected);
    EXPECT_THAT(bus.opened, ElementsAre("vcan0"));
    EXPECT_EQ(window->statusText(1), "Connected to vcan0");
    EXPECT_EQ(window->statusText(2), "Bitrate and listen-only: set by the system");

    bus.send(0x123, {0x11, 0x22});
    bus.send(CAN_EFF_FLAG | 0x18FF00AA, {0x01});
    window->pollTick();
    ASSERT_EQ(monitor().rowCount(), 2);
    // New rows come newest first, as on the adapter kinds.
    EXPECT_EQ(cell(0, 0), "18FF00AA");
    EXPECT_EQ(cell(1, 0), "123");
    EXPECT_EQ(cell(1, 2), "11 22");
    EXPECT_TRUE(window->pollTimer()->isActive());

    child<QPushButton>(*window, "cmdSend")->click();
    can_frame frame{};
    ASSERT_TRUE(bus.receive(frame));
    EXPECT_EQ(frame.can_id, 0x000u);
    EXPECT_EQ(frame.len, 8);

    bus.send(CAN_ERR_FLAG | CAN_ERR_BUSOFF, {0, 0, 0, 0, 0, 0, 0, 0});
    window->pollTick();
    EXPECT_FALSE(basGlobal.isConnected);
    EXPECT_FALSE(window->pollTimer()->isActive());
    EXPECT_THAT(prompts.log.messages, ElementsAre("Disconnected!"));
    EXPECT_EQ(window->statusText(1), "Not Connected");
}

TEST_F(SocketCanWindowTest, AStoredInterfaceThatIsGoneGivesTheCannotOpenMessage) {
    bus.failWith = ENODEV;
    window->runToolbarCommand(QStringLiteral("connect"));
    EXPECT_FALSE(basGlobal.isConnected);
    EXPECT_THAT(prompts.log.messages,
                ElementsAre("Can't open Device SocketCAN vcan0!\r\nNo such CAN interface"));
    EXPECT_EQ(window->statusText(1), "Not Connected");
    EXPECT_TRUE(child<QPushButton>(*window, "cmdSend") != nullptr);
    EXPECT_FALSE(child<QPushButton>(*window, "cmdSend")->isEnabled());
}

// An unattended recording must not eat the machine: a warning from 90 % of the limit, then recording stops
// with a message, frames go on to the Monitor, and recording cannot start again until there is room.
TEST_F(SocketCanWindowTest, ARecordingWarnsNearItsLimitThenStopsAndSaysSo) {
    basGlobal.recordingLimitBytes = 1000;
    window->runToolbarCommand(QStringLiteral("connect"));
    ASSERT_TRUE(basGlobal.isConnected);
    window->runToolbarCommand(QStringLiteral("record"));
    ASSERT_TRUE(basGlobal.isRecording);
    auto* room = child<QLabel>(*window, "lblRecordingRoom");
    EXPECT_FALSE(room->isVisibleTo(window.get()));
    bool warned = false;
    for (int i = 0; i < 100 && basGlobal.isRecording; ++i) {
        warned = warned || room->isVisibleTo(window.get());
        bus.send(0x100, {1, 2, 3, 4, 5, 6, 7, 8});
        window->pollTick();
    }
    EXPECT_TRUE(warned);
    EXPECT_FALSE(basGlobal.isRecording);
    EXPECT_GE(window->tracerView()->lines().textBytes(), 1000U);
    EXPECT_LT(window->tracerView()->lines().textBytes(), 1200U);
    QCoreApplication::processEvents();
    ASSERT_EQ(prompts.log.messages.size(), 1);
    EXPECT_TRUE(prompts.log.messages[0].startsWith("Recording stopped: the Tracer holds 0.0009537 MB"));

    bus.send(0x200, {1});
    window->pollTick();
    EXPECT_EQ(monitor().rowCount(), 1);
    window->runToolbarCommand(QStringLiteral("record"));
    EXPECT_FALSE(basGlobal.isRecording);
    EXPECT_EQ(prompts.log.messages.size(), 2);
}

TEST_F(SocketCanWindowTest, BusStatisticsCountTrafficErrorFramesAndSends) {
    auto* figure = child<QLabel>(*window, "lblBusStatistics");
    EXPECT_FALSE(figure->isVisibleTo(window.get()));
    window->runToolbarCommand(QStringLiteral("connect"));
    ASSERT_TRUE(basGlobal.isConnected);
    EXPECT_TRUE(figure->isVisibleTo(window.get()));

    bus.send(0x123, {0x11, 0x22});
    bus.send(0x124, {});
    bus.send(CAN_ERR_FLAG | CAN_ERR_CRTL | CAN_ERR_CNT,
             {0, CAN_ERR_CRTL_RX_OVERFLOW | CAN_ERR_CRTL_RX_WARNING, 0, 0, 0, 0, 5, 97});
    window->pollTick();
    child<QPushButton>(*window, "cmdSend")->click();

    window->runToolbarCommand(QStringLiteral("statistics"));
    frBusStatistics* statistics = window->busStatisticsWindow();
    ASSERT_TRUE(statistics && statistics->isVisible());
    EXPECT_EQ(statistics->lblReceivedFrames->text(), "2");
    EXPECT_EQ(statistics->lblSentFrames->text(), "1");
    EXPECT_EQ(statistics->lblErrorFrames->text(), "1");
    EXPECT_EQ(statistics->lblOverruns->text(), "1");
    EXPECT_EQ(statistics->lblDropped->text(), "0");
    EXPECT_EQ(statistics->lblErrorState->text(), "error warning");
    EXPECT_EQ(statistics->lblTxErrors->text(), "5");
    EXPECT_EQ(statistics->lblRxErrors->text(), "97");
    EXPECT_EQ(statistics->lblLastError->text(), "controller: RX buffer overflow, RX error warning");
    // A virtual interface has no bitrate: the load is not known, and says so.
    EXPECT_EQ(statistics->lblLoad->text(), "unknown");
    EXPECT_TRUE(figure->text().endsWith("Load ?")) << figure->text().toStdString();

    // The sent frame did not reach the Monitor: showing sent frames is off unless asked for.
    EXPECT_EQ(monitor().rowCount(), 2);
    window->runToolbarCommand(QStringLiteral("statistics"));
    EXPECT_FALSE(statistics->isVisible());
    link().disconnectLink();
    EXPECT_FALSE(figure->isVisibleTo(window.get()));
    // A settings file that never had the sent frames' section stays without it.
    window->close();
    EXPECT_FALSE(IniDocument::load(basGlobal.iniPath).value("SentFrames", "Show"));
}

TEST_F(SocketCanWindowTest, SentFramesShowInRowsOfTheirOwnAndInOrderInTheTracer) {
    QAction* sent = window->toolbarAction(QStringLiteral("sent"));
    ASSERT_TRUE(sent && sent->isCheckable());
    EXPECT_FALSE(sent->isChecked());
    window->runToolbarCommand(QStringLiteral("connect"));
    ASSERT_TRUE(basGlobal.isConnected);
    sent->trigger();
    EXPECT_TRUE(window->showsSentFrames());

    bus.send(0x000, {0, 0, 0, 0, 0, 0, 0, 0});
    window->pollTick();
    auto* cmdSend = child<QPushButton>(*window, "cmdSend");
    cmdSend->click();
    cmdSend->click();
    ASSERT_EQ(monitor().rowCount(), 2);
    EXPECT_EQ(cell(0, 4), "1");
    EXPECT_EQ(cell(0, 5), "");
    EXPECT_EQ(cell(1, 0), "000");
    EXPECT_EQ(cell(1, 4), "2");
    EXPECT_EQ(cell(1, 5), "[Tx]");

    // While recording, a request stands between what came before and its answer.
    window->runToolbarCommand(QStringLiteral("record"));
    bus.send(0x123, {0x01});
    window->pollTick();
    cmdSend->click();
    bus.send(0x456, {0x02});
    window->pollTick();
    const TracerView& tracer = *window->tracerView();
    ASSERT_EQ(tracer.lineCount(), 4);
    EXPECT_EQ(tracer.lineText(0).substr(7, 3), "123");
    EXPECT_EQ(tracer.lineText(1).substr(6), " 000      8 00 00 00 00 00 00 00 00 [Tx]");
    EXPECT_EQ(tracer.lineText(2).substr(7, 3), "456");
    window->runToolbarCommand(QStringLiteral("record"));
    link().disconnectLink();

    // Stored in a section of its own.
    window->close();
    EXPECT_EQ(IniDocument::load(basGlobal.iniPath).value("SentFrames", "Show"), "1");
}
