#pragma once

// The Monitor's rows, one per identifier text and data length, shown by listReceive.

#include "receive/monitorFold.h"
#include "receive/pairIndex.h"

#include <QAbstractTableModel>

#include <cstdint>
#include <functional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace korvel {

class DatabaseSet;

struct MonitorRow {
    std::string id;
    int dlc = 0;
    std::string data;
    int64_t period = 0;
    uint64_t count = 0;
    std::string comment;
    bool sent = false; // a frame Korvel sent, in a row of its own
};

// Writes the comment to show for an identifier and data text into `comment` (its storage is reused).
using CommentFunction =
    std::function<void(std::string_view idText, std::string_view dataText, std::string& comment)>;

class MonitorModel final : public QAbstractTableModel {
    Q_OBJECT
public:
    // The message name comes last, so the other columns keep their numbers; the window shows it after the
    // identifier, and only while a database is loaded.
    enum Column { colId, colDlc, colData, colPeriod, colCount, colComment, colName, columnCount_ };

    using QAbstractTableModel::QAbstractTableModel;

    int rowCount(const QModelIndex& parent = {}) const override;
    int columnCount(const QModelIndex& parent = {}) const override;
    QVariant data(const QModelIndex& index, int role) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role) const override;

    [[nodiscard]] const std::vector<MonitorRow>& rows() const { return rows_; }
    // Null when `row` is not a row (for example -1, nothing selected).
    [[nodiscard]] const MonitorRow* rowAt(int row) const;
    // The first row of the pair, or -1.
    [[nodiscard]] int findRow(std::string_view idText, int dlc) const;

    // Removes every row at once; the time tables stay as they are.
    void clear();
    // The comment dialog's "Ok": the text as typed, placeholders expanded at the row's next update. Like
    // every shown comment, at most kMaxShownCommentBytes of it.
    void setComment(int row, std::string comment);
    // After loading a comment list: each row's stored comment as stored (its shown start), or empty.
    void setStoredComments(std::string_view listText);
    // The loaded databases, which name each row's message and give its signals as the row's tooltip; null
    // or empty: no names and no tooltips. Views hear of every row again.
    void setDatabases(const DatabaseSet* databases);
    // A frame Korvel sent: a row of its own beside the received frames of the pair, found again by the
    // pair. `timeMs` is on a steady clock, for the row's period.
    void addSentFrame(const CanFrame& frame, int64_t timeMs, std::string comment);

private:
    [[nodiscard]] QVariant signalsTooltip(const MonitorRow& row) const;

    friend void updateMonitorRows(MonitorModel& model, std::span<const PollEntry> entries, RowTimes& rowTimes,
                                  const CommentFunction& commentFor);

    std::vector<MonitorRow> rows_;
    const DatabaseSet* databases_ = nullptr;
    PairIndex index_;                 // (id, dlc) -> row, in step with rows_
    std::vector<int> changedRows_;    // scratch, reused between polls
    std::vector<MonitorRow> newRows_; // scratch, reused between polls
    std::vector<int64_t> sentTimes_;  // by row: when a sent row last sent
};

// Folds one poll's entries into the rows: a pair's row gets the entry's data, a period from the row's
// last time, its count and a fresh comment; a pair without a row gets a new row at the end. Views hear of
// it once per poll: one insertion for all new rows and coalesced dataChanged ranges for the rest.
void updateMonitorRows(MonitorModel& model, std::span<const PollEntry> entries, RowTimes& rowTimes,
                       const CommentFunction& commentFor);

} // namespace korvel
