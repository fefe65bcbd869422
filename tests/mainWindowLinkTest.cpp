// The main window connected to the virtual adapter: live traffic in the Monitor, an adapter that vanishes
// while streaming, and quitting while connected.

#include "app/frMain.h"
#include "core/basGlobal.h"
#include "core/iniFile.h"
#include "link/connection.h"
#include "receive/frmComment.h"
#include "receive/monitorModel.h"
#include "sim/faults.h"
#include "sim/ptyAdapter.h"
#include "support/mainWindowFixture.h"
#include "transmit/txListModel.h"

#include <QAction>
#include <QApplication>
#include <QCheckBox>
#include <QCoreApplication>
#include <QDialog>
#include <QFile>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTableView>
#include <QTest>
#include <QTimer>

#include <gmock/gmock.h>

using namespace korvel;
using ::testing::ElementsAre;

namespace {

class MainWindowLinkTest : public test::MainWindowFixture {
protected:
    void SetUp() override {
        MainWindowFixture::SetUp();
        ASSERT_TRUE(adapter.isOpen());
        adapter.setClock([this] { return nowUs; });
        storeLinkSettings(deviceCom, adapter.slavePath().toStdString(), optRiskAccepted);
        window = openWindow();
    }

    // Lets the adapter stream for a while and runs the poll as its timer would.
    void streamAndPoll(int ticks) {
        for (int t = 0; t < ticks; ++t) {
            nowUs += 100'000;
            adapter.pump();
            for (int i = 0; i < 20; ++i)
                QCoreApplication::processEvents(QEventLoop::AllEvents, 2);
            if (window->pollTimer()->isActive())
                window->pollTick();
        }
    }

    int64_t nowUs = 1'000'000;
    sim::PtyAdapter adapter;
};

} // namespace

TEST_F(MainWindowLinkTest, ConnectShowsFirmwareAndTrafficFillsTheMonitor) {
    window->runToolbarCommand(QStringLiteral("connect"));
    EXPECT_TRUE(basGlobal.isConnected);
    EXPECT_EQ(window->statusText(1), "Connected to 500 kbit/s");
    EXPECT_EQ(window->statusText(2), "Firmware: V10.13");
    EXPECT_TRUE(window->pollTimer()->isActive());
    EXPECT_FALSE(window->findChild<QAction*>("mnuSettings")->isEnabled());

    streamAndPoll(10);
    EXPECT_GT(window->monitorModel()->rowCount(), 5);

    // Single Shot sends the selected transmit row and counts it.
    window->findChild<QPushButton*>("cmdSend")->click();
    EXPECT_EQ(window->txListModel()->row(0).count, "1");
    streamAndPoll(2);
    EXPECT_EQ(adapter.engine().framesTransmittedByHost(), 1U);
}

TEST_F(MainWindowLinkTest, AnAdapterVanishingMidStreamEndsInDisconnected) {
    window->runToolbarCommand(QStringLiteral("connect"));
    streamAndPoll(3);
    adapter.vanish();
    streamAndPoll(5);
    EXPECT_THAT(prompts.log.messages, ElementsAre("Disconnected!"));
    EXPECT_FALSE(basGlobal.isConnected);
    EXPECT_FALSE(window->pollTimer()->isActive());
    EXPECT_EQ(window->statusText(1), "Not Connected");
    EXPECT_TRUE(window->findChild<QAction*>("mnuSettings")->isEnabled());
}

TEST_F(MainWindowLinkTest, ResetClearsTheMonitorAndCounts) {
    window->runToolbarCommand(QStringLiteral("connect"));
    streamAndPoll(5);
    window->findChild<QPushButton*>("cmdSend")->click();
    ASSERT_GT(window->monitorModel()->rowCount(), 0);
    window->runToolbarCommand(QStringLiteral("reset"));
    EXPECT_EQ(window->monitorModel()->rowCount(), 0);
    EXPECT_EQ(window->txListModel()->row(0).count, "0");
    EXPECT_TRUE(basGlobal.isConnected);
}

TEST_F(MainWindowLinkTest, QuittingWhileConnectedClosesTheLinkBeforeSavingSettings) {
    window->runToolbarCommand(QStringLiteral("connect"));
    adapter.engine().clearCommandLog();
    window->close();
    streamAndPoll(1);
    EXPECT_THAT(adapter.engine().commandLog(), ElementsAre("C"));
    EXPECT_FALSE(adapter.engine().channelOpen());
    const IniDocument ini = IniDocument::load(basGlobal.iniPath);
    EXPECT_EQ(ini.value("Options", "Options"), std::to_string(optRiskAccepted));
}

TEST_F(MainWindowLinkTest, FilterOkWhileConnectedSendsTheRegistersAndShowsTheState) {
    window->runToolbarCommand(QStringLiteral("connect"));
    adapter.engine().clearCommandLog();
    QTimer::singleShot(0, [] {
        auto* dialog = qobject_cast<QDialog*>(QApplication::activeModalWidget());
        ASSERT_NE(dialog, nullptr);
        dialog->findChild<QLineEdit*>("tCANMask")->setText(QStringLiteral("000FFFFF"));
        dialog->findChild<QLineEdit*>("tCANFilter")->setText(QStringLiteral("12300000"));
        dialog->findChild<QCheckBox*>("chFilterOn")->setChecked(true);
        dialog->findChild<QPushButton*>("cmdFilterOK")->click();
    });
    window->runToolbarCommand(QStringLiteral("filter"));
    streamAndPoll(1);
    EXPECT_EQ(window->statusText(3), "Filter: Mask");
    const std::vector<std::string> log = adapter.engine().commandLog();
    ASSERT_GE(log.size(), 4U);
    EXPECT_THAT(std::vector<std::string>(log.begin(), log.begin() + 4),
                ElementsAre("C", "m000FFFFF", "M12300000", "O"));
}

TEST_F(MainWindowLinkTest, AClickInTheCommentColumnOpensTheCommentDialog) {
    window->runToolbarCommand(QStringLiteral("connect"));
    streamAndPoll(3);
    ASSERT_GT(window->monitorModel()->rowCount(), 0);
    window->show();
    auto* list = window->findChild<QTableView*>("listReceive");
    const QRect idCell = list->visualRect(window->monitorModel()->index(0, MonitorModel::colId));
    QTest::mouseClick(list->viewport(), Qt::LeftButton, {}, idCell.center());
    EXPECT_EQ(window->commentWindow(), nullptr);
    const QRect commentCell = list->visualRect(window->monitorModel()->index(0, MonitorModel::colComment));
    QTest::mouseClick(list->viewport(), Qt::LeftButton, {}, commentCell.center());
    ASSERT_NE(window->commentWindow(), nullptr);
    EXPECT_TRUE(window->commentWindow()->windowTitle().startsWith(QStringLiteral("Comment (ID: ")));
}

TEST_F(MainWindowLinkTest, ConnectCannotStartAgainWhileItRuns) {
    bool menuEnabled = true;
    bool buttonEnabled = true;
    // Runs inside the sequence's first reply wait.
    QTimer::singleShot(0, [&] {
        menuEnabled = window->findChild<QAction*>("mnuConnect")->isEnabled();
        buttonEnabled = window->toolbarAction(QStringLiteral("connect"))->isEnabled();
    });
    window->runToolbarCommand(QStringLiteral("connect"));
    EXPECT_FALSE(menuEnabled);
    EXPECT_FALSE(buttonEnabled);
    EXPECT_TRUE(window->findChild<QAction*>("mnuConnect")->isEnabled());
    EXPECT_TRUE(window->toolbarAction(QStringLiteral("connect"))->isEnabled());
}

TEST_F(MainWindowLinkTest, QuitWhileConnectingEndsTheSequenceThenClosesAndSavesOnce) {
    window->show();
    // Quit arrives inside the sequence's first reply wait.
    QTimer::singleShot(0, [&] {
        QTimer::singleShot(0, [&] {
            window->close();
            QFile::remove(QString::fromStdString(basGlobal.iniPath));
        });
    });
    window->runToolbarCommand(QStringLiteral("connect"));
    streamAndPoll(1);
    EXPECT_TRUE(prompts.log.messages.isEmpty());
    EXPECT_FALSE(basGlobal.isConnected);
    EXPECT_FALSE(adapter.engine().channelOpen());
    EXPECT_EQ(adapter.engine().commandLog().front(), "v");
    EXPECT_EQ(adapter.engine().commandLog().back(), "C");
    EXPECT_FALSE(window->isVisible());
    // Written after the sequence had ended: a save inside the wait would have been removed above.
    const IniDocument ini = IniDocument::load(basGlobal.iniPath);
    EXPECT_EQ(ini.value("Options", "Options"), std::to_string(optRiskAccepted));
}

TEST_F(MainWindowLinkTest, SettingsWaitUntilTheSequenceHasEnded) {
    bool settingsOpened = false;
    // Settings clicked inside the sequence's first reply wait; a dialog that opened anyway is closed at once.
    QTimer::singleShot(0, [&] {
        QTimer::singleShot(0, [&] {
            QTimer::singleShot(0, [&] {
                if (QWidget* modal = QApplication::activeModalWidget()) {
                    settingsOpened = true;
                    modal->close();
                }
            });
            window->runToolbarCommand(QStringLiteral("settings"));
        });
    });
    window->runToolbarCommand(QStringLiteral("connect"));
    EXPECT_FALSE(settingsOpened);
    EXPECT_TRUE(basGlobal.isConnected);
}

// An adapter that answers BELL instead of "z" has not sent the frame: the row's Count does not keep it, and
// the status bar says how many were refused. Taken frames stay counted.
TEST_F(MainWindowLinkTest, FramesTheAdapterRefusesAreNotCountedAndAreShownAsRefused) {
    window->runToolbarCommand(QStringLiteral("connect"));
    ASSERT_TRUE(basGlobal.isConnected);
    auto* send = window->findChild<QPushButton*>("cmdSend");
    auto* trouble = window->findChild<QLabel*>("lblLinkTrouble");
    ASSERT_TRUE(send && trouble);
    const auto count = [this] {
        return window->txListModel()->row(0).count;
    };
    send->click();
    streamAndPoll(2);
    EXPECT_EQ(count(), "1");
    EXPECT_FALSE(trouble->isVisibleTo(window.get()));

    adapter.engine().setFault(sim::Fault::Refuse, true);
    for (int i = 0; i < 3; ++i)
        send->click();
    EXPECT_EQ(count(), "4");
    for (int i = 0; i < 50 && count() != "1"; ++i)
        streamAndPoll(1);
    EXPECT_EQ(count(), "1");
    EXPECT_TRUE(trouble->isVisibleTo(window.get()));
    EXPECT_EQ(trouble->text(), "Refused: 3");
}
