#pragma once

// The filter dialog: the acceptance mask filter and the range filter. It edits a copy of the settings
// and writes them back only on "Ok"; QDialog::accepted then tells the main window to show the new filter
// state and to send the acceptance registers to the adapter.

#include "core/basGlobal.h"

#include <QDialog>

class QCheckBox;
class QGroupBox;
class QLineEdit;
class QPushButton;

namespace korvel {

class frmFilter final : public QDialog {
    Q_OBJECT
public:
    explicit frmFilter(GlobalState& state, QWidget* parent = nullptr);

    QGroupBox* frHardwarefilter = nullptr;
    QLineEdit* tCANFilter = nullptr;
    QLineEdit* tCANMask = nullptr;
    QCheckBox* chFilterOn = nullptr;
    QGroupBox* frSoftwarefilter = nullptr;
    QLineEdit* txtFilterStart = nullptr;
    QLineEdit* txtFilterEnd = nullptr;
    QLineEdit* txtFilterDiscrete = nullptr;
    QCheckBox* chSoftFilterOn = nullptr;
    QPushButton* cmdFilterOK = nullptr;
    QPushButton* cmdFilterCancel = nullptr;

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void filterOk();
    // Code and mask are padded to eight characters once the user has changed them.
    [[nodiscard]] QString paddedIfEdited(const QLineEdit* field) const;

    GlobalState& state_;
    QString shownCode_; // the code and mask texts as the dialog opened with them
    QString shownMask_;
};

} // namespace korvel
