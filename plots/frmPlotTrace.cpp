#include "plots/frmPlotTrace.h"

#include "signals/databaseSet.h"

#include <QCheckBox>
#include <QComboBox>
#include <QDialogButtonBox>
#include <QFormLayout>
#include <QLineEdit>
#include <QPushButton>
#include <QSpinBox>

namespace korvel {

namespace {

struct FieldEntry {
    const char* text;
    ByteField field;
};

constexpr FieldEntry kFields[] = {
    {"Byte", ByteField::byte},
    {"Word, little-endian (Intel)", ByteField::wordLittleEndian},
    {"Word, big-endian (Motorola)", ByteField::wordBigEndian},
    {"Bit", ByteField::bit},
};

template <typename W> W* named(W* widget, const char* name, const char* accessibleName) {
    widget->setObjectName(QString::fromLatin1(name));
    widget->setAccessibleName(QString::fromLatin1(accessibleName));
    return widget;
}

} // namespace

frmPlotTrace::frmPlotTrace(QWidget* parent) : QDialog(parent) {
    setObjectName(QStringLiteral("frmPlotTrace"));
    setWindowTitle(QStringLiteral("Add Trace"));
    txtId = named(new QLineEdit, "txtId", "Identifier");
    txtId->setMaxLength(8);
    chkExtended = named(new QCheckBox(QStringLiteral("Extended")), "chkExtended", "Extended");
    cboField = named(new QComboBox, "cboField", "Field");
    for (const FieldEntry& entry : kFields)
        cboField->addItem(QString::fromLatin1(entry.text));
    spnByte = named(new QSpinBox, "spnByte", "Byte");
    spnBit = named(new QSpinBox, "spnBit", "Bit");
    spnBit->setRange(0, 7);
    chkSigned = named(new QCheckBox(QStringLiteral("Signed")), "chkSigned", "Signed");
    buttons =
        named(new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel), "buttons", "Buttons");

    auto* form = new QFormLayout(this);
    form->addRow(QStringLiteral("Identifier (hex)"), txtId);
    form->addRow(QString(), chkExtended);
    form->addRow(QStringLiteral("Field"), cboField);
    form->addRow(QStringLiteral("Byte"), spnByte);
    form->addRow(QStringLiteral("Bit"), spnBit);
    form->addRow(QString(), chkSigned);
    form->addRow(buttons);

    connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
    connect(txtId, &QLineEdit::textChanged, this, &frmPlotTrace::updateControls);
    connect(chkExtended, &QCheckBox::toggled, this, &frmPlotTrace::updateControls);
    connect(cboField, &QComboBox::currentIndexChanged, this, &frmPlotTrace::updateControls);
    updateControls();
}

bool frmPlotTrace::source(ByteSource& out) const {
    ByteSource s;
    if (!frameIdValue(txtId->text().trimmed().toStdString(), s.id))
        return false;
    s.extended = chkExtended->isChecked();
    s.field = kFields[std::max(cboField->currentIndex(), 0)].field;
    s.byteIndex = spnByte->value();
    s.bitIndex = spnBit->value();
    s.isSigned = s.field != ByteField::bit && chkSigned->isChecked();
    if (!isValidByteSource(s))
        return false;
    out = s;
    return true;
}

void frmPlotTrace::updateControls() {
    const ByteField field = kFields[std::max(cboField->currentIndex(), 0)].field;
    const bool word = field == ByteField::wordLittleEndian || field == ByteField::wordBigEndian;
    // A word takes its byte and the next, so it starts at byte 6 at the latest.
    spnByte->setRange(0, word ? 6 : 7);
    spnBit->setEnabled(field == ByteField::bit);
    chkSigned->setEnabled(field != ByteField::bit);
    ByteSource unused;
    buttons->button(QDialogButtonBox::Ok)->setEnabled(source(unused));
}

} // namespace korvel
