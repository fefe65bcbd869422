#include "signals/frmTxSignals.h"

#include "signals/frameSignals.h"

#include <QAbstractButton>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QPushButton>
#include <QTableWidget>
#include <QVBoxLayout>

#include <algorithm>

namespace korvel {

namespace {

QString text(const std::string& s) {
    return QString::fromStdString(s);
}

QString numberText(double value) {
    return QString::number(value, 'g', 15);
}

// What a user may type: the range, and the value names when there are any.
QString valueHint(const SignalDef& signal) {
    QString hint = signal.comment.empty() ? QString() : text(signal.comment) + QLatin1Char('\n');
    hint += QStringLiteral("Range: ") + numberText(signal.minimum) + QStringLiteral(" to ") +
            numberText(signal.maximum);
    for (const ValueName& v : signal.valueNames)
        hint += QLatin1Char('\n') + QString::number(v.value) + QStringLiteral(" = ") + text(v.name);
    return hint;
}

} // namespace

frmTxSignals::frmTxSignals(const MessageDef& message, const std::array<uint8_t, 8>& data, QWidget* parent)
    : QDialog(parent), message_(message), data_(data) {
    setObjectName(QStringLiteral("frmTxSignals"));
    setWindowTitle(QStringLiteral("Signals of ") + text(message.name));
    auto* layout = new QVBoxLayout(this);

    QString caption = text(message.name);
    if (!message.comment.empty())
        caption += QStringLiteral(": ") + text(message.comment);
    lblTxSignalsMessage = new QLabel(caption);
    lblTxSignalsMessage->setObjectName(QStringLiteral("lblTxSignalsMessage"));
    lblTxSignalsMessage->setAccessibleName(QStringLiteral("Message"));
    lblTxSignalsMessage->setWordWrap(true);
    layout->addWidget(lblTxSignalsMessage);

    std::vector<DecodedSignal> decoded;
    decodeMessage(message, data_.data(), 8, decoded);
    const int rows = static_cast<int>(message.signalList.size());
    listTxSignals = new QTableWidget(rows, 4);
    listTxSignals->setObjectName(QStringLiteral("listTxSignals"));
    listTxSignals->setAccessibleName(QStringLiteral("Signal values"));
    listTxSignals->setHorizontalHeaderLabels(
        {QStringLiteral("Signal"), QStringLiteral("Value"), QStringLiteral("Unit"), QStringLiteral("Range")});
    listTxSignals->verticalHeader()->hide();
    for (QAbstractButton* corner : listTxSignals->findChildren<QAbstractButton*>()) {
        corner->setObjectName(QStringLiteral("cmdTxSignalsCorner"));
        corner->setAccessibleName(QStringLiteral("Select all signals"));
    }
    listTxSignals->horizontalHeader()->setStretchLastSection(true);
    listTxSignals->setSelectionBehavior(QAbstractItemView::SelectItems);
    listTxSignals->setSelectionMode(QAbstractItemView::SingleSelection);
    listTxSignals->setEditTriggers(QAbstractItemView::AllEditTriggers);
    for (int r = 0; r < rows; ++r) {
        const auto i = static_cast<std::size_t>(r);
        const SignalDef& signal = message.signalList[i];
        const std::string value = i < decoded.size() && decoded[i].present ? signalValueText(decoded[i]) : "";
        shown_.push_back(value);
        const auto cell = [&](int column, const QString& s, bool editable) {
            auto* item = new QTableWidgetItem(s);
            if (!editable)
                item->setFlags(item->flags() & ~Qt::ItemIsEditable);
            item->setToolTip(valueHint(signal));
            listTxSignals->setItem(r, column, item);
        };
        cell(colName, text(signal.name), false);
        cell(colValue, text(value), true);
        cell(colUnit, text(signal.unit), false);
        cell(colRange, numberText(signal.minimum) + QStringLiteral(" .. ") + numberText(signal.maximum),
             false);
    }
    listTxSignals->resizeColumnsToContents();
    listTxSignals->setColumnWidth(colValue, std::max(listTxSignals->columnWidth(colValue), 120));
    layout->addWidget(listTxSignals, 1);

    lblTxSignalsError = new QLabel;
    lblTxSignalsError->setObjectName(QStringLiteral("lblTxSignalsError"));
    lblTxSignalsError->setAccessibleName(QStringLiteral("Problem"));
    lblTxSignalsError->setWordWrap(true);
    layout->addWidget(lblTxSignalsError);

    auto* buttons = new QHBoxLayout;
    buttons->addStretch(1);
    cmdTxSignalsOk = new QPushButton(QStringLiteral("Ok"));
    cmdTxSignalsOk->setObjectName(QStringLiteral("cmdTxSignalsOk"));
    cmdTxSignalsOk->setAccessibleName(QStringLiteral("Ok"));
    cmdTxSignalsOk->setDefault(true);
    cmdTxSignalsCancel = new QPushButton(QStringLiteral("Cancel"));
    cmdTxSignalsCancel->setObjectName(QStringLiteral("cmdTxSignalsCancel"));
    cmdTxSignalsCancel->setAccessibleName(QStringLiteral("Cancel"));
    buttons->addWidget(cmdTxSignalsOk);
    buttons->addWidget(cmdTxSignalsCancel);
    layout->addLayout(buttons);
    connect(cmdTxSignalsOk, &QPushButton::clicked, this, [this] {
        if (apply())
            accept();
    });
    connect(cmdTxSignalsCancel, &QPushButton::clicked, this, &QDialog::reject);
    resize(560, 360);
}

int frmTxSignals::length() const {
    return std::clamp(message_.size, 0, 8);
}

bool frmTxSignals::apply() {
    std::vector<std::string> texts(shown_.size());
    for (std::size_t i = 0; i < shown_.size(); ++i) {
        const QTableWidgetItem* item = listTxSignals->item(static_cast<int>(i), colValue);
        const std::string typed = item ? item->text().trimmed().toStdString() : std::string();
        if (typed != shown_[i])
            texts[i] = typed;
    }
    std::array<uint8_t, 8> bytes = data_;
    std::string error;
    if (!encodeMessageSignals(message_, texts, bytes.data(), error)) {
        lblTxSignalsError->setText(text(error));
        return false;
    }
    data_ = bytes;
    lblTxSignalsError->clear();
    return true;
}

} // namespace korvel
