#include "receive/frDetails.h"

#include "core/prompts.h"
#include "core/textFile.h"
#include "receive/comments.h"
#include "receive/monitorModel.h"
#include "signals/signalsView.h"

#include <QCheckBox>
#include <QCloseEvent>
#include <QFontDatabase>
#include <QGridLayout>
#include <QGroupBox>
#include <QGuiApplication>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QProgressBar>
#include <QRadioButton>
#include <QScreen>
#include <QVBoxLayout>

namespace korvel {

namespace {

template <typename W> W* named(W* widget, const QString& name, const QString& accessibleName) {
    widget->setObjectName(name);
    widget->setAccessibleName(accessibleName);
    return widget;
}

QLineEdit* displayBox(const QString& name, const QString& accessibleName, int widthChars) {
    auto* box = named(new QLineEdit, name, accessibleName);
    box->setReadOnly(true);
    if (widthChars > 0)
        box->setFixedWidth(box->fontMetrics().horizontalAdvance(QString(widthChars, QLatin1Char('0'))) + 12);
    return box;
}

QProgressBar* bar(const QString& name, const QString& accessibleName, int maximum) {
    auto* b = named(new QProgressBar, name, accessibleName);
    b->setRange(0, maximum);
    b->setValue(0);
    b->setTextVisible(false);
    return b;
}

QString indexed(const char* name, std::size_t i) {
    return QString::fromLatin1(name) + QString::number(i);
}

} // namespace

frDetails::frDetails(std::string iniPath, QWidget* parent)
    : QWidget(parent, Qt::Window), iniPath_(std::move(iniPath)) {
    setObjectName(QStringLiteral("frDetails"));
    setWindowTitle(QStringLiteral("Details"));
    setAttribute(Qt::WA_DeleteOnClose);
    setFont(QFontDatabase::systemFont(QFontDatabase::FixedFont));

    auto* layout = new QVBoxLayout(this);

    auto* frComment = named(new QGroupBox(QStringLiteral("Comment")), QStringLiteral("frComment"),
                            QStringLiteral("Comment"));
    auto* commentLayout = new QHBoxLayout(frComment);
    txtComment = displayBox(QStringLiteral("txtComment"), QStringLiteral("Comment"), 0);
    commentLayout->addWidget(txtComment);
    layout->addWidget(frComment);

    auto* frBits = named(new QGroupBox(QStringLiteral("Bit Value / Byte Value (Hex)")),
                         QStringLiteral("frBits"), QStringLiteral("Bit Value / Byte Value (Hex)"));
    auto* bitsLayout = new QGridLayout(frBits);
    auto* frBytes = named(new QGroupBox(QStringLiteral("Byte Value (Dec)")), QStringLiteral("frBytes"),
                          QStringLiteral("Byte Value (Dec)"));
    auto* bytesLayout = new QGridLayout(frBytes);
    for (std::size_t i = 0; i < 8; ++i) {
        const int row = static_cast<int>(i);
        const QString byteName = QStringLiteral("Byte %1").arg(i);
        txtByteHex[i] = displayBox(indexed("txtByteHex", i), byteName + QStringLiteral(" hexadecimal"), 2);
        bitsLayout->addWidget(txtByteHex[i], row, 0);
        // Shown from the highest bit to the lowest, as the byte is written.
        for (int b = 7; b >= 0; --b) {
            const std::size_t n = 8 * i + static_cast<std::size_t>(b);
            const QString caption =
                QLatin1Char('h') + QString::number(1 << b, 16).rightJustified(2, QLatin1Char('0')).toUpper();
            chBit[n] = named(new QCheckBox(caption), indexed("chBit", n),
                             byteName + QStringLiteral(" bit ") + caption);
            // The boxes show bits; clicking them would change nothing else.
            chBit[n]->setAttribute(Qt::WA_TransparentForMouseEvents);
            chBit[n]->setFocusPolicy(Qt::NoFocus);
            bitsLayout->addWidget(chBit[n], row, 8 - b);
        }
        txtByte[i] = displayBox(indexed("txtByte", i), byteName + QStringLiteral(" decimal"), 3);
        barByte[i] = bar(indexed("barByte", i), byteName + QStringLiteral(" bar"), 255);
        bytesLayout->addWidget(txtByte[i], row, 0);
        bytesLayout->addWidget(barByte[i], row, 1);
    }
    layout->addWidget(frBits);

    auto* lower = new QHBoxLayout;
    lower->addWidget(frBytes);
    auto* frIntegers = named(new QGroupBox(QStringLiteral("Integer Value (Dec)")),
                             QStringLiteral("frIntegers"), QStringLiteral("Integer Value (Dec)"));
    auto* integersLayout = new QGridLayout(frIntegers);
    auto* lblByteOrder = named(new QLabel(QStringLiteral("Byte Order:")), QStringLiteral("lblByteOrder"),
                               QStringLiteral("Byte Order:"));
    optMotorola = named(new QRadioButton(QStringLiteral("Motorola (High byte, Low byte)")),
                        QStringLiteral("optMotorola"), QStringLiteral("Motorola (High byte, Low byte)"));
    Option1 = named(new QRadioButton(QStringLiteral("Intel (Low Byte, High Byte)")),
                    QStringLiteral("Option1"), QStringLiteral("Intel (Low Byte, High Byte)"));
    optMotorola->setChecked(true);
    integersLayout->addWidget(lblByteOrder, 0, 0, 1, 2);
    integersLayout->addWidget(optMotorola, 1, 0, 1, 2);
    integersLayout->addWidget(Option1, 2, 0, 1, 2);
    for (std::size_t k = 0; k < txtInteger.size(); ++k) {
        const QString name = QStringLiteral("Integer %1").arg(k);
        txtInteger[k] = displayBox(indexed("txtInteger", k), name + QStringLiteral(" decimal"), 5);
        barInteger[k] = bar(indexed("barInteger", k), name + QStringLiteral(" bar"), 65535);
        integersLayout->addWidget(txtInteger[k], static_cast<int>(k) + 3, 0);
        integersLayout->addWidget(barInteger[k], static_cast<int>(k) + 3, 1);
    }
    lower->addWidget(frIntegers);
    layout->addLayout(lower);

    frSignals = named(new QGroupBox(QStringLiteral("Signals")), QStringLiteral("frSignals"),
                      QStringLiteral("Signals"));
    auto* signalsLayout = new QVBoxLayout(frSignals);
    signalsPanel = new SignalsPanel(QStringLiteral("DetailsSignals"));
    signalsLayout->addWidget(signalsPanel);
    frSignals->hide();
    layout->addWidget(frSignals, 1);

    connect(optMotorola, &QRadioButton::toggled, this, [this] { showIntegers(); });
    showDetailsData(QString());

    const DetailsPosition stored = readDetailsPosition(iniPath_);
    const double dpi = logicalDpiY();
    const QPoint topLeft(twipsToPixels(stored.left, dpi), twipsToPixels(stored.top, dpi));
    // A position on a screen that is no longer attached would put the window out of reach.
    if (QGuiApplication::screenAt(topLeft) != nullptr)
        move(topLeft);
}

DetailsByteOrder frDetails::byteOrder() const {
    return Option1->isChecked() ? DetailsByteOrder::intel : DetailsByteOrder::motorola;
}

void frDetails::showDetailsData(const QString& dataText) {
    const DetailsBytes bytes = detailsBytes(dataText);
    values_ = bytes.value;
    for (std::size_t i = 0; i < 8; ++i) {
        txtByteHex[i]->setText(bytes.hex[i]);
        txtByte[i]->setText(QString::number(bytes.value[i]));
        barByte[i]->setValue(bytes.value[i]);
        for (std::size_t b = 0; b < 8; ++b)
            chBit[8 * i + b]->setChecked(((bytes.value[i] >> b) & 1) != 0);
    }
    showIntegers();
}

void frDetails::showIntegers() {
    const std::array<int, 7> integers = detailsIntegers(values_, byteOrder());
    for (std::size_t k = 0; k < integers.size(); ++k) {
        txtInteger[k]->setText(QString::number(integers[k]));
        barInteger[k]->setValue(integers[k]);
    }
}

void frDetails::setCommentText(const QString& comment) {
    txtComment->setText(comment);
}

void frDetails::showFrame(const QString& idText, const QString& dataText, const QString& comment) {
    idText_ = idText;
    dataText_ = dataText;
    setWindowTitle(QStringLiteral("Details (ID: ") + idText + QLatin1Char(')'));
    setCommentText(comment);
    showDetailsData(dataText);
    showSignals();
}

void frDetails::setDatabases(const DatabaseSet* databases) {
    databases_ = databases;
    signalsPanel->clearFrame();
    showSignals();
}

void frDetails::showSignals() {
    const bool shown = databases_ != nullptr &&
                       signalsPanel->showFrame(*databases_, idText_.toStdString(), dataText_.toStdString());
    frSignals->setVisible(shown);
}

void frDetails::showTracerFrame(const QString& idText, const QString& dataText,
                                std::string_view commentListText) {
    const std::string_view stored =
        storedComment(commentListText, idText.toStdString()).value_or(std::string_view{});
    showFrame(idText, dataText, QString::fromUtf8(stored.data(), static_cast<qsizetype>(stored.size())));
}

void frDetails::closeEvent(QCloseEvent* event) {
    const double dpi = logicalDpiY();
    std::string error;
    if (!writeDetailsPosition(iniPath_, {pixelsToTwips(y(), dpi), pixelsToTwips(x(), dpi)}, &error))
        prompts().critical(QString::fromStdString(saveFailedText(iniPath_, error)));
    QWidget::closeEvent(event);
}

frDetails* openDetails(QPointer<frDetails>& window, const MonitorModel& model, int row,
                       const std::string& iniPath, QWidget* parent, const DatabaseSet* databases) {
    const MonitorRow* r = model.rowAt(row);
    if (r == nullptr)
        return nullptr;
    if (!window) {
        window = new frDetails(iniPath, parent);
        window->setDatabases(databases);
    }
    window->showFrame(QString::fromStdString(r->id), QString::fromStdString(r->data),
                      QString::fromStdString(r->comment));
    window->show();
    window->raise();
    return window;
}

void refreshDetails(frDetails* window, const MonitorModel& model, int selectedRow, bool tracerView) {
    const MonitorRow* r = model.rowAt(selectedRow);
    if (window == nullptr || !window->isVisible() || tracerView || r == nullptr)
        return;
    // The title follows too: the selection may have moved to another identifier without a click.
    window->showFrame(QString::fromStdString(r->id), QString::fromStdString(r->data),
                      QString::fromStdString(r->comment));
}

} // namespace korvel
