#pragma once

// The Monitor's rows, one per identifier text and data length, shown by listReceive.

#include "receive/monitorFold.h"
#include "receive/monitorHighlight.h"
#include "receive/monitorSort.h"
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
    double seenAt = 0; // host clock of the row's last poll
    ByteChangeTimes byteChangedAt = [] {
        ByteChangeTimes never;
        never.fill(kNeverChanged);
        return never;
    }();
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
    enum Role {
        // Data column: one glow per byte (0 to 255) while any byte glows, else nothing.
        changeHeatRole = Qt::UserRole + 16,
        // Whether the row's identifier has gone quiet.
        quietRole,
    };

    using QAbstractTableModel::QAbstractTableModel;

    int rowCount(const QModelIndex& parent = {}) const override;
    int columnCount(const QModelIndex& parent = {}) const override;
    QVariant data(const QModelIndex& index, int role) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role) const override;

    // In arrival order, whatever order is shown.
    [[nodiscard]] const std::vector<MonitorRow>& rows() const { return rows_; }
    // Null when `row` is not a shown row (for example -1, nothing selected).
    [[nodiscard]] const MonitorRow* rowAt(int row) const;
    // The shown row of the pair, or -1.
    [[nodiscard]] int findRow(std::string_view idText, int dlc) const;
    // The shown row the find box jumps to for a typed identifier: from shown row `from` on, wrapping, the
    // first whole match, else the first that starts with it (with or without leading zeros); -1 for none.
    [[nodiscard]] int findId(std::string_view typed, int from = 0) const;
    // Enter in the find box: the first shown row from `from` on, wrapping, that matches at all.
    [[nodiscard]] int findNextId(std::string_view typed, int from) const;

    // Re-sorts at once; later polls keep the order, moving only the rows they touch. Views keep their
    // selection on the same rows.
    void setSort(MonitorSort sort);
    [[nodiscard]] MonitorSort sort() const { return sort_; }

    // Off: no glow and no grey, the rows as they always were. Byte changes are followed either way.
    void setChangeHighlight(bool on);
    [[nodiscard]] bool changeHighlight() const { return highlight_; }
    // Moves the highlighting to the clock's time; views hear of it only while something fades or goes
    // quiet. For a timer while the list is shown.
    void refreshHighlight();
    // An empty function restores the monotonic clock.
    void setClock(SecondsClock clock) { clock_ = clock ? std::move(clock) : SecondsClock(monotonicSeconds); }

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

    [[nodiscard]] std::size_t storageRow(int shownRow) const;
    [[nodiscard]] int shownRow(std::size_t storageRow) const;
    // Shows `order` (storage rows in shown order, swapped in) as one layout change, when it differs.
    void showOrder(std::vector<uint32_t>& order);
    void afterPoll(std::size_t existing);
    [[nodiscard]] double nextQuietTime(double now) const;
    void emitHighlightChanged();

    std::vector<MonitorRow> rows_;
    const DatabaseSet* databases_ = nullptr;
    PairIndex index_;                 // (id, dlc) -> row, in step with rows_
    std::vector<int> changedRows_;    // scratch, reused between polls
    std::vector<MonitorRow> newRows_; // scratch, reused between polls
    std::vector<int64_t> sentTimes_;  // by row: when a sent row last sent

    MonitorSort sort_;
    std::vector<uint32_t> order_;    // shown row -> storage row; empty while unsorted
    std::vector<uint32_t> position_; // storage row -> shown row; empty while unsorted
    std::vector<uint8_t> moved_;     // scratch: storage rows a poll may have moved
    std::vector<uint32_t> newOrder_; // scratch
    std::vector<uint32_t> sortScratch_;

    bool highlight_ = false;
    SecondsClock clock_ = monotonicSeconds;
    double now_ = 0;                      // the time the highlighting shows
    double lastChangeAt_ = kNeverChanged; // of any byte
    double nextQuiet_ = 0;                // no row goes quiet before this
};

// Folds one poll's entries into the rows: a pair's row gets the entry's data, a period from the row's
// last time, its count and a fresh comment; a pair without a row gets a new row at the end. Views hear of
// it once per poll: one insertion for all new rows and coalesced dataChanged ranges for the rest.
void updateMonitorRows(MonitorModel& model, std::span<const PollEntry> entries, RowTimes& rowTimes,
                       const CommentFunction& commentFor);

} // namespace korvel
