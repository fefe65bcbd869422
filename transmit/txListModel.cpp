#include "transmit/txListModel.h"

#include <QTimer>

#include <algorithm>

namespace korvel {

namespace {
constexpr const char* kHeaders[] = {"ID", "DLC", "Data", "Period", "Count", "Comment"};
}

TxListModel::TxListModel(QObject* parent) : QAbstractTableModel(parent), countRepaint_(new QTimer(this)) {
    countRepaint_->setSingleShot(true);
    countRepaint_->setInterval(kCountRepaintMs);
    connect(countRepaint_, &QTimer::timeout, this, &TxListModel::announceCounts);
}

int TxListModel::rowCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : static_cast<int>(rows_.size());
}

int TxListModel::columnCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : columnCount_;
}

QVariant TxListModel::data(const QModelIndex& index, int role) const {
    if (!index.isValid() || index.row() >= rowCount() || role != Qt::DisplayRole)
        return {};
    const TxRow& r = rows_[static_cast<std::size_t>(index.row())];
    switch (index.column()) {
    case colId:
        return QString::fromStdString(r.id);
    case colDlc:
        return QString::fromStdString(r.dlc);
    case colData:
        return QString::fromStdString(r.data);
    case colPeriod:
        return QString::fromStdString(r.mode);
    case colCount:
        return QString::fromStdString(r.count);
    case colComment:
        return QString::fromStdString(r.comment);
    default:
        return {};
    }
}

QVariant TxListModel::headerData(int section, Qt::Orientation orientation, int role) const {
    if (orientation != Qt::Horizontal || role != Qt::DisplayRole || section < 0 || section >= columnCount_)
        return QAbstractTableModel::headerData(section, orientation, role);
    return QString::fromLatin1(kHeaders[section]);
}

int TxListModel::appendRow(const TxRow& row) {
    const int at = rowCount();
    beginInsertRows({}, at, at);
    rows_.push_back(row);
    endInsertRows();
    return at;
}

void TxListModel::removeRowAt(int index) {
    if (index < 0 || index >= rowCount())
        return;
    beginRemoveRows({}, index, index);
    rows_.erase(rows_.begin() + index);
    endRemoveRows();
}

void TxListModel::setRow(int index, const TxRow& row) {
    if (index < 0 || index >= rowCount())
        return;
    rows_[static_cast<std::size_t>(index)] = row;
    emit dataChanged(this->index(index, 0), this->index(index, columnCount_ - 1), {Qt::DisplayRole});
}

void TxListModel::setAllCounts(const std::string& count) {
    if (rows_.empty())
        return;
    for (TxRow& r : rows_)
        r.count = count;
    emit dataChanged(index(0, colCount), index(rowCount() - 1, colCount), {Qt::DisplayRole});
}

void TxListModel::setCount(int index, std::string count) {
    if (index < 0 || index >= rowCount())
        return;
    rows_[static_cast<std::size_t>(index)].count = std::move(count);
    countsChangedFrom_ = countsChangedFrom_ < 0 ? index : std::min(countsChangedFrom_, index);
    countsChangedTo_ = std::max(countsChangedTo_, index);
    if (!countRepaint_->isActive())
        countRepaint_->start();
}

void TxListModel::announceCounts() {
    const int from = countsChangedFrom_;
    const int to = std::min(countsChangedTo_, rowCount() - 1);
    countsChangedFrom_ = countsChangedTo_ = -1;
    if (from >= 0 && from <= to)
        emit dataChanged(index(from, colCount), index(to, colCount), {Qt::DisplayRole});
}

void TxListModel::replaceRows(std::vector<TxRow> rows) {
    beginResetModel();
    rows_ = std::move(rows);
    endResetModel();
}

} // namespace korvel
