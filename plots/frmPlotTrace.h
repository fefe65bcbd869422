#pragma once

// Picks a field of a frame's data bytes to plot when no database describes the frame: the identifier, a
// byte, a 16-bit word in either byte order, or a bit, signed or not.

#include "plots/plotSource.h"

#include <QDialog>

class QCheckBox;
class QComboBox;
class QDialogButtonBox;
class QLineEdit;
class QSpinBox;

namespace korvel {

class frmPlotTrace final : public QDialog {
    Q_OBJECT
public:
    explicit frmPlotTrace(QWidget* parent = nullptr);

    // The field the controls describe; false while they describe none (an identifier that is not hexadecimal
    // or too large for its kind).
    [[nodiscard]] bool source(ByteSource& out) const;

    QLineEdit* txtId = nullptr;
    QCheckBox* chkExtended = nullptr;
    QComboBox* cboField = nullptr;
    QSpinBox* spnByte = nullptr;
    QSpinBox* spnBit = nullptr;
    QCheckBox* chkSigned = nullptr;
    QDialogButtonBox* buttons = nullptr;

private:
    void updateControls();
};

} // namespace korvel
