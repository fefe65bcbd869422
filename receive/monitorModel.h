#pragma once

// The Monitor's rows, one per identifier text and data length, shown by listReceive.

#include <QAbstractTableModel>

#include <cstdint>
#include <string>
#include <vector>

namespace korvel {

struct MonitorRow {
    std::string id;
    int dlc = 0;
    std::string data;
    int64_t period = 0;
    uint64_t count = 0;
    std::string comment;
};

class MonitorModel final : public QAbstractTableModel {
    Q_OBJECT
public:
    enum Column { colId, colDlc, colData, colPeriod, colCount, colComment, columnCount_ };

    using QAbstractTableModel::QAbstractTableModel;

    int rowCount(const QModelIndex& parent = {}) const override;
    int columnCount(const QModelIndex& parent = {}) const override;
    QVariant data(const QModelIndex& index, int role) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role) const override;

    [[nodiscard]] const std::vector<MonitorRow>& rows() const { return rows_; }
    void clear();

protected:
    std::vector<MonitorRow> rows_;
};

} // namespace korvel
