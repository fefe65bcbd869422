#include "filters/frmFilter.h"

#include "filters/filterSettings.h"
#include "link/keyFilters.h"

#include <QCheckBox>
#include <QFocusEvent>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTimer>
#include <QVBoxLayout>
#include <QValidator>

namespace korvel {

namespace {

// Upper-cases what is typed or pasted and refuses any change that leaves a character the box may not hold
// or more characters than it takes.
class HexFieldValidator final : public QValidator {
public:
    HexFieldValidator(bool allowComma, int maxLength, QObject* parent)
        : QValidator(parent), allowComma_(allowComma), maxLength_(maxLength) {}

    State validate(QString& input, int&) const override {
        if (!isFilterFieldText(input, allowComma_, maxLength_))
            return Invalid;
        input = input.toUpper();
        return Acceptable;
    }

private:
    bool allowComma_;
    int maxLength_;
};

QLineEdit* hexField(const char* name, const QString& label, bool allowComma) {
    auto* field = new QLineEdit;
    field->setObjectName(QString::fromLatin1(name));
    field->setAccessibleName(label);
    // The validator, not the box's own limit, keeps the length: the box would cut a long paste silently.
    field->setValidator(
        new HexFieldValidator(allowComma, allowComma ? kMaxDiscreteLength : kFilterFieldLength, field));
    return field;
}

QLabel* label(const char* name, const QString& text, QWidget* buddy) {
    auto* l = new QLabel(text);
    l->setObjectName(QString::fromLatin1(name));
    l->setAccessibleName(text);
    l->setBuddy(buddy);
    return l;
}

QString text(const std::string& value) {
    // Settings files may hold anything; the boxes show only what they could have taken by typing.
    return filterFieldText(QString::fromStdString(value), false, kFilterFieldLength);
}

} // namespace

frmFilter::frmFilter(GlobalState& state, QWidget* parent) : QDialog(parent), state_(state) {
    setObjectName(QStringLiteral("frmFilter"));
    setWindowTitle(QStringLiteral("Filter"));
    setModal(true);

    frHardwarefilter = new QGroupBox(QStringLiteral("Mask Filter"));
    frHardwarefilter->setObjectName(QStringLiteral("frHardwarefilter"));
    frHardwarefilter->setAccessibleName(QStringLiteral("Mask Filter"));
    tCANFilter = hexField("tCANFilter", QStringLiteral("11Bit/29Bit Code"), false);
    tCANMask = hexField("tCANMask", QStringLiteral("11Bit/29Bit Mask"), false);
    chFilterOn = new QCheckBox(QStringLiteral("Enable Mask Filter"));
    chFilterOn->setObjectName(QStringLiteral("chFilterOn"));
    chFilterOn->setAccessibleName(QStringLiteral("Enable Mask Filter"));
    auto* mask = new QGridLayout(frHardwarefilter);
    mask->addWidget(label("lblCode", QStringLiteral("11Bit/29Bit Code"), tCANFilter), 0, 0);
    mask->addWidget(tCANFilter, 0, 1);
    mask->addWidget(label("lblMask", QStringLiteral("11Bit/29Bit Mask"), tCANMask), 1, 0);
    mask->addWidget(tCANMask, 1, 1);
    mask->addWidget(
        label("lblMaskHint",
              QStringLiteral(
                  "Mask: 0 = Relevant, 1 = Don't care       (for details look at SJA1000 Datasheet)"),
              nullptr),
        2, 0, 1, 2);
    mask->addWidget(chFilterOn, 3, 0, 1, 2);

    frSoftwarefilter = new QGroupBox(QStringLiteral("Range Filter"));
    frSoftwarefilter->setObjectName(QStringLiteral("frSoftwarefilter"));
    frSoftwarefilter->setAccessibleName(QStringLiteral("Range Filter"));
    txtFilterStart = hexField("txtFilterStart", QStringLiteral("Start ID"), false);
    txtFilterEnd = hexField("txtFilterEnd", QStringLiteral("End ID"), false);
    txtFilterDiscrete = hexField("txtFilterDiscrete", QStringLiteral("Discrete IDs"), true);
    chSoftFilterOn = new QCheckBox(QStringLiteral("Enable Range Filter"));
    chSoftFilterOn->setObjectName(QStringLiteral("chSoftFilterOn"));
    chSoftFilterOn->setAccessibleName(QStringLiteral("Enable Range Filter"));
    auto* range = new QGridLayout(frSoftwarefilter);
    range->addWidget(label("lblStart", QStringLiteral("Start ID"), txtFilterStart), 0, 0);
    range->addWidget(txtFilterStart, 0, 1);
    range->addWidget(label("lblEnd", QStringLiteral("End ID"), txtFilterEnd), 1, 0);
    range->addWidget(txtFilterEnd, 1, 1);
    range->addWidget(label("lblDiscrete", QStringLiteral("Discrete IDs"), txtFilterDiscrete), 2, 0);
    range->addWidget(txtFilterDiscrete, 2, 1);
    range->addWidget(chSoftFilterOn, 3, 0, 1, 2);

    cmdFilterOK = new QPushButton(QStringLiteral("Ok"));
    cmdFilterOK->setObjectName(QStringLiteral("cmdFilterOK"));
    cmdFilterOK->setAccessibleName(QStringLiteral("Ok"));
    cmdFilterOK->setDefault(true);
    cmdFilterCancel = new QPushButton(QStringLiteral("Cancel"));
    cmdFilterCancel->setObjectName(QStringLiteral("cmdFilterCancel"));
    cmdFilterCancel->setAccessibleName(QStringLiteral("Cancel"));

    auto* buttons = new QHBoxLayout;
    buttons->addStretch(1);
    buttons->addWidget(cmdFilterOK);
    buttons->addWidget(cmdFilterCancel);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(frHardwarefilter);
    layout->addWidget(frSoftwarefilter);
    layout->addLayout(buttons);

    const FilterSettings settings = filterSettingsOf(state_);
    tCANFilter->setText(text(settings.acceptanceCodeText));
    tCANMask->setText(text(settings.acceptanceMaskText));
    txtFilterStart->setText(text(settings.rangeFilterStartText));
    txtFilterEnd->setText(text(settings.rangeFilterEndText));
    txtFilterDiscrete->setText(
        filterFieldText(QString::fromStdString(settings.discreteFilterText), true, kMaxDiscreteLength));
    chFilterOn->setChecked(settings.maskFilterOn);
    chSoftFilterOn->setChecked(settings.rangeFilterOn);

    shownCode_ = tCANFilter->text();
    shownMask_ = tCANMask->text();

    for (QLineEdit* field : {tCANFilter, tCANMask, txtFilterStart, txtFilterEnd})
        field->installEventFilter(this);
    auto* copyPasteOnly = new CopyPasteOnlyFilter(this);
    for (QLineEdit* field : {tCANFilter, tCANMask, txtFilterStart, txtFilterEnd, txtFilterDiscrete})
        field->installEventFilter(copyPasteOnly);

    connect(cmdFilterOK, &QPushButton::clicked, this, &frmFilter::filterOk);
    connect(cmdFilterCancel, &QPushButton::clicked, this, &QDialog::reject);
}

bool frmFilter::eventFilter(QObject* watched, QEvent* event) {
    auto* field = qobject_cast<QLineEdit*>(watched);
    const bool focusChange = event->type() == QEvent::FocusIn || event->type() == QEvent::FocusOut;
    if (field == nullptr || !focusChange)
        return QDialog::eventFilter(watched, event);
    // A context menu or another window taking the focus for a moment is not entering or leaving the box.
    const Qt::FocusReason reason = static_cast<QFocusEvent*>(event)->reason();
    if (reason == Qt::PopupFocusReason || reason == Qt::ActiveWindowFocusReason)
        return QDialog::eventFilter(watched, event);
    if (event->type() == QEvent::FocusIn)
        QTimer::singleShot(0, field, &QLineEdit::selectAll); // after a click has placed the caret
    else if (field == tCANFilter || field == tCANMask)
        field->setText(paddedIfEdited(field));
    return QDialog::eventFilter(watched, event);
}

QString frmFilter::paddedIfEdited(const QLineEdit* field) const {
    // A stored register text the user left alone stays as stored, however short.
    const QString& shown = field == tCANFilter ? shownCode_ : shownMask_;
    return field->text() == shown ? shown : padAcceptanceText(field->text());
}

void frmFilter::filterOk() {
    FilterSettings settings;
    settings.rangeFilterStartText = txtFilterStart->text().toStdString();
    settings.rangeFilterEndText = txtFilterEnd->text().toStdString();
    settings.discreteFilterText = txtFilterDiscrete->text().toStdString();
    settings.rangeFilterOn = chSoftFilterOn->isChecked();
    // Enter reaches "Ok" without leaving the box, so the padding that leaving would do is done here too.
    settings.acceptanceMaskText = paddedIfEdited(tCANMask).toStdString();
    settings.acceptanceCodeText = paddedIfEdited(tCANFilter).toStdString();
    settings.maskFilterOn = chFilterOn->isChecked();
    applyFilterSettings(state_, settings);
    accept();
}

} // namespace korvel
