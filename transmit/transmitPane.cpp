#include "transmit/transmitPane.h"

#include "core/basGlobal.h"
#include "signals/frameSignals.h"
#include "signals/frmTxSignals.h"
#include "transmit/transmitList.h"
#include "transmit/txEditor.h"
#include "transmit/txFieldRules.h"

#include <QCheckBox>
#include <QComboBox>
#include <QFocusEvent>
#include <QFontDatabase>
#include <QFrame>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPainter>
#include <QPushButton>
#include <QSignalBlocker>
#include <QStyle>
#include <QTableView>
#include <QTimer>
#include <QVBoxLayout>

namespace korvel {

namespace {

// Ends in "…" where its room ends; the whole text stays its text, its tooltip and what a screen reader reads.
class ElidingLabel final : public QLabel {
public:
    using QLabel::QLabel;

protected:
    void paintEvent(QPaintEvent*) override {
        QPainter painter(this);
        const QRect room = contentsRect();
        const QString shown = fontMetrics().elidedText(text(), Qt::ElideRight, room.width());
        style()->drawItemText(&painter, room, static_cast<int>(alignment()), palette(), isEnabled(), shown,
                              foregroundRole());
    }
};

template <typename W> W* named(W* widget, const char* name, const QString& accessibleName = {}) {
    widget->setObjectName(QString::fromLatin1(name));
    if (!accessibleName.isEmpty())
        widget->setAccessibleName(accessibleName);
    return widget;
}

QLineEdit* field(const char* name, const QString& label, int maxLength, int widthChars) {
    auto* edit = named(new QLineEdit, name, label);
    edit->setMaxLength(maxLength);
    if (widthChars > 0)
        edit->setFixedWidth(edit->fontMetrics().horizontalAdvance(QString(widthChars, QLatin1Char('0'))) +
                            16);
    return edit;
}

void showText(QLineEdit* edit, const std::string& text) {
    const QString shown = QString::fromStdString(text);
    if (edit->text() != shown) {
        const QSignalBlocker block(edit);
        edit->setText(shown);
    }
}

// The period field shows periods up to 32767 from a list file or the Monitor; typing allows four digits.
constexpr int kPeriodShownLength = 5;

} // namespace

TransmitPane::TransmitPane(GlobalState& state, QWidget* parent) : QWidget(parent) {
    setObjectName(QStringLiteral("transmitPane"));
    list_ = new TransmitList(state, this);
    editor_ = new TxEditor(state, *list_, this);

    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(2);
    buildList();
    layout->addWidget(listTransmit, 1);
    auto* bottom = new QHBoxLayout;
    bottom->addWidget(buildEditor(), 1);
    bottom->addWidget(buildButtons(), 0, Qt::AlignTop);
    layout->addLayout(bottom);

    connectEditor();
    connect(list_, &TransmitList::showSelectedRow, this, &TransmitPane::showSelectedRow);
    connect(editor_, &TxEditor::fieldsChanged, this, &TransmitPane::showFields);
    connect(list_, &TransmitList::notSentTextChanged, this, [this] {
        const QString text = QString::fromStdString(list_->notSentText());
        lblNotSent->setText(text);
        lblNotSent->setToolTip(text);
    });
    showFields();
}

TransmitPane::~TransmitPane() = default;

void TransmitPane::buildList() {
    listTransmit = named(new QTableView, "listTransmit", QStringLiteral("Transmit list"));
    listTransmit->setSelectionBehavior(QAbstractItemView::SelectRows);
    listTransmit->setSelectionMode(QAbstractItemView::SingleSelection);
    listTransmit->setEditTriggers(QAbstractItemView::NoEditTriggers);
    listTransmit->setTabKeyNavigation(false); // Tab leaves the list, as it leaves any other control
    listTransmit->setShowGrid(false);
    listTransmit->setWordWrap(false);
    listTransmit->setAlternatingRowColors(true);
    listTransmit->verticalHeader()->hide();
    listTransmit->verticalHeader()->setDefaultSectionSize(listTransmit->fontMetrics().height() + 4);
    listTransmit->horizontalHeader()->setStretchLastSection(true);
    listTransmit->horizontalHeader()->setDefaultAlignment(Qt::AlignLeft | Qt::AlignVCenter);
    listTransmit->setFont(QFontDatabase::systemFont(QFontDatabase::FixedFont));
    listTransmit->setModel(&list_->model());
    const int widths[] = {90, 40, 230, 70, 80};
    for (int c = 0; c < 5; ++c)
        listTransmit->setColumnWidth(c, widths[c]);
    listTransmit->installEventFilter(this);

    connect(listTransmit->selectionModel(), &QItemSelectionModel::currentRowChanged, this,
            [this](const QModelIndex& current) {
                if (current.isValid() && current.row() != list_->selectedRow())
                    list_->setSelectedRow(current.row());
            });
    connect(listTransmit, &QTableView::clicked, this, [this](const QModelIndex& index) {
        if (index.isValid())
            list_->setSelectedRow(index.row());
    });
}

QFrame* TransmitPane::buildEditor() {
    frameMessage = named(new QFrame, "frameMessage");
    frameMessage->setFrameShape(QFrame::StyledPanel);
    auto* grid = new QGridLayout(frameMessage);
    grid->setContentsMargins(6, 4, 6, 4);
    grid->setHorizontalSpacing(6);
    grid->setVerticalSpacing(4);
    const auto label = [](const char* text) {
        return new QLabel(QString::fromLatin1(text));
    };

    txtID = field("txtID", QStringLiteral("ID"), 3, 8);
    chExtID = named(new QCheckBox(QStringLiteral("29 Bit Id")), "chExtID", QStringLiteral("29 Bit Id"));
    chRTR = named(new QCheckBox(QStringLiteral("RTR")), "chRTR", QStringLiteral("RTR"));
    txtDLC = field("txtDLC", QStringLiteral("DLC"), 1, 1);
    auto* bytes = new QHBoxLayout;
    bytes->setSpacing(2);
    for (std::size_t k = 0; k < txtByte.size(); ++k) {
        const QByteArray name = "txtByte" + QByteArray::number(static_cast<int>(k));
        txtByte[k] = field(name.constData(), QStringLiteral("Data byte %1").arg(k), 2, 2);
        bytes->addWidget(txtByte[k]);
    }
    bytes->addStretch(1);

    txtPeriod = field("txtPeriod", QStringLiteral("Period (ms)"), kPeriodShownLength, 4);
    coTxMode = named(new QComboBox, "coTxMode", QStringLiteral("TX Mode"));
    for (const char* entry : kTxModeNames)
        coTxMode->addItem(QString::fromLatin1(entry));
    txtTxComment = field("txtTxComment", QStringLiteral("Comment"), 32767, 0);
    txtRXID = field("txtRXID", QStringLiteral("Trigger ID"), static_cast<int>(kExtendedIdLength), 8);
    txtRXData = field("txtRXData", QStringLiteral("Trigger Data"), static_cast<int>(kTriggerDataLength),
                      static_cast<int>(kTriggerDataLength));
    auto* lblDontCare = named(new QLabel(QStringLiteral("* = don't care")), "lblDontCare");
    // Why a row was not sent; it takes the room that is left and never widens the pane.
    lblNotSent = named(new ElidingLabel, "lblNotSent", QStringLiteral("Not sent"));
    lblNotSent->setSizePolicy(QSizePolicy::Ignored, QSizePolicy::Preferred);

    grid->addWidget(label("ID"), 0, 0);
    auto* idRow = new QHBoxLayout;
    idRow->addWidget(txtID);
    idRow->addWidget(chExtID);
    idRow->addWidget(chRTR);
    idRow->addSpacing(8);
    idRow->addWidget(label("DLC"));
    idRow->addWidget(txtDLC);
    idRow->addSpacing(8);
    idRow->addWidget(label("Data"));
    idRow->addLayout(bytes, 1);
    grid->addLayout(idRow, 0, 1, 1, 3);

    grid->addWidget(label("Period (ms)"), 1, 0);
    auto* modeRow = new QHBoxLayout;
    modeRow->addWidget(txtPeriod);
    modeRow->addSpacing(8);
    modeRow->addWidget(label("TX Mode"));
    modeRow->addWidget(coTxMode);
    modeRow->addSpacing(8);
    modeRow->addWidget(label("Comment"));
    modeRow->addWidget(txtTxComment, 1);
    grid->addLayout(modeRow, 1, 1, 1, 3);

    grid->addWidget(label("Trigger ID"), 2, 0);
    auto* triggerRow = new QHBoxLayout;
    triggerRow->addWidget(txtRXID);
    triggerRow->addSpacing(8);
    triggerRow->addWidget(label("Trigger Data"));
    triggerRow->addWidget(txtRXData);
    triggerRow->addWidget(lblDontCare);
    triggerRow->addSpacing(8);
    triggerRow->addWidget(lblNotSent, 1);
    grid->addLayout(triggerRow, 2, 1, 1, 3);
    grid->setColumnStretch(3, 1);

    for (QLineEdit* edit : {txtID, txtDLC, txtPeriod, txtRXID, txtRXData})
        edit->installEventFilter(this);
    for (QLineEdit* edit : txtByte)
        edit->installEventFilter(this);
    coTxMode->installEventFilter(this);
    return frameMessage;
}

QFrame* TransmitPane::buildButtons() {
    frTxButtons = named(new QFrame, "frTxButtons");
    auto* buttons = new QGridLayout(frTxButtons);
    buttons->setContentsMargins(0, 0, 0, 0);
    const auto button = [this, buttons](const char* name, const char* caption, const char* tip, int row,
                                        int column, void (TransmitList::*action)()) {
        auto* b = named(new QPushButton(QString::fromLatin1(caption)), name, QString::fromLatin1(caption));
        b->setToolTip(QString::fromLatin1(tip));
        buttons->addWidget(b, row, column);
        connect(b, &QPushButton::clicked, list_, action);
        return b;
    };
    cmdTransmitAdd = button("cmdTransmitAdd", "Add", "Add new message", 0, 0, &TransmitList::addTxRow);
    cmdTransmitCopy =
        button("cmdTransmitCopy", "Copy", "Copy selected message", 1, 0, &TransmitList::copyTxRow);
    cmdTransmitDel =
        button("cmdTransmitDel", "Delete", "Delete selected message", 2, 0, &TransmitList::deleteTxRow);
    cmdSend = button("cmdSend", "Single Shot", "Send selected TX message one time", 0, 1,
                     &TransmitList::sendSelectedOnce);
    cmdResumeAll = button("cmdResumeAll", "Send All", "Send all periodic TX messages", 1, 1,
                          &TransmitList::sendAllPeriodic);
    cmdStopAll = button("cmdStopAll", "Stop All", "Stop all TX messages", 2, 1, &TransmitList::stopAllTx);
    cmdTxSignals =
        named(new QPushButton(QStringLiteral("Signals...")), "cmdTxSignals", QStringLiteral("Signals..."));
    cmdTxSignals->setToolTip(QStringLiteral("Fill the selected message's data from signal values"));
    buttons->addWidget(cmdTxSignals, 3, 0, 1, 2);
    connect(cmdTxSignals, &QPushButton::clicked, this, &TransmitPane::editSelectedSignals);
    cmdTxSignals->hide();
    return frTxButtons;
}

void TransmitPane::connectEditor() {
    // Each field's rule is named in its own slot: a pointer to a member function kept in a slot's capture
    // was misread under AddressSanitizer.
    connect(txtID, &QLineEdit::textChanged, editor_,
            [this](const QString& text) { editor_->setIdText(text.toStdString()); });
    connect(txtDLC, &QLineEdit::textChanged, editor_,
            [this](const QString& text) { editor_->setDlcText(text.toStdString()); });
    connect(txtPeriod, &QLineEdit::textChanged, editor_,
            [this](const QString& text) { editor_->setPeriodText(text.toStdString()); });
    connect(txtTxComment, &QLineEdit::textChanged, editor_,
            [this](const QString& text) { editor_->setComment(text.toStdString()); });
    connect(txtRXID, &QLineEdit::textChanged, editor_,
            [this](const QString& text) { editor_->setTriggerIdText(text.toStdString()); });
    connect(txtRXData, &QLineEdit::textChanged, editor_,
            [this](const QString& text) { editor_->setTriggerDataText(text.toStdString()); });
    for (std::size_t k = 0; k < txtByte.size(); ++k)
        connect(txtByte[k], &QLineEdit::textChanged, editor_, [this, k](const QString& text) {
            editor_->setByteText(static_cast<int>(k), text.toStdString());
        });
    connect(chExtID, &QCheckBox::clicked, editor_, &TxEditor::setExtendedId);
    connect(chRTR, &QCheckBox::clicked, editor_, &TxEditor::setRemote);
    connect(coTxMode, &QComboBox::activated, editor_, &TxEditor::selectMode);
}

void TransmitPane::setSendButtonsEnabled(bool enabled) {
    cmdSend->setEnabled(enabled);
    cmdResumeAll->setEnabled(enabled);
    cmdStopAll->setEnabled(enabled);
}

void TransmitPane::setDatabases(const DatabaseSet* databases) {
    // An open dialog shows a message of the databases as they were.
    for (frmTxSignals* dialog : findChildren<frmTxSignals*>()) {
        dialog->reject();
        dialog->deleteLater();
    }
    databases_ = databases;
    showSignalsButton();
}

void TransmitPane::showSignalsButton() {
    const bool loaded = databases_ != nullptr && !databases_->empty();
    cmdTxSignals->setVisible(loaded);
    const TxEditorFields& f = editor_->fields();
    cmdTxSignals->setEnabled(loaded && !f.remote && list_->selectedRow() >= 0 &&
                             messageForIdText(*databases_, f.id) != nullptr);
}

void TransmitPane::editSelectedSignals() {
    const int row = list_->selectedRow();
    if (databases_ == nullptr || row < 0)
        return;
    const TxRow r = list_->row(row);
    const MessageDef* message = messageForIdText(*databases_, r.id);
    if (message == nullptr || r.data == "RTR")
        return;
    std::array<uint8_t, 8> data{};
    frameDataBytes(r.data, data.data());
    auto* dialog = new frmTxSignals(*message, data, this);
    dialog->setAttribute(Qt::WA_DeleteOnClose);
    // The row is found again when the values come back: the list may have changed meanwhile.
    connect(dialog, &QDialog::accepted, this, [this, dialog, row, id = r.id] {
        if (list_->selectedRow() != row || list_->row(row).id != id)
            return;
        editor_->setDataBytes(dialog->length(), dialog->data().data());
    });
    dialog->open();
}

void TransmitPane::showSelectedRow(int index) {
    if (index < 0)
        return;
    const QModelIndex cell = list_->model().index(index, 0);
    if (listTransmit->currentIndex().row() != index)
        listTransmit->setCurrentIndex(cell);
    listTransmit->selectRow(index);
    listTransmit->scrollTo(cell);
}

void TransmitPane::showFields() {
    const TxEditorFields& f = editor_->fields();
    {
        // The limit first, so a longer identifier is not cut; a shorter limit must not cut the old text into
        // a change either.
        const QSignalBlocker block(txtID);
        txtID->setMaxLength(static_cast<int>(f.idMaxLength()));
    }
    showText(txtID, f.id);
    {
        const QSignalBlocker blockExt(chExtID);
        const QSignalBlocker blockRtr(chRTR);
        chExtID->setChecked(f.extendedId);
        chRTR->setChecked(f.remote);
    }
    showText(txtDLC, f.dlc);
    for (std::size_t k = 0; k < txtByte.size(); ++k) {
        showText(txtByte[k], f.bytes[k]);
        txtByte[k]->setVisible(f.byteVisible[k]);
    }
    showText(txtPeriod, f.period);
    if (coTxMode->currentIndex() != f.modeEntry) {
        const QSignalBlocker block(coTxMode);
        coTxMode->setCurrentIndex(f.modeEntry);
    }
    showText(txtTxComment, f.comment);
    showText(txtRXID, f.triggerId);
    showText(txtRXData, f.triggerData);
    showSignalsButton();
}

int TransmitPane::byteIndex(const QObject* object) const {
    for (std::size_t k = 0; k < txtByte.size(); ++k)
        if (txtByte[k] == object)
            return static_cast<int>(k);
    return -1;
}

// The typing rules of each field. Keys without text (arrows, Delete) and focus keys are never filtered; a
// character is refused, passed on, or replaced by its upper-case form.
bool TransmitPane::filterTypedKey(QLineEdit* edit, QKeyEvent* key) {
    const QString text = key->text();
    if (text.isEmpty() || key->key() == Qt::Key_Tab || key->key() == Qt::Key_Backtab ||
        key->key() == Qt::Key_Delete || key->key() == Qt::Key_Escape)
        return false;
    const char typed = text.size() == 1 ? text.at(0).toLatin1() : '\0';
    const bool backspace = key->key() == Qt::Key_Backspace;
    const char c = backspace ? kBackspace : typed;
    if (edit == txtPeriod && (key->key() == Qt::Key_Return || key->key() == Qt::Key_Enter)) {
        editor_->leavePeriod();
        return true;
    }
    std::optional<char> accepted;
    if (edit == txtDLC)
        accepted = dlcFieldAccepts(c) ? std::optional<char>(c) : std::nullopt;
    else if (edit == txtPeriod) {
        const bool full =
            edit->text().size() - edit->selectedText().size() >= static_cast<qsizetype>(kPeriodTypedLength);
        accepted =
            periodFieldAccepts(c) && !(full && c >= '0' && c <= '9') ? std::optional<char>(c) : std::nullopt;
    } else if (edit == txtRXData)
        accepted = triggerDataKey(c);
    else
        accepted = hexFieldKey(c);
    if (!accepted)
        return true;
    if (*accepted != c) {
        edit->insert(QString(QChar::fromLatin1(*accepted)));
        return true;
    }
    return false;
}

bool TransmitPane::listKey(QEvent* event) {
    auto* key = static_cast<QKeyEvent*>(event);
    if (event->type() == QEvent::KeyPress) {
        if (key->key() == Qt::Key_Return || key->key() == Qt::Key_Enter || key->key() == Qt::Key_Space) {
            list_->sendSelectedOnce();
            return true;
        }
        return false;
    }
    if (key->isAutoRepeat())
        return false;
    if (key->key() == Qt::Key_Delete)
        list_->deleteTxRow();
    else
        editor_->load();
    return false;
}

void TransmitPane::fieldFocused(QLineEdit* edit) {
    // The trigger fields keep the caret where a click puts it, so one digit of a pattern can be fixed.
    if (edit == txtRXID || edit == txtRXData)
        return;
    // After the mouse press that gave the focus, which would otherwise place the caret.
    QTimer::singleShot(0, edit, [this, edit] {
        if (!edit->hasFocus())
            return;
        if (edit == txtDLC)
            edit->setSelection(0, 1);
        else
            edit->selectAll();
    });
}

void TransmitPane::fieldLeft(QLineEdit* edit) {
    if (edit == txtID)
        editor_->leaveId();
    else if (edit == txtDLC)
        editor_->leaveDlc();
    else if (edit == txtRXData)
        editor_->leaveTriggerData();
    else if (edit == txtPeriod)
        editor_->leavePeriod();
    else if (const int k = byteIndex(edit); k >= 0)
        editor_->leaveByte(k);
}

bool TransmitPane::eventFilter(QObject* watched, QEvent* event) {
    const QEvent::Type type = event->type();
    if (watched == listTransmit && (type == QEvent::KeyPress || type == QEvent::KeyRelease))
        return listKey(event);
    if (watched == coTxMode) {
        // The selector is chosen from, never typed into.
        if (type == QEvent::KeyPress && !static_cast<QKeyEvent*>(event)->text().trimmed().isEmpty())
            return true;
        return QWidget::eventFilter(watched, event);
    }
    auto* edit = qobject_cast<QLineEdit*>(watched);
    if (!edit)
        return QWidget::eventFilter(watched, event);
    switch (type) {
    case QEvent::KeyPress:
        return filterTypedKey(edit, static_cast<QKeyEvent*>(event));
    case QEvent::KeyRelease: {
        const int k = byteIndex(edit);
        const int key = static_cast<QKeyEvent*>(event)->key();
        if (k >= 0 && k < 7 && key != Qt::Key_Shift && key != Qt::Key_Tab && key != Qt::Key_Backtab &&
            edit->text().size() == 2 && editor_->fields().byteVisible[static_cast<std::size_t>(k) + 1])
            txtByte[static_cast<std::size_t>(k) + 1]->setFocus(Qt::TabFocusReason);
        return false;
    }
    case QEvent::FocusIn:
    case QEvent::FocusOut: {
        // A context menu or another window taking the focus for a moment is not entering or leaving a
        // field: its rules would pad the text in the middle of an edit.
        const Qt::FocusReason reason = static_cast<QFocusEvent*>(event)->reason();
        if (reason == Qt::PopupFocusReason || reason == Qt::ActiveWindowFocusReason)
            return false;
        if (event->type() == QEvent::FocusIn)
            fieldFocused(edit);
        else
            fieldLeft(edit);
        return false;
    }
    default:
        return QWidget::eventFilter(watched, event);
    }
}

} // namespace korvel
