// The transmit pane in the main window connected to the virtual adapter: periodic rows, remote-request
// answers and triggers from real bus traffic, Copy to TX List, the list files, and the editor's controls.

#include "app/frMain.h"
#include "core/basGlobal.h"
#include "receive/monitorModel.h"
#include "receive/tracerEdit.h"
#include "receive/tracerView.h"
#include "sim/ptyAdapter.h"
#include "support/mainWindowFixture.h"
#include "transmit/transmitList.h"
#include "transmit/transmitPane.h"
#include "transmit/txEditor.h"
#include "transmit/txFieldRules.h"

#include <QAction>
#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QCoreApplication>
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

class TransmitWindowTest : public test::MainWindowFixture {
protected:
    void SetUp() override {
        MainWindowFixture::SetUp();
        ASSERT_TRUE(adapter.isOpen());
        adapter.setClock([this] { return nowUs; });
        adapter.engine().setVehicleEnabled(false);
        storeLinkSettings(deviceCom, adapter.slavePath().toStdString(), optRiskAccepted);
        window = openWindow();
        list().setClock([this] { return nowUs; });
    }

    TransmitList& list() { return window->transmitPane()->list(); }
    template <typename W> W* control(const char* name) {
        return window->findChild<W*>(QString::fromLatin1(name));
    }

    // Lets the adapter stream and runs the poll and the row timers as the event loop would, in 10 ms steps.
    void run(int milliseconds) {
        for (int t = 0; t < milliseconds; t += 10) {
            nowUs += 10'000;
            list().runDueTimers(nowUs);
            adapter.pump();
            for (int i = 0; i < 5; ++i)
                QCoreApplication::processEvents(QEventLoop::AllEvents, 1);
            if (t % 100 == 90 && window->pollTimer()->isActive())
                window->pollTick();
        }
    }
    // Lets the adapter read what was written last, without time passing.
    void settle() {
        for (int i = 0; i < 20; ++i)
            QCoreApplication::processEvents(QEventLoop::AllEvents, 2);
    }
    std::vector<sim::SimFrame> busFrames() { return adapter.engine().transmittedFrames(); }
    void connect() {
        window->runToolbarCommand(QStringLiteral("connect"));
        ASSERT_TRUE(basGlobal.isConnected);
    }
    void adapterSends(uint32_t id, bool remote, std::initializer_list<uint8_t> bytes, int64_t periodUs) {
        sim::PeriodicFrameSpec periodic;
        periodic.frame.id = id;
        periodic.frame.extended = id > 0x7FF;
        periodic.frame.remote = remote;
        periodic.frame.dlc = static_cast<uint8_t>(bytes.size());
        std::copy(bytes.begin(), bytes.end(), periodic.frame.data.begin());
        periodic.periodUs = periodUs;
        ASSERT_TRUE(adapter.engine().addPeriodicFrame(periodic));
    }
    // Sets up row `index` through the editor, as the user would.
    void editRow(int index, const char* id, const char* mode, const char* triggerId = "",
                 const char* triggerData = "") {
        while (list().rowCount() <= index)
            control<QPushButton>("cmdTransmitAdd")->click();
        list().setSelectedRow(index);
        control<QLineEdit>("txtID")->setText(QString::fromLatin1(id));
        control<QLineEdit>("txtRXID")->setText(QString::fromLatin1(triggerId));
        control<QLineEdit>("txtRXData")->setText(QString::fromLatin1(triggerData));
        auto* modes = control<QComboBox>("coTxMode");
        emit modes->activated(modes->findText(QString::fromLatin1(mode)));
    }

    int64_t nowUs = 1'000'000;
    sim::PtyAdapter adapter;
};

uint64_t countOf(const std::vector<sim::SimFrame>& frames, uint32_t id) {
    return static_cast<uint64_t>(
        std::count_if(frames.begin(), frames.end(), [id](const sim::SimFrame& f) { return f.id == id; }));
}

} // namespace

TEST_F(TransmitWindowTest, APeriodicRowRunsUntilStopAllAndDisconnectStopsEveryTimer) {
    connect();
    editRow(0, "101", "off");
    control<QLineEdit>("txtPeriod")->setText(QStringLiteral("50"));
    editRow(1, "102", "off");
    control<QLineEdit>("txtPeriod")->setText(QStringLiteral("100"));
    emit control<QComboBox>("coTxMode")->activated(1); // Periodic
    run(1000);
    settle();
    EXPECT_EQ(list().row(1).mode, "100");
    EXPECT_EQ(list().row(1).count, "10");
    EXPECT_EQ(countOf(busFrames(), 0x102), 10U);
    EXPECT_EQ(countOf(busFrames(), 0x101), 0U);

    control<QPushButton>("cmdStopAll")->click();
    EXPECT_EQ(list().row(1).mode, "off");
    run(500);
    EXPECT_EQ(list().row(1).count, "10");

    // "Send All" starts exactly the rows with a period; a disconnect stops them all.
    control<QPushButton>("cmdResumeAll")->click();
    run(1000);
    EXPECT_EQ(list().row(0).count, "20");
    EXPECT_EQ(list().row(1).count, "20");
    window->runToolbarCommand(QStringLiteral("connect"));
    ASSERT_FALSE(basGlobal.isConnected);
    EXPECT_EQ(list().row(0).mode, "50");
    EXPECT_EQ(list().nextDueUs(), -1);
    connect();
    const std::size_t before = busFrames().size();
    run(500);
    EXPECT_EQ(busFrames().size(), before);
    EXPECT_EQ(list().row(0).count, "20");
}

TEST_F(TransmitWindowTest, RemoteRequestsAndTriggersFromTheBusAreAnswered) {
    adapterSends(0x123, true, {}, 100'000);
    adapterSends(0x200, false, {0x11, 0x22}, 100'000);
    adapterSends(0x201, false, {0x11, 0x22, 0x33}, 100'000);
    editRow(0, "7A1", "RTR");
    control<QLineEdit>("txtID")->setText(QStringLiteral("123"));
    editRow(1, "123", "RTR");
    editRow(2, "7B1", "Trigger", "200", "11 **");
    editRow(3, "7B2", "Trigger", "200", "** 22");
    editRow(4, "7B3", "Trigger", "201", "11 22");
    EXPECT_TRUE(basGlobal.txAnyRtrMode);
    EXPECT_TRUE(basGlobal.txAnyTriggerMode);
    connect();
    run(1000);
    settle();

    // What the poll handled is what the Monitor counted; each of those frames was answered.
    const auto frames = busFrames();
    const auto handled = [this](const char* id, int dlc) {
        const MonitorRow* row = window->monitorModel()->rowAt(window->monitorModel()->findRow(id, dlc));
        return row ? row->count : 0U;
    };
    const uint64_t requests = handled("123", 0);
    ASSERT_GT(requests, 5U);
    EXPECT_EQ(countOf(frames, 0x123), requests); // once per request, by the upper row
    EXPECT_EQ(list().row(0).count, std::to_string(requests));
    EXPECT_EQ(list().row(1).count, "0");
    const uint64_t triggers = handled("200", 2);
    ASSERT_GT(triggers, 5U);
    EXPECT_EQ(countOf(frames, 0x7B1), triggers);
    EXPECT_EQ(countOf(frames, 0x7B2), triggers);
    EXPECT_EQ(countOf(frames, 0x7B3), 0U); // a 3-byte frame does not match a 2-byte pattern
    // Both trigger rows answer each frame, the upper one first.
    for (std::size_t i = 0; i < frames.size(); ++i)
        if (frames[i].id == 0x7B1) {
            ASSERT_LT(i + 1, frames.size());
            EXPECT_EQ(frames[i + 1].id, 0x7B2U);
        }
}

TEST_F(TransmitWindowTest, CopyToTxListTakesTheSelectedMonitorRowOrTracerLine) {
    adapterSends(0x321, false, {0xDE, 0xAD}, 100'000);
    adapterSends(0x1ABCDEF0, false, {0x11, 0x22}, 100'000);
    connect();
    window->runToolbarCommand(QStringLiteral("copy")); // nothing selected yet
    EXPECT_EQ(list().rowCount(), 1);
    run(1000);
    auto* monitor = control<QTableView>("listReceive");
    const int row = window->monitorModel()->findRow("321", 2);
    ASSERT_GE(row, 0);
    monitor->setCurrentIndex(window->monitorModel()->index(row, 0));
    window->runToolbarCommand(QStringLiteral("copy"));
    ASSERT_EQ(list().rowCount(), 2);
    EXPECT_EQ(list().row(1).id, "321");
    EXPECT_EQ(list().row(1).data, "DE AD" + std::string(18, ' '));
    EXPECT_EQ(list().row(1).mode, "off");
    EXPECT_EQ(list().row(1).period,
              periodFromNumber(static_cast<double>(window->monitorModel()->rowAt(row)->period)));
    EXPECT_EQ(control<QLineEdit>("txtID")->text(), "321");

    window->runToolbarCommand(QStringLiteral("tracer"));
    window->runToolbarCommand(QStringLiteral("record"));
    run(300);
    TracerView* tracer = window->tracerView();
    int extendedLine = -1;
    for (int line = 0; line < tracer->lineCount(); ++line)
        if (tracer->lineText(line).find("1ABCDEF0") != std::string::npos)
            extendedLine = line;
    ASSERT_GE(extendedLine, 0);
    tracer->tracer()->setSelection(TracerPos{extendedLine, 0}, TracerPos{extendedLine, 0});
    window->runToolbarCommand(QStringLiteral("copy"));
    ASSERT_EQ(list().rowCount(), 3);
    EXPECT_EQ(list().row(2).id, "1ABCDEF0");
    EXPECT_TRUE(control<QCheckBox>("chExtID")->isChecked());
    EXPECT_EQ(list().row(2).data, "11 22" + std::string(18, ' '));
    EXPECT_EQ(list().row(2).period, 0);
}

TEST_F(TransmitWindowTest, TheListIsSavedAndLoadedThroughTheFileMenu) {
    editRow(0, "123", "off");
    control<QLineEdit>("txtPeriod")->setText(QStringLiteral("250"));
    emit control<QComboBox>("coTxMode")->activated(1);
    editRow(1, "456", "Trigger", "7FF", "** 01");
    const std::string path = tmp.file("list.txl");
    prompts.log.fileNames = {QString::fromStdString(path)};
    control<QAction>("mnuSaveTxList")->trigger();
    EXPECT_TRUE(prompts.log.messages.isEmpty());

    control<QPushButton>("cmdTransmitAdd")->click();
    prompts.log.fileNames = {QString::fromStdString(path)};
    control<QAction>("mnuLoadTxList")->trigger();
    ASSERT_EQ(list().rowCount(), 2);
    EXPECT_EQ(list().row(0).mode, "250");
    EXPECT_FALSE(list().row(0).running); // loaded rows wait for "Send All"
    EXPECT_EQ(list().row(1).triggerData, "** 01");
    EXPECT_EQ(list().timerCount(), 3);
    EXPECT_TRUE(basGlobal.txAnyTriggerMode);
    EXPECT_EQ(control<QLineEdit>("txtID")->text(), "123");
    EXPECT_EQ(control<QComboBox>("coTxMode")->currentText(), "Periodic");

    // A save that fails is told; a file that cannot be read leaves the list as it was.
    prompts.log.fileNames = {QString::fromStdString(tmp.file("missing/list.txl"))};
    control<QAction>("mnuSaveTxList")->trigger();
    ASSERT_EQ(prompts.log.messages.size(), 1);
    EXPECT_TRUE(prompts.log.messages[0].startsWith(QStringLiteral("Can't save ")));
    prompts.log.fileNames = {QString::fromStdString(tmp.file("missing.txl"))};
    control<QAction>("mnuLoadTxList")->trigger();
    EXPECT_EQ(prompts.log.messages.size(), 2);
    EXPECT_EQ(list().rowCount(), 2);
    prompts.log.fileNames = {QString()}; // cancelled
    control<QAction>("mnuLoadTxList")->trigger();
    EXPECT_EQ(list().rowCount(), 2);
}

TEST_F(TransmitWindowTest, TheEditorControlsFollowTheFieldRules) {
    auto* id = control<QLineEdit>("txtID");
    id->clear();
    QTest::keyClicks(id, "1g-a");
    EXPECT_EQ(id->text(), "1A");
    // A context menu or a switch to another window only lends the focus: the text is still being edited.
    for (const Qt::FocusReason lent : {Qt::PopupFocusReason, Qt::ActiveWindowFocusReason}) {
        QFocusEvent away(QEvent::FocusOut, lent);
        QApplication::sendEvent(id, &away);
        EXPECT_EQ(id->text(), "1A");
    }
    QFocusEvent leave(QEvent::FocusOut);
    QApplication::sendEvent(id, &leave);
    EXPECT_EQ(list().row(0).id, "01A");
    control<QCheckBox>("chExtID")->click();
    EXPECT_EQ(id->text(), "0000001A");
    EXPECT_EQ(list().row(0).id, "0000001A");
    control<QCheckBox>("chExtID")->click();
    EXPECT_EQ(id->text(), "01A");
    EXPECT_EQ(list().row(0).id, "01A");

    auto* dlc = control<QLineEdit>("txtDLC");
    dlc->clear();
    QTest::keyClicks(dlc, "92");
    EXPECT_EQ(dlc->text(), "2");
    EXPECT_TRUE(control<QLineEdit>("txtByte1")->isVisibleTo(window.get()));
    EXPECT_FALSE(control<QLineEdit>("txtByte2")->isVisibleTo(window.get()));
    EXPECT_EQ(list().row(0).data, "00 00" + std::string(18, ' '));

    auto* byte0 = control<QLineEdit>("txtByte0");
    byte0->clear();
    QTest::keyClicks(byte0, "b");
    QApplication::sendEvent(byte0, &leave);
    EXPECT_EQ(byte0->text(), "0B");
    EXPECT_EQ(list().row(0).data.substr(0, 5), "0B 00");

    auto* period = control<QLineEdit>("txtPeriod");
    period->clear();
    QTest::keyClicks(period, "12345x");
    EXPECT_EQ(period->text(), "1234");
    // A period typed into a running row applies once the field is left.
    emit control<QComboBox>("coTxMode")->activated(txModePeriodic);
    period->setText(QStringLiteral("50"));
    EXPECT_EQ(list().row(0).mode, "1234");
    QApplication::sendEvent(period, &leave);
    EXPECT_EQ(list().row(0).mode, "50");
    emit control<QComboBox>("coTxMode")->activated(txModeOff);

    // Entering a field selects its text, except in the trigger fields, where the caret stays where the
    // click put it, so one digit of a pattern can be fixed.
    window->show();
    QApplication::setActiveWindow(window.get());
    auto* triggerId = control<QLineEdit>("txtRXID");
    auto* triggerData = control<QLineEdit>("txtRXData");
    triggerId->setText(QStringLiteral("123"));
    triggerData->setText(QStringLiteral("11 22"));
    for (QLineEdit* field : {id, triggerId, triggerData}) {
        field->setCursorPosition(1);
        field->setFocus(Qt::MouseFocusReason);
        QCoreApplication::processEvents();
        ASSERT_TRUE(field->hasFocus());
        EXPECT_EQ(field->hasSelectedText(), field == id) << field->objectName().toStdString();
    }

    control<QCheckBox>("chRTR")->click();
    EXPECT_EQ(list().row(0).data, "RTR");
    EXPECT_EQ(dlc->text(), "0");
    EXPECT_FALSE(control<QLineEdit>("txtByte0")->isVisibleTo(window.get()));

    // Enter and Space in the list send the row once; Delete removes it.
    connect();
    auto* rows = control<QTableView>("listTransmit");
    QTest::keyClick(rows, Qt::Key_Return);
    QTest::keyClick(rows, Qt::Key_Space);
    EXPECT_EQ(list().row(0).count, "2");
    control<QPushButton>("cmdTransmitCopy")->click();
    ASSERT_EQ(list().rowCount(), 2);
    QTest::keyClick(rows, Qt::Key_Delete);
    EXPECT_EQ(list().rowCount(), 1);
    EXPECT_EQ(rows->currentIndex().row(), 0);

    // A row that cannot be sent says why, beside the fields.
    id->setText(QStringLiteral("FFF"));
    QTest::keyClick(rows, Qt::Key_Return);
    EXPECT_EQ(list().row(0).count, "2");
    EXPECT_EQ(control<QLabel>("lblNotSent")->text(),
              "Row 1 not sent: ID FFF is above 7FF; check \"29 Bit Id\" for an extended ID.");

    // Tab and Shift+Tab leave the list instead of walking its cells.
    window->show();
    QApplication::setActiveWindow(window.get());
    rows->setFocus(Qt::TabFocusReason);
    QTest::keyClick(rows, Qt::Key_Tab);
    EXPECT_FALSE(rows->hasFocus());
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab, Qt::ShiftModifier);
    ASSERT_TRUE(rows->hasFocus());
    QTest::keyClick(rows, Qt::Key_Tab, Qt::ShiftModifier);
    EXPECT_FALSE(rows->hasFocus());
}
