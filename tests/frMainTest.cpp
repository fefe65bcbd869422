#include "app/frMain.h"
#include "app/frmAbout.h"
#include "core/basGlobal.h"
#include "core/iniFile.h"
#include "receive/monitorFold.h"
#include "receive/monitorModel.h"
#include "receive/tracerEdit.h"
#include "support/mainWindowFixture.h"
#include "transmit/txListModel.h"

#include <QAccessible>
#include <QAction>
#include <QApplication>
#include <QLabel>
#include <QMenuBar>
#include <QPushButton>
#include <QTableView>
#include <QTest>
#include <QTimer>
#include <QToolBar>
#include <QToolButton>

#include <gtest/gtest.h>

#include <set>

using namespace korvel;

namespace {

class MainWindowTest : public test::MainWindowFixture {
protected:
    // Hidden actions report themselves disabled, so states are checked in the Tracer view.
    std::unique_ptr<frMain> openTracerWindow() {
        auto window = openWindow();
        window->runToolbarCommand(QStringLiteral("tracer"));
        return window;
    }

    static bool enabled(frMain& w, const char* name) {
        if (QAction* a = w.toolbarAction(QString::fromLatin1(name)))
            return a->isEnabled();
        return w.findChild<QPushButton*>(QString::fromLatin1(name))->isEnabled();
    }
    static QString picture(frMain& w, const char* key) {
        return w.toolbarAction(QString::fromLatin1(key))->property("picture").toString();
    }
    static QAction* menu(frMain& w, const char* name) {
        return w.findChild<QAction*>(QString::fromLatin1(name));
    }
};

} // namespace

TEST_F(MainWindowTest, FirstStartShowsTitleDefaultsAndOneTransmitRow) {
    auto w = openWindow();
    EXPECT_EQ(w->windowTitle(), "Korvel V2.00.02");
    EXPECT_EQ(basGlobal.deviceKind, 0);
    EXPECT_EQ(basGlobal.deviceNames[0], "Select CAN Device");
    EXPECT_EQ(basGlobal.comBaudrate, "57600");
    EXPECT_EQ(basGlobal.options, 0);
    EXPECT_EQ(basGlobal.padSpaces, std::string(26, ' '));
    ASSERT_EQ(w->txListModel()->rowCount(), 1);
    EXPECT_EQ(w->txListModel()->row(0).data, "00 00 00 00 00 00 00 00");
    EXPECT_EQ(w->statusText(1), "Not Connected");
    EXPECT_EQ(w->statusText(3), "Filter: Off");
    EXPECT_EQ(w->statusText(4), "Normal Mode");
    EXPECT_FALSE(w->pollTimer()->isActive());
    EXPECT_EQ(w->pollTimer()->interval(), 100);
}

TEST_F(MainWindowTest, ControlsFollowTheConnectionState) {
    auto w = openTracerWindow();
    for (const char* name : {"record", "step", "play", "loop", "cmdSend", "cmdResumeAll", "cmdStopAll"})
        EXPECT_FALSE(enabled(*w, name)) << name;
    EXPECT_TRUE(enabled(*w, "settings"));

    w->showConnectedState();
    for (const char* name : {"record", "step", "play", "loop", "cmdSend", "cmdResumeAll", "cmdStopAll"})
        EXPECT_TRUE(enabled(*w, name)) << name;
    EXPECT_FALSE(enabled(*w, "settings"));
    EXPECT_FALSE(menu(*w, "mnuSettings")->isEnabled());
    EXPECT_EQ(menu(*w, "mnuConnect")->text(), "Disconnect");
    EXPECT_EQ(picture(*w, "connect"), "disconnect");
    EXPECT_EQ(w->statusText(1), "Connected to 10 kbit/s");

    w->setStatusText(2, QStringLiteral("Firmware: V10.13"));
    w->showDisconnectedState();
    EXPECT_EQ(menu(*w, "mnuConnect")->text(), "Connect");
    EXPECT_EQ(picture(*w, "connect"), "connect");
    EXPECT_EQ(w->statusText(1), "Not Connected");
    EXPECT_EQ(w->statusText(2), "");
    EXPECT_TRUE(menu(*w, "mnuSettings")->isEnabled());
}

TEST_F(MainWindowTest, ListenOnlyConnectionEnablesOnlyRecording) {
    auto w = openTracerWindow();
    basGlobal.setOption(optListenOnly, true);
    basGlobal.canBitrateIndex = 6;
    w->showConnectedState();
    EXPECT_TRUE(enabled(*w, "record"));
    for (const char* name : {"step", "play", "loop", "cmdSend", "cmdResumeAll", "cmdStopAll"})
        EXPECT_FALSE(enabled(*w, name)) << name;
    EXPECT_EQ(w->statusText(1), "Connected to 500 kbit/s");
}

TEST_F(MainWindowTest, ViewSwitchShowsTracerButtonsAndEndsRecording) {
    auto w = openWindow();
    w->show();
    EXPECT_FALSE(w->toolbarAction("record")->isVisible());
    EXPECT_FALSE(w->tracer()->isVisible());

    w->runToolbarCommand(QStringLiteral("tracer"));
    EXPECT_TRUE(basGlobal.hasOption(optTracerMode));
    EXPECT_TRUE(w->tracer()->isVisible());
    for (const char* key : {"record", "step", "play", "loop"})
        EXPECT_TRUE(w->toolbarAction(QString::fromLatin1(key))->isVisible()) << key;
    EXPECT_EQ(menu(*w, "mnuTracer")->text(), "Monitor");
    EXPECT_EQ(picture(*w, "tracer"), "monitor");

    basGlobal.isRecording = true;
    w->applyViewMode();
    EXPECT_EQ(picture(*w, "record"), "pause");

    menu(*w, "mnuTracer")->trigger();
    EXPECT_FALSE(basGlobal.isRecording);
    EXPECT_FALSE(w->tracer()->isVisible());
    EXPECT_EQ(menu(*w, "mnuTracer")->text(), "Tracer");
    w->runToolbarCommand(QStringLiteral("tracer"));
    EXPECT_EQ(picture(*w, "record"), "record");
}

TEST_F(MainWindowTest, LoopToggleAndUnknownToolbarKeys) {
    auto w = openWindow();
    w->runToolbarCommand(QStringLiteral("loop"));
    EXPECT_TRUE(basGlobal.hasOption(optLoop));
    EXPECT_EQ(picture(*w, "loop"), "loopon");
    w->runToolbarCommand(QStringLiteral("Loop")); // keys compare exactly
    w->runToolbarCommand(QStringLiteral("nothing"));
    EXPECT_TRUE(basGlobal.hasOption(optLoop));
    w->runToolbarCommand(QStringLiteral("loop"));
    EXPECT_EQ(picture(*w, "loop"), "loop");
}

TEST_F(MainWindowTest, FilterAndModePanelsFollowTheStoredOptions) {
    writeIniString(basGlobal.iniPath, "Options", "Options",
                   std::to_string(optMaskFilter | optRangeFilter | optListenOnly | optLoop));
    auto w = openWindow();
    EXPECT_EQ(w->statusText(3), "Filter: Mask & Range");
    EXPECT_EQ(w->statusText(4), "Listen Only");
    EXPECT_EQ(picture(*w, "loop"), "loopon");
}

TEST_F(MainWindowTest, ClosingSavesSettingsAndAMaximisedWindowKeepsItsNormalRectangle) {
    {
        auto w = openWindow();
        w->setGeometry(100, 120, 800, 600);
        w->show();
        w->showMaximized();
        QApplication::processEvents();
        basGlobal.comPort = "9";
        w->close();
    }
    const IniDocument ini = IniDocument::load(basGlobal.iniPath);
    EXPECT_EQ(ini.value("Options", "Comport"), "9");
    EXPECT_EQ(ini.value("Position", "WindowState"), "2");
    const int width = std::stoi(ini.value("Position", "Width").value_or("0"));
    EXPECT_GT(width, 0);
    EXPECT_TRUE(ini.value("Position", "Split").has_value());

    basGlobal = GlobalState{};
    basGlobal.iniPath = tmp.file("Korvel.ini");
    auto again = openWindow();
    EXPECT_TRUE(again->windowState() & Qt::WindowMaximized);
    EXPECT_EQ(basGlobal.comPort, "9");
}

TEST_F(MainWindowTest, RecordingTogglesThePictureAndTheReplayButtons) {
    auto w = openTracerWindow();
    w->showConnectedState();
    w->runToolbarCommand(QStringLiteral("record"));
    EXPECT_TRUE(basGlobal.isRecording);
    EXPECT_EQ(picture(*w, "record"), "pause");
    EXPECT_FALSE(enabled(*w, "step"));
    EXPECT_FALSE(enabled(*w, "play"));
    w->runToolbarCommand(QStringLiteral("record"));
    EXPECT_FALSE(basGlobal.isRecording);
    EXPECT_EQ(picture(*w, "record"), "record");
    EXPECT_TRUE(enabled(*w, "step"));
    EXPECT_TRUE(enabled(*w, "play"));
}

TEST_F(MainWindowTest, PaneButtonsLetEitherPaneFillTheWindow) {
    auto w = openWindow();
    w->show();
    auto* full = w->findChild<QToolButton*>("imgFull");
    auto* half = w->findChild<QToolButton*>("imgHalf");
    auto* transmit = w->findChild<QWidget*>("frameTransmit");
    full->click();
    EXPECT_TRUE(basGlobal.hasOption(optRxPaneFull));
    EXPECT_FALSE(transmit->isVisible());
    EXPECT_FALSE(full->isVisible());
    EXPECT_TRUE(half->isVisible());
    half->click();
    EXPECT_FALSE(basGlobal.hasOption(optRxPaneFull));
    EXPECT_TRUE(transmit->isVisible());

    w->findChild<QToolButton*>("imgTxFull")->click();
    EXPECT_FALSE(w->findChild<QWidget*>("frameReceive")->isVisible());
}

// Keyboard alone: F10 or a lone Alt opens the menu bar and Escape gives the focus back; Tab reaches every
// toolbar button and leaves every pane, Shift+Tab comes back.
TEST_F(MainWindowTest, TheKeyboardAloneReachesMenusToolbarAndPanes) {
    auto w = openTracerWindow();
    w->show();
    QApplication::setActiveWindow(w.get());
    QMenuBar* bar = w->menuBar();
    QWidget* tracer = w->tracer();
    tracer->setFocus(Qt::TabFocusReason);
    ASSERT_TRUE(tracer->hasFocus());
    for (const Qt::Key key : {Qt::Key_F10, Qt::Key_Alt}) {
        QTest::keyClick(tracer, key);
        ASSERT_TRUE(bar->hasFocus()) << key;
        EXPECT_EQ(bar->activeAction(), w->findChild<QMenu*>("mnuFile")->menuAction());
        QTest::keyClick(bar, Qt::Key_Escape);
        EXPECT_TRUE(tracer->hasFocus()) << key;
    }
    // The commands on the bar itself run with Enter.
    QTest::keyClick(tracer, Qt::Key_F10);
    while (bar->activeAction() != menu(*w, "mnuTracer") && bar->hasFocus())
        QTest::keyClick(bar, Qt::Key_Right);
    QTest::keyClick(bar, Qt::Key_Return);
    EXPECT_FALSE(basGlobal.hasOption(optTracerMode));
    w->runToolbarCommand(QStringLiteral("tracer"));

    // Tab leaves the Tracer at once and Shift+Tab comes back; walking on reaches every toolbar button shown.
    tracer->setFocus(Qt::TabFocusReason);
    QTest::keyClick(tracer, Qt::Key_Tab);
    EXPECT_FALSE(tracer->hasFocus());
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab, Qt::ShiftModifier);
    EXPECT_TRUE(tracer->hasFocus());
    std::set<QWidget*> reached;
    for (int i = 0; i < 100 && reached.insert(QApplication::focusWidget()).second; ++i)
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
    auto* toolbar = w->findChild<QToolBar*>("tbrToolBar");
    for (QAction* action : toolbar->actions()) {
        if (action->isVisible() && action->isEnabled()) {
            EXPECT_TRUE(reached.count(toolbar->widgetForAction(action)))
                << action->objectName().toStdString();
        }
    }
    EXPECT_TRUE(reached.count(w->findChild<QTableView*>("listTransmit")));
    const QAccessibleInterface* read = QAccessible::queryAccessibleInterface(tracer);
    EXPECT_EQ(read->text(QAccessible::Name), "Tracer");

    // A toolbar button is pressed with Space; in the Monitor view Tab leaves the Monitor list too.
    QWidget* viewButton = toolbar->widgetForAction(w->toolbarAction(QStringLiteral("tracer")));
    viewButton->setFocus(Qt::TabFocusReason);
    QTest::keyClick(viewButton, Qt::Key_Space);
    ASSERT_FALSE(basGlobal.hasOption(optTracerMode));
    PollEntry entry;
    entry.idText = ShortText<8>("123");
    entry.frameCount = 1;
    RowTimes times;
    updateMonitorRows(*w->monitorModel(), std::span<const PollEntry>(&entry, 1), times, {});
    auto* monitor = w->findChild<QTableView*>("listReceive");
    monitor->setFocus(Qt::TabFocusReason);
    QTest::keyClick(monitor, Qt::Key_Tab);
    EXPECT_FALSE(monitor->hasFocus());
}

TEST(AboutBox, ShowsTitleVersionAndTheProjectLink) {
    frmAbout about;
    EXPECT_EQ(about.windowTitle(), "About");
    EXPECT_EQ(about.findChild<QLabel*>("lblTitle")->text(), "Korvel");
    EXPECT_EQ(about.findChild<QLabel*>("lblVersion")->text(), "Version 2.00.02");
    EXPECT_EQ(about.findChild<QLabel*>("lblDescription")->text(), "CAN Monitor + Tracer");
    EXPECT_TRUE(about.findChild<QLabel*>("lblForum")->text().contains(QString::fromLatin1(kProjectUrl)));
}
