// The "CAN - Setup" dialog: shows a SetupRecord and writes the edits back on OK only.
#pragma once

#include "wexdial.h"

#include <QDialog>

class QComboBox;
class QLineEdit;
class QPushButton;

class SetupDialog : public QDialog {
public:
    // The record must outlive the dialog; Cancel, Escape and closing never touch it.
    explicit SetupDialog(SetupRecord& record, QWidget* parent = nullptr);

private:
    void storeAndAccept();

    SetupRecord& target;
    QLineEdit* txtSerialNumber = nullptr;
    QPushButton* cmdOK = nullptr;
    QPushButton* cmdCancel = nullptr;
    QComboBox* cboBitrate = nullptr;
    QLineEdit* txtBtrValue = nullptr;
};
