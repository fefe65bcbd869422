#pragma once

// The comment dialog: edits the stored comment of the selected Monitor row's identifier and the two
// general rendering switches. Not modal: receiving and the main window go on while it is open.

#include "core/basGlobal.h"

#include <QDialog>

#include <functional>

class QCheckBox;
class QLineEdit;
class QPushButton;

namespace korvel {

class MonitorModel;

class frmComment final : public QDialog {
    Q_OBJECT
public:
    // `selectedRow` tells which Monitor row is selected at the moment of "Ok" (-1 for none); the options
    // and the comment list are read from and written to `state`.
    frmComment(MonitorModel& model, std::function<int()> selectedRow, GlobalState& state,
               QWidget* parent = nullptr);

    // Shows the dialog for a Monitor row: title with its identifier, switches and stored comment.
    void openFor(int row);

    QLineEdit* txtComment = nullptr;
    QPushButton* cmdCommentASCII = nullptr;
    QPushButton* cmdCommentDEC = nullptr;
    QCheckBox* chASCII = nullptr;
    QCheckBox* chDEC = nullptr;
    QPushButton* CommentOk = nullptr;
    QPushButton* CommentCancel = nullptr;

signals:
    // After "Ok" stored the comment and the switches.
    void commentStored();

private:
    void generalSwitched(QCheckBox* changed, QCheckBox* other);
    void commentOk();

    MonitorModel& model_;
    std::function<int()> selectedRow_;
    GlobalState& state_;
};

} // namespace korvel
