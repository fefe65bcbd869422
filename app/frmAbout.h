#pragma once

#include <QDialog>

class QLabel;
class QPushButton;

namespace korvel {

// The about box: title, version, description and a link to the project's web site.
class frmAbout final : public QDialog {
    Q_OBJECT
public:
    explicit frmAbout(QWidget* parent = nullptr);

private:
    QLabel* imgBack = nullptr;
    QLabel* lblTitle = nullptr;
    QLabel* lblVersion = nullptr;
    QLabel* lblForum = nullptr;
    QPushButton* cmdOK = nullptr;
};

} // namespace korvel
