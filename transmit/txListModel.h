#pragma once

// The transmit list's rows, shown by listTransmit: the columns ID, DLC, Data, Period (the mode), Count and
// Comment.

#include "transmit/txRow.h"

#include <QAbstractTableModel>

class QTimer;

#include <vector>

namespace korvel {

class TxListModel final : public QAbstractTableModel {
    Q_OBJECT
public:
    enum Column { colId, colDlc, colData, colPeriod, colCount, colComment, columnCount_ };

    explicit TxListModel(QObject* parent = nullptr);

    int rowCount(const QModelIndex& parent = {}) const override;
    int columnCount(const QModelIndex& parent = {}) const override;
    QVariant data(const QModelIndex& index, int role) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role) const override;

    [[nodiscard]] const std::vector<TxRow>& rows() const { return rows_; }
    [[nodiscard]] const TxRow& row(int index) const { return rows_.at(static_cast<std::size_t>(index)); }
    int appendRow(const TxRow& row);
    void removeRowAt(int index);
    void setRow(int index, const TxRow& row);
    void setAllCounts(const std::string& count);
    // Changes only the Count column. Views hear of it at most every kCountRepaintMs: a periodic row may send
    // a thousand times a second, and a repaint per send would cost more than the sending.
    void setCount(int index, std::string count);
    static constexpr int kCountRepaintMs = 100;
    void replaceRows(std::vector<TxRow> rows);

private:
    void announceCounts();

    std::vector<TxRow> rows_;
    QTimer* countRepaint_ = nullptr;
    int countsChangedFrom_ = -1; // the rows whose counts views have not heard of yet, -1 when none
    int countsChangedTo_ = -1;
};

} // namespace korvel
