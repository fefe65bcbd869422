// The transmit list and its editor without a window: rows and their timers, the modes and their
// transitions, the remote-request answer and the triggers, periodic timing on an injected clock, and the
// editor's field rules.

#include "transmit/transmitList.h"
#include "core/basGlobal.h"
#include "core/deadlineTimer.h"
#include "transmit/txCopySource.h"
#include "transmit/txEditor.h"

#include <QAbstractItemModelTester>
#include <QCoreApplication>
#include <QEventLoop>
#include <QSignalSpy>
#include <QTimer>

#include <gmock/gmock.h>

using namespace korvel;
using ::testing::ElementsAre;

namespace {

class TransmitListTest : public ::testing::Test {
protected:
    void SetUp() override {
        state.isConnected = true;
        list.setClock([this] { return nowUs; });
        list.setHooks({[this](std::string_view id, std::string_view dlc, std::string_view data, int) {
            sent.push_back(std::string(id) + "/" + std::string(dlc) + "/" + std::string(data));
            return state.isConnected;
        }});
    }

    // A row with the given texts, added through the list and edited in place.
    void addRow(const std::string& id, const std::string& mode = "off", int period = 0,
                const std::string& triggerId = {}, const std::string& triggerData = {}) {
        list.addTxRow();
        list.editSelected([&](TxRow& r) {
            r.id = id;
            r.mode = mode;
            r.period = period;
            r.triggerId = triggerId;
            r.triggerData = triggerData;
        });
    }
    // Lets time pass in 1 ms steps, running the timers as the event loop would.
    void advanceMs(int ms) {
        for (int i = 0; i < ms; ++i) {
            nowUs += 1000;
            list.runDueTimers(nowUs);
        }
    }

    GlobalState state;
    TransmitList list{state};
    TxEditor editor{state, list};
    QAbstractItemModelTester tester{&list.model(), QAbstractItemModelTester::FailureReportingMode::Fatal};
    std::vector<std::string> sent;
    int64_t nowUs = 1'000'000;
};

} // namespace

TEST_F(TransmitListTest, AddCopyAndDeleteKeepRowsAndTimersTogether) {
    list.addTxRow();
    const TxRow& added = list.row(0);
    EXPECT_EQ(added.id, "000");
    EXPECT_EQ(added.dlc, "8");
    EXPECT_EQ(added.data, "00 00 00 00 00 00 00 00");
    EXPECT_EQ(added.mode, "off");
    EXPECT_EQ(added.count, "0");
    EXPECT_EQ(list.selectedRow(), 0);
    EXPECT_EQ(list.timerCount(), 2);
    EXPECT_EQ(editor.fields().id, "000");
    EXPECT_EQ(editor.fields().period, "0");

    // Copy takes period and trigger data, but starts "off" with count 0.
    list.editSelected([](TxRow& r) {
        r.period = 100;
        r.triggerData = "11 **";
        r.count = "5";
    });
    editor.load();
    editor.selectMode(txModePeriodic);
    list.copyTxRow();
    ASSERT_EQ(list.rowCount(), 2);
    EXPECT_EQ(list.row(1).mode, "off");
    EXPECT_EQ(list.row(1).count, "0");
    EXPECT_EQ(list.row(1).period, 100);
    EXPECT_EQ(list.row(1).triggerData, "11 **");
    EXPECT_FALSE(list.row(1).running);
    EXPECT_EQ(list.selectedRow(), 1);

    // A Trigger row's copy keeps its trigger ID.
    editor.selectMode(txModeTrigger);
    editor.setTriggerIdText("7FF");
    list.copyTxRow();
    EXPECT_EQ(list.row(2).triggerId, "7FF");
    EXPECT_EQ(list.row(2).mode, "off");
    list.deleteTxRow();

    list.deleteTxRow();
    EXPECT_EQ(list.rowCount(), 1);
    EXPECT_EQ(list.selectedRow(), 0);
    EXPECT_EQ(list.timerCount(), 4); // timers are never destroyed by a delete
    list.deleteTxRow();
    EXPECT_EQ(list.selectedRow(), -1);
    list.deleteTxRow(); // empty list: nothing happens
    list.copyTxRow();
    EXPECT_EQ(list.rowCount(), 0);
}

TEST_F(TransmitListTest, DeletingARowMovesTheTimersBelowWithTheirRows) {
    addRow("001");
    addRow("002");
    addRow("003", "off", 10, "7FF", "AA");
    editor.load();
    editor.setPeriodText("10");
    editor.selectMode(txModePeriodic); // row 3 runs every 10 ms
    advanceMs(5);
    list.setSelectedRow(1);
    list.setSelectedRow(3); // no such row: the selection stays
    list.deleteTxRow();

    ASSERT_EQ(list.rowCount(), 2);
    EXPECT_EQ(list.row(1).id, "003");
    EXPECT_TRUE(list.row(1).running);
    EXPECT_EQ(list.row(1).period, 10);
    EXPECT_EQ(list.row(1).triggerData, "AA");
    // It keeps its phase: due 10 ms after it started, 5 ms from now.
    advanceMs(4);
    EXPECT_TRUE(sent.empty());
    advanceMs(1);
    EXPECT_THAT(sent, ElementsAre("003/8/00 00 00 00 00 00 00 00"));

    list.addTxRow(); // the timer that moved away left a clean one behind
    EXPECT_FALSE(list.row(2).running);
    EXPECT_EQ(list.row(2).period, 0);
    EXPECT_EQ(list.row(2).triggerData, "");

    // Deleting the row right below a running one leaves its next send where it was.
    const int64_t due = list.nextDueUs();
    list.deleteTxRow();
    EXPECT_TRUE(list.row(1).running);
    EXPECT_EQ(list.nextDueUs(), due);
}

TEST_F(TransmitListTest, PeriodicRowsKeepTheirGridWithoutDriftOrBurst) {
    addRow("100");
    editor.load();
    editor.setPeriodText("10");
    editor.selectMode(txModePeriodic);
    EXPECT_EQ(list.row(0).mode, "10");
    advanceMs(1000);
    EXPECT_EQ(sent.size(), 100U);
    EXPECT_EQ(list.row(0).count, "100");

    // The timer wakes 3 ms late every time: the lateness does not add up, the sends stay on the grid.
    sent.clear();
    const int64_t start = nowUs;
    while (nowUs < start + 1'000'000) {
        nowUs += 1000;
        if (list.nextDueUs() >= 0 && nowUs >= list.nextDueUs() + 3000)
            list.runDueTimers(nowUs);
    }
    EXPECT_EQ(sent.size(), 99U);
    EXPECT_EQ(list.nextDueUs(), start + 1'000'000);

    // A stall of 95 ms: one send for it, then the old grid again instead of a burst of nine.
    sent.clear();
    const int64_t due = list.nextDueUs();
    nowUs = due + 95'000;
    list.runDueTimers(nowUs);
    EXPECT_EQ(sent.size(), 1U);
    EXPECT_EQ(list.nextDueUs(), due + 100'000);
}

TEST_F(TransmitListTest, CountsReachViewsAtAHumanRateNotPerSend) {
    addRow("123");
    QSignalSpy changed(&list.model(), &QAbstractItemModel::dataChanged);
    for (int i = 0; i < 50; ++i)
        list.sendSelectedOnce();
    EXPECT_EQ(list.row(0).count, "50");
    EXPECT_EQ(changed.count(), 0);
    QEventLoop loop;
    QObject::connect(&list.model(), &QAbstractItemModel::dataChanged, &loop, &QEventLoop::quit);
    QTimer::singleShot(10000, &loop, &QEventLoop::quit);
    loop.exec();
    QCoreApplication::processEvents();
    ASSERT_EQ(changed.count(), 1);
    EXPECT_EQ(changed[0][0].value<QModelIndex>(), list.model().index(0, TxListModel::colCount));
    EXPECT_EQ(list.model().data(list.model().index(0, TxListModel::colCount), Qt::DisplayRole), "50");
}

TEST(DeadlineTimerTest, FiresOnceNeverBeforeItsDeadlineAndNeverAfterAStop) {
    DeadlineTimer timer;
    int fired = 0;
    int64_t firedAt = 0;
    QEventLoop loop;
    QObject::connect(&timer, &DeadlineTimer::timeout, &loop, [&] {
        ++fired;
        firedAt = steadyMicroseconds();
        loop.quit();
    });
#ifdef __linux__
    EXPECT_TRUE(timer.isFine());
#endif
    timer.start(steadyMicroseconds() + 1000);
    timer.stop();
    const int64_t until = steadyMicroseconds() + 5000;
    runEventLoopUntil(until);
    EXPECT_GE(steadyMicroseconds(), until);
    EXPECT_EQ(fired, 0);

    const int64_t deadline = steadyMicroseconds() + 3000;
    timer.start(deadline);
    QTimer::singleShot(10000, &loop, &QEventLoop::quit);
    loop.exec();
    EXPECT_EQ(fired, 1);
    EXPECT_GE(firedAt, deadline);
    // A deadline that has passed fires at the first moment.
    timer.start(0);
    loop.exec();
    EXPECT_EQ(fired, 2);
    EXPECT_FALSE(timer.isActive());
}

TEST_F(TransmitListTest, ModeAndPeriodChangesFollowTheTransitionTable) {
    addRow("100");
    editor.load();
    // "Periodic" with a period of 0 shows 0 and never sends.
    editor.selectMode(txModePeriodic);
    EXPECT_EQ(list.row(0).mode, "0");
    advanceMs(50);
    EXPECT_TRUE(sent.empty());

    // A running row takes a new period once the field is left, and its column follows.
    editor.setPeriodText("100");
    editor.leavePeriod();
    EXPECT_EQ(list.row(0).mode, "100");
    advanceMs(250);
    EXPECT_EQ(sent.size(), 2U);
    editor.setPeriodText("500");
    editor.leavePeriod();
    EXPECT_EQ(list.row(0).mode, "500");
    sent.clear();
    advanceMs(1000);
    EXPECT_EQ(sent.size(), 2U);

    for (int entry : {txModeOff, txModeRtr, txModeTrigger}) {
        editor.selectMode(entry);
        EXPECT_EQ(list.row(0).mode, kTxModeNames[entry]);
        EXPECT_FALSE(list.row(0).running);
        EXPECT_EQ(list.row(0).period, 500); // the period is kept
    }
    EXPECT_TRUE(state.txAnyTriggerMode);
    EXPECT_FALSE(state.txAnyRtrMode);

    // Changing the period of a row that is not periodic only stores it.
    editor.setPeriodText("200");
    EXPECT_EQ(list.row(0).mode, "Trigger");
    EXPECT_EQ(list.row(0).period, 200);
}

TEST_F(TransmitListTest, APeriodTypedIntoARunningRowWaitsUntilItIsComplete) {
    addRow("100");
    editor.load();
    editor.setPeriodText("100");
    editor.selectMode(txModePeriodic);
    // Typing 1000 digit by digit: the row never runs at 1, 10 or 100 ms on the way.
    for (const char* typed : {"", "1", "10", "100", "1000"}) {
        editor.setPeriodText(typed);
        advanceMs(200);
    }
    EXPECT_EQ(sent.size(), 10U);
    EXPECT_EQ(list.row(0).mode, "100");
    editor.leavePeriod();
    EXPECT_EQ(list.row(0).mode, "1000");
    sent.clear();
    advanceMs(2000);
    EXPECT_EQ(sent.size(), 2U);

    // A period still pending goes to its own row when Copy to TX List selects a new one.
    editor.setPeriodText("30");
    editor.copyToTxList({"123", "0", "", "", "0"});
    EXPECT_EQ(list.row(0).period, 30);
    EXPECT_EQ(list.row(1).period, 0);
}

TEST_F(TransmitListTest, SendAllStartsExactlyTheRowsWithAPeriodAndStopAllStopsEverything) {
    addRow("001", "off", 200);
    addRow("002", "Trigger", 0);
    addRow("003", "RTR", 50);
    list.sendAllPeriodic();
    EXPECT_EQ(list.row(0).mode, "200");
    EXPECT_TRUE(list.row(0).running);
    EXPECT_EQ(list.row(1).mode, "Trigger");
    EXPECT_FALSE(list.row(1).running);
    EXPECT_EQ(list.row(2).mode, "50");
    EXPECT_FALSE(state.txAnyRtrMode);
    EXPECT_TRUE(state.txAnyTriggerMode);
    advanceMs(200);
    EXPECT_EQ(list.row(0).count, "1");
    EXPECT_EQ(list.row(2).count, "4");

    list.stopAllTx();
    for (int i = 0; i < 3; ++i) {
        EXPECT_EQ(list.row(i).mode, "off");
        EXPECT_FALSE(list.row(i).running);
    }
    EXPECT_EQ(list.row(0).period, 200);
    EXPECT_FALSE(state.txAnyRtrMode);
    EXPECT_FALSE(state.txAnyTriggerMode);
    sent.clear();
    advanceMs(500);
    EXPECT_TRUE(sent.empty());
}

TEST_F(TransmitListTest, DisconnectStopsEveryTimerAndNothingRestartsByItself) {
    addRow("001", "off", 10);
    addRow("002", "off", 20);
    list.sendAllPeriodic();
    advanceMs(20);
    state.isConnected = false;
    list.stopAllTimers();
    EXPECT_EQ(list.row(0).mode, "10"); // the columns keep their periods
    EXPECT_EQ(list.nextDueUs(), -1);
    state.isConnected = true;
    sent.clear();
    advanceMs(100);
    EXPECT_TRUE(sent.empty());
    list.sendAllPeriodic();
    advanceMs(20);
    EXPECT_EQ(sent.size(), 3U);
}

TEST_F(TransmitListTest, NothingIsSentOrCountedWhileDisconnectedOrForAMalformedRow) {
    addRow("123");
    state.isConnected = false;
    list.sendSelectedOnce();
    EXPECT_TRUE(sent.empty());
    EXPECT_EQ(list.row(0).count, "0");
    list.editSelected([](TxRow& r) { r.id = "12"; }); // half typed
    list.sendSelectedOnce();
    EXPECT_EQ(list.notSentText(), ""); // nothing is tried while disconnected

    state.isConnected = true;
    list.sendSelectedOnce();
    EXPECT_TRUE(sent.empty());
    EXPECT_EQ(list.row(0).count, "0");
    EXPECT_EQ(list.notSentText(), "Row 1 not sent: ID 12 needs 3 digits.");
    list.editSelected([](TxRow& r) { r.id = "012"; });
    list.sendSelectedOnce();
    EXPECT_EQ(list.row(0).count, "1");
    EXPECT_EQ(list.notSentText(), "");
}

TEST_F(TransmitListTest, ARemoteRequestIsAnsweredOnceByTheUpperRow) {
    addRow("123", "RTR");
    list.editSelected([](TxRow& r) { r.data = "11 22 33 44 55 66 77 88"; });
    addRow("123", "RTR");
    addRow("124", "RTR");
    list.updateTxModeFlags();
    EXPECT_TRUE(state.txAnyRtrMode);
    list.answerRemoteRequest("123");
    EXPECT_THAT(sent, ElementsAre("123/8/11 22 33 44 55 66 77 88"));
    EXPECT_EQ(list.row(1).count, "0");
    sent.clear();
    list.answerRemoteRequest("00000123"); // identifiers compare as text
    list.answerRemoteRequest("7ff");
    EXPECT_TRUE(sent.empty());
}

TEST_F(TransmitListTest, EveryMatchingTriggerRowFiresInListOrder) {
    addRow("001", "Trigger", 0, "123", "11 **");
    addRow("002", "Trigger", 0, "123", "** 22");
    addRow("003", "Trigger", 0, "123", "11 22 **");
    addRow("004", "off", 0, "123", "11 **");
    list.checkTriggers("123", "11 22");
    EXPECT_THAT(sent, ElementsAre("001/8/00 00 00 00 00 00 00 00", "002/8/00 00 00 00 00 00 00 00"));
    sent.clear();
    list.checkTriggers("123", "11 FF");
    list.checkTriggers("00000123", "11 22");
    list.checkTriggers("123", "12 23");
    EXPECT_THAT(sent, ElementsAre("001/8/00 00 00 00 00 00 00 00"));
}

TEST_F(TransmitListTest, EditorIdRules) {
    list.addTxRow();
    editor.setIdText("123");
    editor.setExtendedId(true);
    EXPECT_EQ(list.row(0).id, "00000123");
    EXPECT_EQ(editor.fields().idMaxLength(), 8U);
    editor.setExtendedId(false);
    EXPECT_EQ(list.row(0).id, "123");
    editor.setIdText("7");
    EXPECT_EQ(list.row(0).id, "7"); // every change goes to the row as it stands
    editor.leaveId();
    EXPECT_EQ(list.row(0).id, "007");
    editor.setExtendedId(true);
    editor.setIdText("7");
    editor.leaveId();
    EXPECT_EQ(list.row(0).id, "00000007");
}

TEST_F(TransmitListTest, EditorDlcRemoteAndByteRules) {
    list.addTxRow();
    editor.setDlcText("2");
    EXPECT_EQ(list.row(0).data, "00 00" + std::string(18, ' '));
    EXPECT_EQ(list.row(0).dlc, "2");
    EXPECT_THAT(editor.fields().byteVisible,
                ElementsAre(true, true, false, false, false, false, false, false));
    editor.setDlcText("8");
    EXPECT_EQ(list.row(0).data, "00 00 00 00 00 00 00 00");

    editor.setByteText(0, "A");
    editor.leaveByte(0);
    EXPECT_EQ(editor.fields().bytes[0], "0A");
    EXPECT_EQ(list.row(0).data, "0A 00 00 00 00 00 00 00");

    editor.setRemote(true);
    EXPECT_EQ(list.row(0).dlc, "0");
    EXPECT_EQ(list.row(0).data, "RTR");
    editor.setDlcText("4"); // a DLC typed while RTR is checked leaves the data alone
    EXPECT_EQ(list.row(0).dlc, "4");
    EXPECT_EQ(list.row(0).data, "RTR");
    editor.setRemote(false);
    EXPECT_EQ(list.row(0).dlc, "8");
    EXPECT_EQ(list.row(0).data, "00 00 00 00 00 00 00 00");

    editor.setDlcText("");
    editor.leaveDlc();
    EXPECT_EQ(list.row(0).dlc, "0");
}

TEST_F(TransmitListTest, LoadingTheEditorWritesNothingBackAndKeepsAnUnknownModeEntry) {
    addRow("1234567890", "Periodic?", 150, "ABC", "11 22");
    list.editSelected([](TxRow& r) {
        r.dlc = "2";
        r.data = "11 22 33 44 55 66 77 88";
    });
    editor.selectMode(txModeRtr);
    list.editSelected([](TxRow& r) { r.mode = "Periodic?"; });
    const TxRow before = list.row(0);
    editor.load();
    EXPECT_EQ(list.row(0).id, before.id);
    EXPECT_EQ(list.row(0).data, before.data);
    EXPECT_EQ(list.row(0).mode, before.mode);
    EXPECT_EQ(editor.fields().id, "12345678");
    EXPECT_TRUE(editor.fields().extendedId);
    EXPECT_EQ(editor.fields().bytes[1], "22");
    EXPECT_EQ(editor.fields().bytes[2], "  "); // hidden beyond the DLC
    EXPECT_EQ(editor.fields().modeEntry, txModeRtr);
    EXPECT_EQ(editor.fields().period, "150");
    EXPECT_FALSE(state.txEditorLoading);
}

TEST_F(TransmitListTest, TriggerFieldsFormTheirPattern) {
    list.addTxRow();
    editor.setTriggerIdText("123");
    editor.setTriggerDataText("1122**");
    editor.leaveTriggerData();
    EXPECT_EQ(list.row(0).triggerId, "123");
    EXPECT_EQ(list.row(0).triggerData, "11 22 **");
    EXPECT_EQ(editor.fields().triggerData, "11 22 **");
}

TEST_F(TransmitListTest, CopyToTxListFillsANewRowThroughTheEditor) {
    list.addTxRow();
    editor.setPeriodText("40");
    editor.selectMode(txModePeriodic);

    const auto traced = copySourceFromTracerLine("12.345 1ABCDEF0 2 11 22                   ");
    ASSERT_TRUE(traced);
    editor.copyToTxList(*traced);
    ASSERT_EQ(list.rowCount(), 2);
    const TxRow& row = list.row(1);
    EXPECT_EQ(row.id, "1ABCDEF0");
    EXPECT_TRUE(editor.fields().extendedId);
    EXPECT_EQ(row.dlc, "2");
    EXPECT_EQ(row.data, "11 22" + std::string(18, ' '));
    EXPECT_EQ(row.mode, "off");
    EXPECT_EQ(row.period, 0);
    EXPECT_EQ(row.count, "0");
    EXPECT_FALSE(row.running);
    EXPECT_TRUE(list.row(0).running); // the other row is untouched

    const auto remote = copySourceFromTracerLine("12.345 7FF      0 RTR                     ");
    ASSERT_TRUE(remote);
    editor.copyToTxList(*remote);
    EXPECT_EQ(list.row(2).data, "RTR");
    EXPECT_EQ(list.row(2).dlc, "0");
    EXPECT_FALSE(editor.fields().extendedId);

    // From the Monitor: the measured period comes along, ready for "Periodic".
    editor.copyToTxList({"123", "3", "01 02 03", "Brake ", "98"});
    const TxRow& monitored = list.row(3);
    EXPECT_EQ(monitored.data, "01 02 03" + std::string(15, ' '));
    EXPECT_EQ(monitored.comment, "Brake ");
    EXPECT_EQ(monitored.period, 98);
    EXPECT_EQ(monitored.mode, "off");
    EXPECT_EQ(list.timerCount(), 5);
    // A Monitor period beyond the longest a row takes: the field shows what the row holds.
    editor.copyToTxList({"124", "0", "", "", "40000"});
    EXPECT_EQ(list.row(4).period, kMaxPeriodMs);
    EXPECT_EQ(editor.fields().period, "32767");
    list.setSelectedRow(3);

    // Raising the DLC later fills the new bytes with 00 instead of leaving gaps.
    editor.setDlcText("5");
    EXPECT_EQ(list.row(3).data, "01 02 03 00 00" + std::string(9, ' '));
}
