#include "receive/monitorModel.h"

#include "receive/comments.h"
#include "signals/frameSignals.h"

#include <QByteArray>

#include <algorithm>
#include <limits>

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
    const MonitorRow& r = rows_[storageRow(index.row())];
    if (role == Qt::ToolTipRole)
        return signalsTooltip(r);
    if (role == quietRole)
        return highlight_ && now_ - r.seenAt > quietAfterSeconds(r.period);
    if (role == changeHeatRole) {
        if (!highlight_ || index.column() != colData || !(now_ - lastChangeAt_ < kChangeFadeSeconds))
            return {};
        QByteArray heat(static_cast<qsizetype>(r.byteChangedAt.size()), '\0');
        bool glows = false;
        for (std::size_t i = 0; i < r.byteChangedAt.size(); ++i) {
            heat[static_cast<qsizetype>(i)] = static_cast<char>(changeHeat(r.byteChangedAt[i], now_));
            glows = glows || heat[static_cast<qsizetype>(i)] != 0;
        }
        return glows ? QVariant(heat) : QVariant();
    }
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
    return &rows_[storageRow(row)];
}

int MonitorModel::findRow(std::string_view idText, int dlc) const {
    if (idText.size() > 8 || dlc < 0 || dlc > 255)
        return -1;
    const uint32_t row = index_.find(pairKey(idText, static_cast<uint8_t>(dlc)));
    return row == PairIndex::npos ? -1 : shownRow(row);
}

namespace {

std::string_view trimmedBlanks(std::string_view text) {
    const auto first = text.find_first_not_of(' ');
    if (first == std::string_view::npos)
        return {};
    return text.substr(first, text.find_last_not_of(' ') - first + 1);
}

} // namespace

int MonitorModel::findId(std::string_view typed, int from) const {
    const int rows = rowCount();
    typed = trimmedBlanks(typed);
    from = from < 0 || from >= rows ? 0 : from;
    int best = -1;
    int bestKind = std::numeric_limits<int>::max();
    for (int k = 0; k < rows; ++k) {
        const int row = (from + k) % rows;
        const int kind = idMatchKind(rows_[storageRow(row)].id, typed);
        if (kind == 0)
            return row;
        if (kind > 0 && kind < bestKind) {
            best = row;
            bestKind = kind;
        }
    }
    return best;
}

int MonitorModel::findNextId(std::string_view typed, int from) const {
    const int rows = rowCount();
    typed = trimmedBlanks(typed);
    from = from < 0 || from >= rows ? 0 : from;
    for (int k = 0; k < rows; ++k) {
        const int row = (from + k) % rows;
        if (idMatchKind(rows_[storageRow(row)].id, typed) >= 0)
            return row;
    }
    return -1;
}

std::size_t MonitorModel::storageRow(int shownRow) const {
    const auto row = static_cast<std::size_t>(shownRow);
    return order_.empty() ? row : order_[row];
}

int MonitorModel::shownRow(std::size_t storageRow) const {
    return static_cast<int>(position_.empty() ? storageRow : position_[storageRow]);
}

void MonitorModel::setSort(MonitorSort sort) {
    if (sort == sort_)
        return;
    sort_ = sort;
    sortShownOrder(rows_, sort_, newOrder_);
    showOrder(newOrder_);
}

void MonitorModel::showOrder(std::vector<uint32_t>& order) {
    bool same = true;
    for (std::size_t i = 0; i < order.size() && same; ++i)
        same = storageRow(static_cast<int>(i)) == order[i];
    const auto install = [this, &order] {
        if (!sort_.active()) {
            order_.clear();
            position_.clear();
            return;
        }
        order_.swap(order);
        position_.resize(order_.size());
        for (std::size_t i = 0; i < order_.size(); ++i)
            position_[order_[i]] = static_cast<uint32_t>(i);
    };
    if (same) {
        install();
        return;
    }
    emit layoutAboutToBeChanged({}, QAbstractItemModel::VerticalSortHint);
    const QModelIndexList from = persistentIndexList();
    std::vector<std::size_t> storage;
    storage.reserve(static_cast<std::size_t>(from.size()));
    for (const QModelIndex& i : from)
        storage.push_back(storageRow(i.row()));
    install();
    QModelIndexList to;
    to.reserve(from.size());
    for (qsizetype i = 0; i < from.size(); ++i)
        to.push_back(index(shownRow(storage[static_cast<std::size_t>(i)]), from[i].column()));
    changePersistentIndexList(from, to);
    emit layoutChanged({}, QAbstractItemModel::VerticalSortHint);
}

void MonitorModel::setChangeHighlight(bool on) {
    if (on == highlight_)
        return;
    highlight_ = on;
    now_ = clock_();
    nextQuiet_ = nextQuietTime(now_);
    emitHighlightChanged();
}

void MonitorModel::refreshHighlight() {
    if (!highlight_ || rows_.empty())
        return;
    // What glowed when last shown must be shown once more, down to no glow at all.
    bool changed = now_ - lastChangeAt_ < kChangeFadeSeconds;
    now_ = clock_();
    if (now_ > nextQuiet_) {
        nextQuiet_ = nextQuietTime(now_);
        changed = true;
    }
    if (changed)
        emitHighlightChanged();
}

double MonitorModel::nextQuietTime(double now) const {
    double next = std::numeric_limits<double>::infinity();
    for (const MonitorRow& r : rows_) {
        const double quietAt = r.seenAt + quietAfterSeconds(r.period);
        if (quietAt >= now) // not quiet yet
            next = std::min(next, quietAt);
    }
    return next;
}

void MonitorModel::emitHighlightChanged() {
    if (!rows_.empty())
        emit dataChanged(index(0, 0), index(rowCount() - 1, columnCount() - 1), {changeHeatRole, quietRole});
}

void MonitorModel::clear() {
    if (rows_.empty())
        return;
    beginResetModel();
    rows_.clear();
    index_.clear();
    order_.clear();
    position_.clear();
    endResetModel();
}

void MonitorModel::setComment(int row, std::string comment) {
    if (row < 0 || row >= rowCount())
        return;
    comment.resize(shownComment(comment).size());
    rows_[storageRow(row)].comment = std::move(comment);
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
    const std::size_t existing = rows_.size();
    const std::size_t row = found == PairIndex::npos ? existing : found;
    if (sentTimes_.size() <= row)
        sentTimes_.resize(row + 1, timeMs);
    newRows_.clear();
    changedRows_.clear();
    const double now = clock_();
    // Goes through the same placing as a poll's rows, so a sorted Monitor puts it in its place.
    if (found == PairIndex::npos) {
        index_.insert(key, static_cast<uint32_t>(row));
        sentTimes_[row] = timeMs;
        MonitorRow& r = newRows_.emplace_back();
        r.id.assign(frame.idText.view());
        r.dlc = frame.dlc;
        r.data.assign(frame.dataText.view());
        r.count = 1;
        r.comment = std::move(comment);
        r.sent = true;
        r.seenAt = now;
    } else {
        MonitorRow& r = rows_[row];
        if (markChangedBytes(r.data, frame.dataText.view(), now, r.byteChangedAt))
            lastChangeAt_ = now;
        r.data.assign(frame.dataText.view());
        r.period = std::max<int64_t>(timeMs - sentTimes_[row], 0);
        sentTimes_[row] = timeMs;
        ++r.count;
        r.comment = std::move(comment);
        r.seenAt = now;
        changedRows_.push_back(static_cast<int>(row));
    }
    nextQuiet_ = std::min(nextQuiet_, now + quietAfterSeconds(rows_.size() > row ? rows_[row].period : 0));
    afterPoll(existing);
}

void updateMonitorRows(MonitorModel& model, std::span<const PollEntry> entries, RowTimes& rowTimes,
                       const CommentFunction& commentFor) {
    std::vector<MonitorRow>& rows = model.rows_;
    std::vector<MonitorRow>& added = model.newRows_;
    std::vector<int>& changed = model.changedRows_;
    added.clear();
    changed.clear();
    const std::size_t existing = rows.size();
    const double now = model.clock_();
    model.now_ = now;

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
            r.seenAt = now;
            model.nextQuiet_ = std::min(model.nextQuiet_, now + quietAfterSeconds(r.period));
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
        if (markChangedBytes(r.data, entry.dataText.view(), now, r.byteChangedAt))
            model.lastChangeAt_ = now;
        r.data.assign(entry.dataText.view());
        r.period = entry.frameCount > 0 ? elapsed / entry.frameCount : 0;
        r.count += entry.frameCount;
        r.seenAt = now;
        model.nextQuiet_ = std::min(model.nextQuiet_, now + quietAfterSeconds(r.period));
        if (commentFor)
            commentFor(r.id, r.data, r.comment);
        else
            r.comment.clear();
        if (row < existing)
            changed.push_back(static_cast<int>(row));
    }

    model.afterPoll(existing);
}

void MonitorModel::afterPoll(std::size_t existing) {
    std::vector<MonitorRow>& added = newRows_;
    std::vector<int>& changed = changedRows_;
    if (!added.empty()) {
        const int first = static_cast<int>(existing);
        beginInsertRows({}, first, first + static_cast<int>(added.size()) - 1);
        std::move(added.begin(), added.end(), std::back_inserter(rows_));
        // New rows are shown at the end first; the sort below puts them in place.
        for (std::size_t row = existing; sort_.active() && row < rows_.size(); ++row) {
            order_.push_back(static_cast<uint32_t>(row));
            position_.push_back(static_cast<uint32_t>(row));
        }
        endInsertRows();
        added.clear();
    }

    const bool updatesMove = sortFollowsUpdates(sort_);
    if (sort_.active() && (rows_.size() > existing || (updatesMove && !changed.empty()))) {
        moved_.assign(rows_.size(), 0);
        std::fill(moved_.begin() + static_cast<std::ptrdiff_t>(existing), moved_.end(), 1);
        for (std::size_t i = 0; updatesMove && i < changed.size(); ++i)
            moved_[static_cast<std::size_t>(changed[i])] = 1;
        newOrder_ = order_;
        resortShownOrder(rows_, sort_, moved_, newOrder_, sortScratch_);
        showOrder(newOrder_);
    }

    if (changed.empty())
        return;
    for (int& row : changed)
        row = shownRow(static_cast<std::size_t>(row));
    std::sort(changed.begin(), changed.end());
    // Highlighting greys whole rows, so its changes reach from the first column.
    const int firstColumn = highlight_ ? colId : colData;
    const QList<int> roles =
        highlight_ ? QList<int>{Qt::DisplayRole, changeHeatRole, quietRole} : QList<int>{Qt::DisplayRole};
    std::size_t runStart = 0;
    for (std::size_t i = 1; i <= changed.size(); ++i) {
        if (i < changed.size() && changed[i] <= changed[i - 1] + 1)
            continue;
        emit dataChanged(index(changed[runStart], firstColumn), index(changed[i - 1], colComment), roles);
        runStart = i;
    }
}

} // namespace korvel
