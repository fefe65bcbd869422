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
