#include "setupDialog.h"

#include "setupFields.h"

#include <QComboBox>
#include <QFontMetrics>
#include <QFormLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QVBoxLayout>

namespace {

// Control ids double as object names, so hosts' tests and accessibility tools find each control.
constexpr const char* idSerialNumber = "1027";
constexpr const char* idOK = "1";
constexpr const char* idCancel = "2";
constexpr const char* idBitrate = "1015";
constexpr const char* idBtrValue = "1014";

QString fromRecordText(std::string_view text) {
    return QString::fromLocal8Bit(text.data(), static_cast<qsizetype>(text.size()));
}

} // namespace

SetupDialog::SetupDialog(SetupRecord& record, QWidget* parent) : QDialog(parent), target(record) {
    setWindowTitle(QStringLiteral("CAN - Setup"));

    txtSerialNumber = new QLineEdit(fromRecordText(serialNumberText(record)), this);
    txtSerialNumber->setObjectName(idSerialNumber);
    txtSerialNumber->setAccessibleName(QStringLiteral("Quorra serial number"));

    cmdOK = new QPushButton(QStringLiteral("OK"), this);
    cmdOK->setObjectName(idOK);
    cmdOK->setAccessibleName(QStringLiteral("OK"));
    cmdOK->setDefault(true);

    cmdCancel = new QPushButton(QStringLiteral("Cancel"), this);
    cmdCancel->setObjectName(idCancel);
    cmdCancel->setAccessibleName(QStringLiteral("Cancel"));

    cboBitrate = new QComboBox(this);
    cboBitrate->setObjectName(idBitrate);
    cboBitrate->setAccessibleName(QStringLiteral("CAN baudrate"));
    for (const BitrateChoice& choice : bitrateChoices) {
        cboBitrate->addItem(QString::fromLatin1(choice.text), choice.kbit);
    }
    cboBitrate->setCurrentIndex(cboBitrate->findData(record.bitrateKbit));

    txtBtrValue = new QLineEdit(QString::fromStdString(btrValueText(record.btrValue)), this);
    txtBtrValue->setObjectName(idBtrValue);
    txtBtrValue->setAccessibleName(QStringLiteral("CAN baudrate BTR value (hexadecimal)"));
    txtBtrValue->setMinimumWidth(txtBtrValue->fontMetrics().horizontalAdvance(QLatin1Char('F')) * 12);

    auto* lblBitrate = new QLabel(QStringLiteral("CAN baudrate:"), this);
    lblBitrate->setBuddy(cboBitrate);
    auto* lblBtrValue = new QLabel(QStringLiteral("CAN baudrate BTR value:"), this);
    lblBtrValue->setBuddy(txtBtrValue);
    auto* lblSerialNumber = new QLabel(QStringLiteral("Quorra serial number:"), this);
    lblSerialNumber->setBuddy(txtSerialNumber);
    auto* lblHexPrefix = new QLabel(QStringLiteral("0x"), this);
    lblHexPrefix->setBuddy(txtBtrValue);

    auto* btrRow = new QHBoxLayout;
    btrRow->setSpacing(4);
    btrRow->addWidget(lblHexPrefix);
    btrRow->addWidget(txtBtrValue, 1);

    auto* form = new QFormLayout;
    form->setFieldGrowthPolicy(QFormLayout::AllNonFixedFieldsGrow);
    form->addRow(lblBitrate, cboBitrate);
    form->addRow(lblBtrValue, btrRow);
    form->addRow(lblSerialNumber, txtSerialNumber);

    auto* buttons = new QHBoxLayout;
    buttons->addStretch(1);
    buttons->addWidget(cmdOK);
    buttons->addWidget(cmdCancel);

    auto* main = new QVBoxLayout(this);
    main->addLayout(form);
    main->addSpacing(6);
    main->addLayout(buttons);
    main->setSizeConstraint(QLayout::SetFixedSize);
    txtSerialNumber->setMinimumWidth(txtSerialNumber->fontMetrics().averageCharWidth() * 28);

    setTabOrder(txtSerialNumber, cmdOK);
    setTabOrder(cmdOK, cmdCancel);
    setTabOrder(cmdCancel, cboBitrate);
    setTabOrder(cboBitrate, txtBtrValue);
    txtSerialNumber->setFocus();

    connect(cmdOK, &QPushButton::clicked, this, &SetupDialog::storeAndAccept);
    connect(cmdCancel, &QPushButton::clicked, this, &QDialog::reject);
}

void SetupDialog::storeAndAccept() {
    storeSerialNumber(target, txtSerialNumber->text().toLocal8Bit().toStdString());
    target.btrValue = parseBtrValue(txtBtrValue->text().toLocal8Bit().toStdString());
    const QVariant kbit = cboBitrate->currentData();
    target.bitrateKbit = kbit.isValid() ? kbit.toInt() : noBitrate;
    accept();
}
