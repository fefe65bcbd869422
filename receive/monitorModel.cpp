#include "receive/monitorModel.h"

namespace korvel {

namespace {
constexpr const char* kHeaders[] = {"ID", "DLC", "Data", "Period", "Count", "Comment (click to change)"};
}

int MonitorModel::rowCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : static_cast<int>(rows_.size());
}

int MonitorModel::columnCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : columnCount_;
}

QVariant MonitorModel::data(const QModelIndex& index, int role) const {
    if (!index.isValid() || index.row() >= rowCount() || role != Qt::DisplayRole)
        return {};
    const MonitorRow& r = rows_[static_cast<std::size_t>(index.row())];
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
    default:
        return {};
    }
}

QVariant MonitorModel::headerData(int section, Qt::Orientation orientation, int role) const {
    if (orientation != Qt::Horizontal || role != Qt::DisplayRole || section < 0 || section >= columnCount_)
        return QAbstractTableModel::headerData(section, orientation, role);
    return QString::fromLatin1(kHeaders[section]);
}

void MonitorModel::clear() {
    if (rows_.empty())
        return;
    beginResetModel();
    rows_.clear();
    endResetModel();
}

} // namespace korvel
