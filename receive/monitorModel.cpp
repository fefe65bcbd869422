#include "receive/monitorModel.h"

#include "receive/comments.h"
#include "signals/frameSignals.h"

#include <algorithm>

namespace korvel {

namespace {

constexpr const char* kHeaders[] = {"ID",     "DLC", "Data", "Period", "Count", "Comment (click to change)",
                                    "Message"};
constexpr int32_t kTimeWrapMs = 60000;

int32_t& rowTime(RowTimes& rowTimes, std::size_t row) {
    // A row added while the other receive procedure was in use has no time here yet: it starts at 0.
    if (rowTimes.size() <= row)
        rowTimes.resize(row + 1, 0);
    return rowTimes[row];
}

} // namespace

int MonitorModel::rowCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : static_cast<int>(rows_.size());
}

int MonitorModel::columnCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : columnCount_;
}

QVariant MonitorModel::data(const QModelIndex& index, int role) const {
    if (!index.isValid() || index.row() >= rowCount())
        return {};
    const MonitorRow& r = rows_[static_cast<std::size_t>(index.row())];
    if (role == Qt::ToolTipRole)
        return signalsTooltip(r);
    if (role != Qt::DisplayRole)
        return {};
    switch (index.column()) {
    case colId:
        return QString::fromStdString(r.id);
    case colDlc:
        return QString::number(r.dlc);
    case colData:
        return QString::fromStdString(r.data);
    case colPeriod:
        return QString::number(r.period);
    case colCount:
        return QString::number(r.count);
    case colComment:
        return QString::fromStdString(r.comment);
    case colName: {
        const MessageDef* message = databases_ ? messageForIdText(*databases_, r.id) : nullptr;
        return message ? QString::fromStdString(message->name) : QString();
    }
    default:
        return {};
    }
}

QVariant MonitorModel::headerData(int section, Qt::Orientation orientation, int role) const {
    if (orientation != Qt::Horizontal || role != Qt::DisplayRole || section < 0 || section >= columnCount_)
        return QAbstractTableModel::headerData(section, orientation, role);
    return QString::fromLatin1(kHeaders[section]);
}

const MonitorRow* MonitorModel::rowAt(int row) const {
    if (row < 0 || row >= rowCount())
        return nullptr;
    return &rows_[static_cast<std::size_t>(row)];
}

int MonitorModel::findRow(std::string_view idText, int dlc) const {
    if (idText.size() > 8 || dlc < 0 || dlc > 255)
        return -1;
    const uint32_t row = index_.find(pairKey(idText, static_cast<uint8_t>(dlc)));
    return row == PairIndex::npos ? -1 : static_cast<int>(row);
}

void MonitorModel::clear() {
    if (rows_.empty())
        return;
    beginResetModel();
    rows_.clear();
    index_.clear();
    endResetModel();
}

void MonitorModel::setComment(int row, std::string comment) {
    if (row < 0 || row >= rowCount())
        return;
    comment.resize(shownComment(comment).size());
    rows_[static_cast<std::size_t>(row)].comment = std::move(comment);
    const QModelIndex cell = index(row, colComment);
    emit dataChanged(cell, cell, {Qt::DisplayRole});
}

void MonitorModel::setStoredComments(std::string_view listText) {
    if (rows_.empty())
        return;
    CommentIndex comments;
    comments.setList(listText);
    for (MonitorRow& r : rows_)
        r.comment.assign(shownComment(comments.stored(r.id).value_or(std::string_view{})));
    emit dataChanged(index(0, colComment), index(rowCount() - 1, colComment), {Qt::DisplayRole});
}

void MonitorModel::setDatabases(const DatabaseSet* databases) {
    databases_ = databases;
    if (!rows_.empty())
        emit dataChanged(index(0, 0), index(rowCount() - 1, columnCount_ - 1),
                         {Qt::DisplayRole, Qt::ToolTipRole});
}

QVariant MonitorModel::signalsTooltip(const MonitorRow& row) const {
    // Decoded when the user hovers, never for a frame nobody looks at.
    if (databases_ == nullptr)
        return {};
    FrameSignals frame;
    frame.update(*databases_, row.id, row.data);
    if (frame.message() == nullptr)
        return {};
    return QString::fromStdString(signalsSummary(*frame.message(), frame.decoded()));
}

void MonitorModel::addSentFrame(const CanFrame& frame, int64_t timeMs, std::string comment) {
    // Sent rows are keyed apart from received ones by a length code no frame has.
    constexpr uint8_t kSentKey = 0x80;
    const PairKey key = pairKey(frame.idText.view(), static_cast<uint8_t>(frame.dlc | kSentKey));
    const uint32_t found = index_.find(key);
    const std::size_t row = found == PairIndex::npos ? rows_.size() : found;
    if (sentTimes_.size() <= row)
        sentTimes_.resize(row + 1, timeMs);
    if (found == PairIndex::npos) {
        index_.insert(key, static_cast<uint32_t>(row));
        sentTimes_[row] = timeMs;
        beginInsertRows({}, static_cast<int>(row), static_cast<int>(row));
        MonitorRow& r = rows_.emplace_back();
        r.id.assign(frame.idText.view());
        r.dlc = frame.dlc;
        r.data.assign(frame.dataText.view());
        r.count = 1;
        r.comment = std::move(comment);
        r.sent = true;
        endInsertRows();
        return;
    }
    MonitorRow& r = rows_[row];
    r.data.assign(frame.dataText.view());
    r.period = std::max<int64_t>(timeMs - sentTimes_[row], 0);
    sentTimes_[row] = timeMs;
    ++r.count;
    r.comment = std::move(comment);
    emit dataChanged(index(static_cast<int>(row), colData), index(static_cast<int>(row), colComment),
                     {Qt::DisplayRole});
}

void updateMonitorRows(MonitorModel& model, std::span<const PollEntry> entries, RowTimes& rowTimes,
                       const CommentFunction& commentFor) {
    std::vector<MonitorRow>& rows = model.rows_;
    std::vector<MonitorRow>& added = model.newRows_;
    std::vector<int>& changed = model.changedRows_;
    added.clear();
    changed.clear();
    const std::size_t existing = rows.size();

    for (const PollEntry& entry : entries) {
        const PairKey key = pairKey(entry.idText.view(), entry.dlc);
        const uint32_t found = model.index_.find(key);
        if (found == PairIndex::npos) {
            const std::size_t row = existing + added.size();
            model.index_.insert(key, static_cast<uint32_t>(row));
            // A new row measures its first period from its own first frame.
            rowTime(rowTimes, row) = entry.timestampMs;
            MonitorRow& r = added.emplace_back();
            r.id.assign(entry.idText.view());
            r.dlc = entry.dlc;
            r.data.assign(entry.dataText.view());
            r.count = entry.frameCount;
            if (commentFor)
                commentFor(r.id, r.data, r.comment);
            continue;
        }
        const std::size_t row = found;
        MonitorRow& r = row < existing ? rows[row] : added[row - existing];
        int32_t& last = rowTime(rowTimes, row);
        int64_t elapsed = static_cast<int64_t>(entry.timestampMs) - last;
        if (elapsed < 0)
            elapsed += kTimeWrapMs;
        last = entry.timestampMs;
        r.data.assign(entry.dataText.view());
        r.period = entry.frameCount > 0 ? elapsed / entry.frameCount : 0;
        r.count += entry.frameCount;
        if (commentFor)
            commentFor(r.id, r.data, r.comment);
        else
            r.comment.clear();
        if (row < existing)
            changed.push_back(static_cast<int>(row));
    }

    if (!added.empty()) {
        const int first = static_cast<int>(existing);
        model.beginInsertRows({}, first, first + static_cast<int>(added.size()) - 1);
        std::move(added.begin(), added.end(), std::back_inserter(rows));
        model.endInsertRows();
        added.clear();
    }

    if (changed.empty())
        return;
    std::sort(changed.begin(), changed.end());
    const QList<int> roles{Qt::DisplayRole};
    std::size_t runStart = 0;
    for (std::size_t i = 1; i <= changed.size(); ++i) {
        if (i < changed.size() && changed[i] <= changed[i - 1] + 1)
            continue;
        emit model.dataChanged(model.index(changed[runStart], MonitorModel::colData),
                               model.index(changed[i - 1], MonitorModel::colComment), roles);
        runStart = i;
    }
}

} // namespace korvel
