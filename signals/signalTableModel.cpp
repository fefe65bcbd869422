#include "signals/signalTableModel.h"

namespace korvel {

namespace {

constexpr const char* kHeaders[] = {"Signal", "Value", "Unit", "Raw"};

QString text(const std::string& s) {
    return QString::fromStdString(s);
}

} // namespace

int SignalTableModel::rowCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : static_cast<int>(frame_.decoded().size());
}

int SignalTableModel::columnCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : columnCount_;
}

QVariant SignalTableModel::data(const QModelIndex& index, int role) const {
    if (!index.isValid() || index.row() >= rowCount())
        return {};
    const DecodedSignal& d = frame_.decoded()[static_cast<std::size_t>(index.row())];
    if (d.signal == nullptr)
        return {};
    if (role == Qt::ToolTipRole)
        return d.signal->comment.empty() ? QVariant() : QVariant(text(d.signal->comment));
    if (role != Qt::DisplayRole)
        return {};
    switch (index.column()) {
    case colName:
        return text(d.signal->name);
    case colValue:
        return d.present ? text(signalValueText(d)) : QString();
    case colUnit:
        return text(d.signal->unit);
    case colRaw:
        return d.present ? text(rawValueText(d)) : QString();
    default:
        return {};
    }
}

QVariant SignalTableModel::headerData(int section, Qt::Orientation orientation, int role) const {
    if (orientation != Qt::Horizontal || role != Qt::DisplayRole || section < 0 || section >= columnCount_)
        return QAbstractTableModel::headerData(section, orientation, role);
    return QString::fromLatin1(kHeaders[section]);
}

Qt::ItemFlags SignalTableModel::flags(const QModelIndex& index) const {
    // A signal with no value in this frame is shown greyed.
    const bool present = index.isValid() && index.row() < rowCount() &&
                         frame_.decoded()[static_cast<std::size_t>(index.row())].present;
    return present ? Qt::ItemIsEnabled | Qt::ItemIsSelectable : Qt::ItemIsSelectable;
}

void SignalTableModel::showFrame(const DatabaseSet& databases, std::string_view idText,
                                 std::string_view dataText) {
    const MessageDef* before = frame_.message();
    const int rowsBefore = rowCount();
    // The rows refer into the message: a different message replaces them all.
    if (messageForIdText(databases, idText) != before) {
        beginResetModel();
        frame_.update(databases, idText, dataText);
        endResetModel();
        return;
    }
    if (!frame_.update(databases, idText, dataText) || rowCount() == 0 || rowCount() != rowsBefore)
        return;
    emit dataChanged(index(0, colValue), index(rowCount() - 1, colRaw), {Qt::DisplayRole});
}

void SignalTableModel::clearFrame() {
    beginResetModel();
    frame_.clear();
    endResetModel();
}

} // namespace korvel
