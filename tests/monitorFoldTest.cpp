#include "receive/monitorFold.h"
#include "core/basGlobal.h"
#include "receive/comments.h"
#include "receive/monitorModel.h"

#include <QAbstractItemModelTester>
#include <QSignalSpy>

#include <gtest/gtest.h>

#include <random>
#include <string>
#include <vector>

using namespace korvel;

namespace {

CanFrame frame(std::string_view id, uint8_t dlc, std::string_view data, int32_t timeMs = 0) {
    CanFrame f;
    f.idText.assign(id);
    f.isExtended = id.size() == 8;
    f.dlc = dlc;
    f.dataText.assign(data);
    f.isRemote = data == "RTR";
    f.timestampMs = timeMs;
    return f;
}

std::string hex3(int value) {
    static const char* digits = "0123456789ABCDEF";
    return {digits[(value >> 8) & 15], digits[(value >> 4) & 15], digits[value & 15]};
}

// A Monitor under the model tester, with its own time table and the comments of a list text.
struct Monitor {
    MonitorModel model;
    QAbstractItemModelTester tester{&model, QAbstractItemModelTester::FailureReportingMode::Fatal};
    MonitorFold fold;
    RowTimes times;
    std::string comments;
    int32_t options = 0;

    void poll(const std::vector<CanFrame>& frames) {
        fold.begin();
        for (const CanFrame& f : frames)
            fold.add(f);
        CommentIndex index;
        index.setList(comments);
        updateMonitorRows(model, fold.entries(), times,
                          [&](std::string_view id, std::string_view data, std::string& out) {
                              frameComment(id, data, index, options, out);
                          });
    }
    const MonitorRow& row(int i) const { return *model.rowAt(i); }
};

} // namespace

TEST(MonitorFold, FirstFrameOfAPairKeepsDataAndTimeLaterFramesOnlyCount) {
    MonitorFold fold;
    fold.begin();
    fold.add(frame("123", 1, "03", 300));
    fold.add(frame("123", 1, "02", 200));
    fold.add(frame("123", 1, "01", 100));
    ASSERT_EQ(fold.entries().size(), 1U);
    const PollEntry& e = fold.entries()[0];
    EXPECT_EQ(e.frameCount, 3U);
    EXPECT_EQ(e.dataText, "03");
    EXPECT_EQ(e.timestampMs, 300);

    // A caller-supplied time (the PC clock) is taken from the first frame only.
    fold.begin();
    fold.add(frame("123", 1, "01"), 5000);
    fold.add(frame("123", 1, "02"), 5007);
    ASSERT_EQ(fold.entries().size(), 1U);
    EXPECT_EQ(fold.entries()[0].timestampMs, 5000);
    EXPECT_EQ(fold.entries()[0].frameCount, 2U);
}

TEST(MonitorFold, EveryPairOfAPollReachesTheMonitorInFirstMetOrder) {
    for (const int pairs : {150, 2048}) {
        Monitor m;
        std::vector<CanFrame> frames;
        for (int round = 0; round < 2; ++round)
            for (int i = 0; i < pairs; ++i)
                frames.push_back(frame(hex3(i), 1, "00", round));
        m.poll(frames);
        ASSERT_EQ(m.model.rowCount(), pairs);
        uint64_t total = 0;
        for (int i = 0; i < pairs; ++i) {
            EXPECT_EQ(m.row(i).id, hex3(i));
            total += m.row(i).count;
        }
        EXPECT_EQ(total, frames.size());
    }
}

TEST(MonitorRows, NewRowShowsTheFirstPollAndLaterPollsMeasureThePeriod) {
    Monitor m;
    m.poll({frame("123", 2, "11 22", 1000), frame("123", 2, "11 22", 1010)});
    ASSERT_EQ(m.model.rowCount(), 1);
    EXPECT_EQ(m.row(0).id, "123");
    EXPECT_EQ(m.row(0).dlc, 2);
    EXPECT_EQ(m.row(0).data, "11 22");
    EXPECT_EQ(m.row(0).period, 0);
    EXPECT_EQ(m.row(0).count, 2U);
    EXPECT_EQ(m.model.data(m.model.index(0, MonitorModel::colCount), Qt::DisplayRole).toString(), "2");

    // The entry's time is the first frame's (the newest, as the poll visits newest first).
    m.poll({frame("123", 2, "33 44", 1200)});
    EXPECT_EQ(m.row(0).period, 200);
    m.poll({frame("123", 2, "55 66", 1700), frame("123", 2, "55 66", 1600)});
    EXPECT_EQ(m.row(0).period, 250); // 500 ms over 2 frames
    EXPECT_EQ(m.row(0).data, "55 66");
    EXPECT_EQ(m.row(0).count, 5U);
}

TEST(MonitorRows, PeriodWrapsAt60000AndStaysZeroWithoutTimestamps) {
    Monitor m;
    m.poll({frame("123", 0, "", 59950)});
    m.poll({frame("123", 0, "", 50)});
    EXPECT_EQ(m.row(0).period, 100);

    Monitor untimed;
    for (int i = 0; i < 3; ++i)
        untimed.poll({frame("7FF", 0, "", 0)});
    EXPECT_EQ(untimed.row(0).period, 0);
    EXPECT_EQ(untimed.row(0).count, 3U);
}

TEST(MonitorRows, ExistingRowsKeepTheirTimeWhenRowsAreAdded) {
    Monitor m;
    m.poll({frame("100", 0, "", 1000)});
    m.poll({frame("200", 0, "", 1050), frame("100", 0, "", 1100)});
    EXPECT_EQ(m.row(0).period, 100);
    m.poll({frame("100", 0, "", 1300), frame("200", 0, "", 1350)});
    EXPECT_EQ(m.row(0).period, 200);
    EXPECT_EQ(m.row(1).period, 300); // from the new row's first frame, not from 0
}

TEST(MonitorRows, RemoteAndDataFrameOfOneLengthShareARowLowerAndUpperCaseDoNot) {
    Monitor m;
    m.poll({frame("7FF", 0, "RTR")});
    EXPECT_EQ(m.row(0).data, "RTR");
    m.poll({frame("7FF", 0, ""), frame("1ab", 1, "00"), frame("1AB", 1, "00"), frame("01AB", 1, "00")});
    ASSERT_EQ(m.model.rowCount(), 4);
    EXPECT_EQ(m.row(0).data, "");
    EXPECT_EQ(m.row(0).count, 2U);
    EXPECT_EQ(m.model.findRow("1ab", 1), 1);
    EXPECT_EQ(m.model.findRow("1AB", 1), 2);
    EXPECT_EQ(m.model.findRow("1AB", 2), -1);
}

TEST(MonitorRows, BothLengthsOfAnIdentifierShowItsCommentWithPlaceholdersExpanded) {
    Monitor m;
    m.comments = "ID123=Door <ASC>\r\n";
    m.poll({frame("123", 2, "4F 4B"), frame("123", 8, "4F 4B 00 00 00 00 00 00")});
    EXPECT_EQ(m.row(0).comment, "Door ASCII:OK");
    EXPECT_EQ(m.row(1).comment, "Door ASCII:OK      ");
    m.options = optCommentDec;
    m.poll({frame("123", 2, "01 FF")});
    EXPECT_EQ(m.row(0).comment, "DEC: 1 255");
}

TEST(MonitorRows, RowsOfTheOtherReceiveProcedureGetATimeInsteadOfFailing) {
    MonitorModel model;
    RowTimes ascii;
    RowTimes peak;
    MonitorFold fold;
    fold.begin();
    fold.add(frame("100", 0, "", 10));
    fold.add(frame("200", 0, "", 10));
    updateMonitorRows(model, fold.entries(), ascii, {});
    fold.begin();
    fold.add(frame("200", 0, ""), 700);
    updateMonitorRows(model, fold.entries(), peak, {});
    EXPECT_EQ(model.rowAt(1)->period, 700);
    EXPECT_EQ(peak.size(), 2U);
}

TEST(MonitorRows, CountIsSixtyFourBit) {
    MonitorModel model;
    RowTimes times;
    PollEntry big{ShortText<8>("123"), 0, UINT32_MAX, {}, 0};
    for (int i = 0; i < 3; ++i)
        updateMonitorRows(model, std::span<const PollEntry>(&big, 1), times, {});
    EXPECT_EQ(model.rowAt(0)->count, 3ULL * UINT32_MAX);
    EXPECT_EQ(model.data(model.index(0, MonitorModel::colCount), Qt::DisplayRole).toString().toStdString(),
              std::to_string(3ULL * UINT32_MAX));
}

TEST(MonitorRows, ViewsHearOneInsertionAndCoalescedChangesPerPollNeverAReset) {
    Monitor m;
    m.poll({frame("100", 0, ""), frame("101", 0, ""), frame("102", 0, ""), frame("103", 0, "")});
    QSignalSpy inserted(&m.model, &QAbstractItemModel::rowsInserted);
    QSignalSpy changed(&m.model, &QAbstractItemModel::dataChanged);
    QSignalSpy reset(&m.model, &QAbstractItemModel::modelReset);
    // Rows 0, 1 and 3 change, two rows are new.
    m.poll({frame("103", 0, ""), frame("200", 0, ""), frame("100", 0, ""), frame("201", 0, ""),
            frame("101", 0, "")});
    ASSERT_EQ(inserted.size(), 1);
    EXPECT_EQ(inserted[0][1].toInt(), 4);
    EXPECT_EQ(inserted[0][2].toInt(), 5);
    ASSERT_EQ(changed.size(), 2);
    EXPECT_EQ(changed[0][0].value<QModelIndex>().row(), 0);
    EXPECT_EQ(changed[0][1].value<QModelIndex>().row(), 1);
    EXPECT_EQ(changed[1][0].value<QModelIndex>().row(), 3);
    EXPECT_EQ(changed[1][1].value<QModelIndex>().row(), 3);
    EXPECT_EQ(reset.size(), 0);
    EXPECT_EQ(m.model.rowAt(5)->id, "201");
}

TEST(MonitorRows, ClearRemovesRowsAndKeepsTheTimeTables) {
    Monitor m;
    m.poll({frame("100", 0, "", 500), frame("200", 0, "", 500)});
    m.model.clear();
    EXPECT_EQ(m.model.rowCount(), 0);
    EXPECT_EQ(m.times.size(), 2U);
    EXPECT_EQ(m.model.findRow("100", 0), -1);
    m.poll({frame("200", 0, "", 900)});
    ASSERT_EQ(m.model.rowCount(), 1);
    EXPECT_EQ(m.row(0).count, 1U);
    m.poll({frame("200", 0, "", 1000)});
    EXPECT_EQ(m.row(0).period, 100);
}

// The hash index must give exactly what the first-match text search over the rows gives.
TEST(MonitorRows, MatchesALinearFirstMatchReferenceOverRandomPolls) {
    Monitor m;
    std::vector<MonitorRow> reference;
    RowTimes referenceTimes;
    std::mt19937 random(12345);
    for (int poll = 0; poll < 200; ++poll) {
        std::vector<CanFrame> frames;
        const int n = static_cast<int>(random() % 40);
        for (int i = 0; i < n; ++i) {
            const int id = static_cast<int>(random() % 64);
            const auto dlc = static_cast<uint8_t>(random() % 3);
            frames.push_back(
                frame(id % 2 ? hex3(id) : QString::fromStdString(hex3(id)).toLower().toStdString(), dlc,
                      std::to_string(random() % 100), static_cast<int32_t>(random() % 60000)));
        }
        if (poll == 120)
            m.model.clear(), reference.clear();
        m.poll(frames);
        for (const PollEntry& e : m.fold.entries()) {
            auto it = std::find_if(reference.begin(), reference.end(), [&](const MonitorRow& r) {
                return r.id == e.idText.view() && r.dlc == e.dlc;
            });
            const auto j = static_cast<std::size_t>(it - reference.begin());
            if (it == reference.end()) {
                reference.push_back({e.idText.str(), e.dlc, e.dataText.str(), 0, e.frameCount, {}});
                referenceTimes.resize(std::max(referenceTimes.size(), j + 1));
                referenceTimes[j] = e.timestampMs;
                continue;
            }
            int64_t elapsed = e.timestampMs - referenceTimes[j];
            if (elapsed < 0)
                elapsed += 60000;
            referenceTimes[j] = e.timestampMs;
            it->data = e.dataText.str();
            it->period = elapsed / e.frameCount;
            it->count += e.frameCount;
        }
        ASSERT_EQ(m.model.rows().size(), reference.size()) << "poll " << poll;
        for (std::size_t r = 0; r < reference.size(); ++r) {
            ASSERT_EQ(m.model.rows()[r].id, reference[r].id);
            ASSERT_EQ(m.model.rows()[r].dlc, reference[r].dlc);
            ASSERT_EQ(m.model.rows()[r].data, reference[r].data);
            ASSERT_EQ(m.model.rows()[r].period, reference[r].period);
            ASSERT_EQ(m.model.rows()[r].count, reference[r].count);
        }
    }
}

TEST(MonitorRows, StoredCommentsAndTypedCommentReachTheRows) {
    Monitor m;
    m.poll({frame("123", 0, ""), frame("456", 0, ""), frame("123", 1, "00")});
    m.model.setStoredComments("ID123=<DEC> speed\r\n");
    EXPECT_EQ(m.row(0).comment, "<DEC> speed"); // as stored until the next update
    EXPECT_EQ(m.row(1).comment, "");
    EXPECT_EQ(m.row(2).comment, "<DEC> speed");
    m.model.setComment(1, "typed");
    EXPECT_EQ(m.row(1).comment, "typed");
    m.model.setComment(7, "ignored");
    EXPECT_EQ(m.model.rowAt(7), nullptr);
    EXPECT_EQ(m.model.rowAt(-1), nullptr);
}

TEST(MonitorRows, CommentColumnClickOpensOnlyRightOfItsEdgeWithRows) {
    EXPECT_TRUE(commentColumnClickOpens(501, 500, 1));
    EXPECT_FALSE(commentColumnClickOpens(500, 500, 1));
    EXPECT_FALSE(commentColumnClickOpens(120, 500, 3));
    EXPECT_FALSE(commentColumnClickOpens(900, 500, 0));
}

namespace {

std::vector<std::string> shownIds(const MonitorModel& model) {
    std::vector<std::string> ids;
    for (int r = 0; r < model.rowCount(); ++r)
        ids.push_back(model.rowAt(r)->id);
    return ids;
}

} // namespace

TEST(MonitorSort, HeaderClicksCycleAscendingDescendingArrivalAndTheCommentKeepsTheOrder) {
    MonitorSort s;
    s = nextMonitorSort(s, MonitorModel::colCount);
    EXPECT_EQ(s, (MonitorSort{MonitorModel::colCount, false}));
    s = nextMonitorSort(s, MonitorModel::colCount);
    EXPECT_EQ(s, (MonitorSort{MonitorModel::colCount, true}));
    EXPECT_EQ(nextMonitorSort(s, MonitorModel::colComment), s);
    EXPECT_EQ(nextMonitorSort(s, MonitorModel::colId), (MonitorSort{MonitorModel::colId, false}));
    s = nextMonitorSort(s, MonitorModel::colCount);
    EXPECT_FALSE(s.active());
    EXPECT_EQ(nextMonitorSort(s, 99), s);
}

TEST(MonitorSort, ColumnsSortStandardBeforeExtendedTiesInArrivalOrderAndTheThirdClickRestoresIt) {
    Monitor m;
    m.poll({frame("7FF", 2, "10 00"), frame("0000000A", 1, "FF"), frame("1ab", 1, "0a"), frame("100", 0, ""),
            frame("1AB", 1, "0B"), frame("100", 1, "RTR")});
    m.poll({frame("100", 0, ""), frame("100", 0, ""), frame("1AB", 1, "0B")});
    const std::vector<std::string> arrival = shownIds(m.model);

    m.model.setSort({MonitorModel::colId, false});
    EXPECT_EQ(shownIds(m.model), (std::vector<std::string>{"100", "100", "1AB", "1ab", "7FF", "0000000A"}));
    EXPECT_EQ(m.model.rowAt(0)->dlc, 0); // the same identifier by its length
    m.model.setSort({MonitorModel::colId, true});
    EXPECT_EQ(shownIds(m.model), (std::vector<std::string>{"0000000A", "7FF", "1ab", "1AB", "100", "100"}));
    m.model.setSort({MonitorModel::colData, false}); // bytes by value, letters in either case; RTR last
    EXPECT_EQ(shownIds(m.model), (std::vector<std::string>{"100", "1ab", "1AB", "7FF", "0000000A", "100"}));
    m.model.setSort({MonitorModel::colCount, true}); // ties keep their arrival order
    EXPECT_EQ(shownIds(m.model), (std::vector<std::string>{"100", "1AB", "7FF", "0000000A", "1ab", "100"}));
    EXPECT_EQ(m.model.findRow("100", 0), 0);
    EXPECT_EQ(m.model.findRow("7FF", 2), 2);
    m.model.setSort({});
    EXPECT_EQ(shownIds(m.model), arrival);
    for (uint32_t r = 0; r < 6; ++r) // strict, as std::sort needs: no row goes before itself
        EXPECT_FALSE(shownBefore(m.model.rows(), {MonitorModel::colCount, true}, r, r));
}

// Streaming into a sorted list: every poll leaves the rows exactly as a full sort would, the periods still
// come from each row's own time, and a row held by a view stays the same row however it moves.
TEST(MonitorSort, StreamingPollsKeepTheOrderAFullSortGivesAndViewsKeepTheirRows) {
    for (const MonitorSort sort :
         {MonitorSort{MonitorModel::colCount, true}, MonitorSort{MonitorModel::colData, false},
          MonitorSort{MonitorModel::colPeriod, false}, MonitorSort{MonitorModel::colId, true}}) {
        Monitor m;
        m.model.setSort(sort);
        std::mt19937 random(777);
        QPersistentModelIndex held;
        std::string heldId;
        int32_t time = 0;
        for (int poll = 0; poll < 120; ++poll) {
            std::vector<CanFrame> frames;
            time = (time + 100) % 60000;
            const int n = static_cast<int>(random() % 30);
            for (int i = 0; i < n; ++i) {
                const int id = static_cast<int>(random() % 50);
                frames.push_back(frame(hex3(id), 1, hex3(static_cast<int>(random() % 4)).substr(1),
                                       time - static_cast<int>(random() % 50)));
            }
            m.poll(frames);
            if (poll == 60)
                m.model.clear();
            if (!held.isValid() && m.model.rowCount() > 3) {
                held = QPersistentModelIndex(m.model.index(2, MonitorModel::colId));
                heldId = m.model.rowAt(2)->id;
            }
            if (held.isValid()) {
                ASSERT_EQ(m.model.rowAt(held.row())->id, heldId) << "poll " << poll;
            }
            std::vector<uint32_t> expected;
            sortShownOrder(m.model.rows(), sort, expected);
            for (std::size_t r = 0; r < expected.size(); ++r)
                ASSERT_EQ(m.model.rowAt(static_cast<int>(r)), &m.model.rows()[expected[r]])
                    << "poll " << poll;
        }
    }
    // Periods stay with their rows: a sorted list measures them as an unsorted one does.
    Monitor sorted;
    Monitor plain;
    sorted.model.setSort({MonitorModel::colId, true});
    for (int32_t t : {100, 350, 700}) {
        sorted.poll({frame("200", 0, "", t), frame("100", 0, "", t + 5)});
        plain.poll({frame("200", 0, "", t), frame("100", 0, "", t + 5)});
    }
    EXPECT_EQ(sorted.row(0).id, "200");
    EXPECT_EQ(sorted.row(0).period, plain.row(0).period);
    EXPECT_EQ(sorted.row(1).period, 350);
}

TEST(MonitorFind, WholeIdentifiersFirstThenStartsWithOrWithoutZerosAndBadTextFindsNothing) {
    Monitor m;
    m.poll({frame("12345678", 0, ""), frame("120", 0, ""), frame("0CF00400", 0, ""), frame("123", 0, ""),
            frame("1ab", 0, "")});
    EXPECT_EQ(m.model.findId("123"), 3);        // whole before the extended one that starts with it
    EXPECT_EQ(m.model.findId("12"), 0);         // the first that starts with it
    EXPECT_EQ(m.model.findId("12", 1), 1);      // from a row on
    EXPECT_EQ(m.model.findId("1234", 2), 0);    // wrapping round
    EXPECT_EQ(m.model.findId(" 1AB "), 4);      // blanks and case do not matter
    EXPECT_EQ(m.model.findId("cf004"), 2);      // without the leading zero
    EXPECT_EQ(m.model.findNextId("123", 0), 0); // Enter: the next that matches at all
    EXPECT_EQ(m.model.findNextId("123", 1), 3);
    for (const std::string& bad : {std::string(), std::string("   "), std::string("****"), std::string("12G"),
                                   std::string(10000, '1'), std::string("123456789")})
        EXPECT_EQ(m.model.findId(bad), -1) << bad.size();
    m.model.setSort({MonitorModel::colId, true}); // rows as shown: 12345678 0CF00400 1ab 123 120
    EXPECT_EQ(m.model.findId("12", 1), 3);
    EXPECT_EQ(Monitor().model.findId("1"), -1);
}

TEST(MonitorHighlight, ChangedBytesGlowAndFadeAndQuietRowsGreyOnlyWhileSwitchedOn) {
    struct {
        double now = 100.0;
    } clock;
    Monitor m;
    m.model.setClock([&] { return clock.now; });
    const auto heat = [&](int row) {
        return m.model.data(m.model.index(row, MonitorModel::colData), MonitorModel::changeHeatRole)
            .toByteArray();
    };
    const auto quiet = [&](int row) {
        return m.model.data(m.model.index(row, MonitorModel::colId), MonitorModel::quietRole).toBool();
    };
    m.model.setChangeHighlight(true);
    m.poll({frame("100", 3, "01 02 03", 0), frame("200", 1, "RTR", 0), frame("300", 1, "00", 0)});
    EXPECT_TRUE(heat(0).isEmpty()); // a new row has nothing to compare with
    clock.now += 0.1;
    m.poll({frame("100", 3, "01 F2 03", 100), frame("200", 1, "05", 100), frame("300", 1, "00", 100)});
    EXPECT_EQ(heat(0), QByteArray::fromHex("00ff000000000000"));
    EXPECT_EQ(heat(1), QByteArray::fromHex("ff00000000000000")); // data after a remote frame
    EXPECT_TRUE(heat(2).isEmpty());
    QSignalSpy changed(&m.model, &QAbstractItemModel::dataChanged);
    clock.now = 100.35;
    m.model.refreshHighlight();
    EXPECT_EQ(changed.size(), 1);
    EXPECT_NEAR(static_cast<uint8_t>(heat(0)[1]), 191, 2);

    // Quiet after three periods, never under half a second (the polls' own pace), or 2 s without a period.
    EXPECT_FALSE(quiet(0));
    clock.now = 100.7;
    m.model.refreshHighlight();
    EXPECT_TRUE(quiet(0));
    EXPECT_TRUE(quiet(2));
    EXPECT_EQ(changed.size(), 2);
    clock.now = 101.2;
    m.model.refreshHighlight();
    EXPECT_TRUE(heat(0).isEmpty());
    m.model.refreshHighlight(); // nothing left to fade or to go quiet: views hear nothing
    EXPECT_EQ(changed.size(), 3);

    m.poll({frame("100", 3, "01 F2 03", 2000)}); // a frame wakes the row; period 1900 ms
    EXPECT_FALSE(quiet(0));
    clock.now = 106.8;
    m.model.refreshHighlight();
    EXPECT_FALSE(quiet(0));
    clock.now = 107.0;
    m.model.refreshHighlight();
    EXPECT_TRUE(quiet(0));
    m.model.setChangeHighlight(false);
    EXPECT_FALSE(quiet(0));
    m.poll({frame("300", 1, "77", 0)});
    EXPECT_TRUE(heat(2).isEmpty());
    EXPECT_EQ(m.model.data(m.model.index(2, MonitorModel::colData), Qt::DisplayRole).toString(), "77");
    m.model.setChangeHighlight(true); // changes made while off are known
    EXPECT_EQ(static_cast<uint8_t>(heat(2)[0]), 255);

    // Quiet without a period, and the bounds of the glow.
    EXPECT_EQ(quietAfterSeconds(0), 2.0);
    EXPECT_EQ(quietAfterSeconds(1000), 3.0);
    EXPECT_EQ(changeHeat(kNeverChanged, 5.0), 0);
    EXPECT_EQ(changeHeat(5.0, 5.0), 255);
    EXPECT_EQ(changeHeat(5.0, 6.0), 0);
}

TEST(MonitorHighlight, TheSwitchHasItsOwnSectionAndAFileThatNeverHeldItStaysAsItWas) {
    IniDocument fresh("[Options]\r\nDevice=1\r\n");
    EXPECT_TRUE(readChangeHighlight(fresh));
    writeChangeHighlight(fresh, true);
    EXPECT_EQ(fresh.text(), "[Options]\r\nDevice=1\r\n");
    writeChangeHighlight(fresh, false);
    EXPECT_FALSE(readChangeHighlight(fresh));
    EXPECT_EQ(fresh.value("Monitor", "ChangeHighlight"), "0");
    writeChangeHighlight(fresh, true);
    EXPECT_TRUE(readChangeHighlight(fresh));
}
