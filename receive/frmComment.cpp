#include "receive/frmComment.h"

#include "receive/comments.h"
#include "receive/monitorModel.h"

#include <QCheckBox>
#include <QHBoxLayout>
#include <QLineEdit>
#include <QPushButton>
#include <QVBoxLayout>

namespace korvel {

namespace {

template <typename W> W* named(W* widget, const char* name, const QString& accessibleName) {
    widget->setObjectName(QString::fromLatin1(name));
    widget->setAccessibleName(accessibleName);
    return widget;
}

} // namespace

frmComment::frmComment(MonitorModel& model, std::function<int()> selectedRow, GlobalState& state,
                       QWidget* parent)
    : QDialog(parent), model_(model), selectedRow_(std::move(selectedRow)), state_(state) {
    setObjectName(QStringLiteral("frmComment"));
    setWindowTitle(QStringLiteral("Comment"));
    setModal(false);

    txtComment = named(new QLineEdit, "txtComment", QStringLiteral("Comment"));
    txtComment->setMinimumWidth(txtComment->fontMetrics().horizontalAdvance(QString(40, QLatin1Char('x'))));
    cmdCommentASCII =
        named(new QPushButton(QStringLiteral("ASCII")), "cmdCommentASCII", QStringLiteral("ASCII"));
    cmdCommentDEC = named(new QPushButton(QStringLiteral("DEC")), "cmdCommentDEC", QStringLiteral("DEC"));
    chASCII =
        named(new QCheckBox(QStringLiteral("General ASCII")), "chASCII", QStringLiteral("General ASCII"));
    chDEC = named(new QCheckBox(QStringLiteral("General DEC")), "chDEC", QStringLiteral("General DEC"));
    CommentOk = named(new QPushButton(QStringLiteral("Ok")), "CommentOk", QStringLiteral("Ok"));
    CommentCancel =
        named(new QPushButton(QStringLiteral("Cancel")), "CommentCancel", QStringLiteral("Cancel"));
    // Enter in the text box is "Ok"; the buttons must not take it as the default as well.
    for (QPushButton* b : {cmdCommentASCII, cmdCommentDEC, CommentOk, CommentCancel})
        b->setAutoDefault(false);

    auto* layout = new QVBoxLayout(this);
    auto* textRow = new QHBoxLayout;
    textRow->addWidget(txtComment, 1);
    textRow->addWidget(cmdCommentASCII);
    textRow->addWidget(cmdCommentDEC);
    layout->addLayout(textRow);
    auto* switches = new QHBoxLayout;
    switches->addWidget(chASCII);
    switches->addWidget(chDEC);
    switches->addStretch(1);
    switches->addWidget(CommentOk);
    switches->addWidget(CommentCancel);
    layout->addLayout(switches);

    connect(chASCII, &QCheckBox::toggled, this, [this] { generalSwitched(chASCII, chDEC); });
    connect(chDEC, &QCheckBox::toggled, this, [this] { generalSwitched(chDEC, chASCII); });
    connect(cmdCommentASCII, &QPushButton::clicked, this,
            [this] { txtComment->setText(txtComment->text() + QStringLiteral("<ASC>")); });
    connect(cmdCommentDEC, &QPushButton::clicked, this,
            [this] { txtComment->setText(txtComment->text() + QStringLiteral("<DEC>")); });
    connect(txtComment, &QLineEdit::returnPressed, this, &frmComment::commentOk);
    connect(CommentOk, &QPushButton::clicked, this, &frmComment::commentOk);
    connect(CommentCancel, &QPushButton::clicked, this, &QDialog::reject);
}

void frmComment::generalSwitched(QCheckBox* changed, QCheckBox* other) {
    // The two general renderings exclude each other, and either replaces the typed comment.
    if (changed->isChecked())
        other->setChecked(false);
    const bool general = chASCII->isChecked() || chDEC->isChecked();
    for (QWidget* w : {static_cast<QWidget*>(txtComment), static_cast<QWidget*>(cmdCommentASCII),
                       static_cast<QWidget*>(cmdCommentDEC)})
        w->setEnabled(!general);
}

void frmComment::openFor(int row) {
    const MonitorRow* r = model_.rowAt(row);
    show();
    if (r != nullptr)
        setWindowTitle(QStringLiteral("Comment (ID: ") + QString::fromStdString(r->id) + QLatin1Char(')'));
    chASCII->setChecked(state_.hasOption(optCommentAscii));
    chDEC->setChecked(state_.hasOption(optCommentDec));
    generalSwitched(chDEC, chASCII);
    txtComment->clear();
    if (r != nullptr) {
        if (const auto stored = storedComment(state_.commentListText, r->id))
            txtComment->setText(QString::fromStdString(std::string(*stored)));
    }
    raise();
    activateWindow();
}

void frmComment::commentOk() {
    state_.setOption(optCommentAscii, chASCII->isChecked());
    state_.setOption(optCommentDec, chDEC->isChecked());
    // The row selected now, whatever row the dialog was opened for.
    const int row = selectedRow_ ? selectedRow_() : -1;
    if (const MonitorRow* r = model_.rowAt(row)) {
        const std::string text = txtComment->text().toStdString();
        const std::string id = r->id;
        setStoredComment(state_.commentListText, id, text);
        model_.setComment(row, text);
    }
    emit commentStored();
    accept();
}

} // namespace korvel
