#pragma once

// The signals of one frame as a table: name, value, unit and raw value, one row per signal of its message.
// A signal its multiplexor does not select (or that runs past the frame) stays listed, with no value.

#include "signals/frameSignals.h"

#include <QAbstractTableModel>

#include <string_view>

namespace korvel {

class SignalTableModel final : public QAbstractTableModel {
    Q_OBJECT
public:
    enum Column { colName, colValue, colUnit, colRaw, columnCount_ };

    using QAbstractTableModel::QAbstractTableModel;

    int rowCount(const QModelIndex& parent = {}) const override;
    int columnCount(const QModelIndex& parent = {}) const override;
    QVariant data(const QModelIndex& index, int role) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role) const override;
    Qt::ItemFlags flags(const QModelIndex& index) const override;

    // Decodes the frame when it differs from the one shown; views hear only of the values that changed,
    // or of a new set of rows when the message changed.
    void showFrame(const DatabaseSet& databases, std::string_view idText, std::string_view dataText);
    // No frame: no rows. Call before the databases change.
    void clearFrame();

    [[nodiscard]] const MessageDef* message() const { return frame_.message(); }
    [[nodiscard]] const std::vector<DecodedSignal>& decoded() const { return frame_.decoded(); }

private:
    FrameSignals frame_;
};

} // namespace korvel
