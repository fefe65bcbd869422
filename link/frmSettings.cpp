#include "link/frmSettings.h"

#include "core/basGlobal.h"
#include "core/prompts.h"
#include "link/canFrame.h"
#include "link/canInterfaces.h"
#include "link/deviceChoice.h"
#include "link/keyFilters.h"

#include <QCheckBox>
#include <QComboBox>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QVBoxLayout>

namespace korvel {

namespace {

constexpr const char* kSerialSpeeds[] = {"2400 bit/s",  "4800 bit/s",  "9600 bit/s",  "19200 bit/s",
                                         "38400 bit/s", "57600 bit/s", "115200 bit/s"};

template <typename W> W* named(W* widget, const char* name, const QString& accessibleName) {
    widget->setObjectName(QString::fromLatin1(name));
    widget->setAccessibleName(accessibleName);
    return widget;
}

// A drop-down whose text can be set to any value but not typed into.
QComboBox* pickOnlyCombo(QObject* owner, const char* name, const QString& accessibleName, bool settableText) {
    auto* combo = named(new QComboBox, name, accessibleName);
    if (settableText) {
        combo->setEditable(true);
        combo->lineEdit()->setReadOnly(true);
        combo->lineEdit()->installEventFilter(new NoTypingFilter(owner));
    }
    combo->installEventFilter(new NoTypingFilter(owner));
    return combo;
}

} // namespace

frmSettings::frmSettings(GlobalState& state, std::vector<std::string> devices,
                         std::function<void(const QString&)> setModeText, QWidget* parent)
    : QDialog(parent), state_(state), setModeText_(std::move(setModeText)) {
    setObjectName(QStringLiteral("frmSettings"));
    setWindowTitle(QStringLiteral("Settings"));

    coCommSelect = pickOnlyCombo(this, "coCommSelect", QStringLiteral("CAN Device"), true);
    for (const std::string& device : devices)
        coCommSelect->addItem(QString::fromStdString(device));
    coCommSelect->setMinimumContentsLength(28);

    lCANBaudrate = pickOnlyCombo(this, "lCANBaudrate", QStringLiteral("CAN Baudrate"), false);
    for (std::size_t i = 0; i < kBitrates.size(); ++i)
        lCANBaudrate->addItem(QString::fromLatin1(kBitrates[i].listText), static_cast<int>(i));

    lblRegister =
        named(new QLabel(QStringLiteral("Baudrate Reg.")), "lblRegister", QStringLiteral("Baudrate Reg."));
    tCANUserBaudrate = named(new QLineEdit, "tCANUserBaudrate", QStringLiteral("Baudrate Reg."));
    tCANUserBaudrate->installEventFilter(new UpperHexKeyFilter(this));
    tCANUserBaudrate->installEventFilter(new SelectAllOnFocus(this));
    lblRegisterFormat = named(new QLabel(QStringLiteral("<BRGCON1><BRGCON2><BRGCON3> (korvel)\n"
                                                        "<BTR0><BTR1> (SJA1000, Peak)")),
                              "lblRegisterFormat", QStringLiteral("Register format"));
    lblRegisterFormat->setTextFormat(Qt::PlainText);

    lblComBaudrate =
        named(new QLabel(QStringLiteral("COM Baudrate")), "lblComBaudrate", QStringLiteral("COM Baudrate"));
    lCOMBaudrate = pickOnlyCombo(this, "lCOMBaudrate", QStringLiteral("COM Baudrate"), true);
    for (const char* speed : kSerialSpeeds)
        lCOMBaudrate->addItem(QString::fromLatin1(speed));

    chListenOnly =
        named(new QCheckBox(QStringLiteral("Listen Only")), "chListenOnly", QStringLiteral("Listen Only"));
    chTimestamp =
        named(new QCheckBox(QStringLiteral("Time Stamp")), "chTimestamp", QStringLiteral("Time Stamp"));
    chRTS = named(new QCheckBox(QStringLiteral("RTS HS")), "chRTS", QStringLiteral("RTS HS"));
    cmdSettingsOK = named(new QPushButton(QStringLiteral("Ok")), "cmdSettingsOK", QStringLiteral("Ok"));
    cmdSettingsCancel =
        named(new QPushButton(QStringLiteral("Cancel")), "cmdSettingsCancel", QStringLiteral("Cancel"));
    cmdSettingsOK->setDefault(true);

    auto* grid = new QGridLayout;
    grid->addWidget(new QLabel(QStringLiteral("CAN Device")), 0, 0);
    grid->addWidget(coCommSelect, 0, 1, 1, 2);
    grid->addWidget(new QLabel(QStringLiteral("CAN Baudrate")), 1, 0);
    grid->addWidget(lCANBaudrate, 1, 1);
    grid->addWidget(lblRegister, 2, 0);
    grid->addWidget(tCANUserBaudrate, 2, 1);
    grid->addWidget(lblRegisterFormat, 3, 1, 1, 2);
    grid->addWidget(lblComBaudrate, 4, 0);
    grid->addWidget(lCOMBaudrate, 4, 1);
    auto* checks = new QHBoxLayout;
    checks->addWidget(chListenOnly);
    checks->addWidget(chTimestamp);
    checks->addWidget(chRTS);
    checks->addStretch(1);
    grid->addLayout(checks, 5, 0, 1, 3);

    auto* buttons = new QHBoxLayout;
    buttons->addStretch(1);
    buttons->addWidget(cmdSettingsOK);
    buttons->addWidget(cmdSettingsCancel);
    auto* layout = new QVBoxLayout(this);
    layout->addLayout(grid);
    layout->addSpacing(8);
    layout->addLayout(buttons);

    connect(cmdSettingsOK, &QPushButton::clicked, this, &frmSettings::accept);
    connect(cmdSettingsCancel, &QPushButton::clicked, this, &QDialog::reject);
    connect(coCommSelect, &QComboBox::currentTextChanged, this, &frmSettings::applyDeviceRule);
    connect(lCANBaudrate, &QComboBox::currentIndexChanged, this, &frmSettings::applyBitrateRule);

    load();
}

void frmSettings::load() {
    coCommSelect->setEditText(QString::fromStdString(deviceText(state_.deviceKind, state_.comPort)));
    lCANBaudrate->setCurrentIndex(state_.canBitrateIndex);
    applyBitrateRule();
    lCOMBaudrate->setEditText(QString::fromStdString(state_.comBaudrate) + QStringLiteral(" bit/s"));
    tCANUserBaudrate->setText(QString::fromStdString(state_.userBitrate));
    chTimestamp->setChecked(state_.hasOption(optTimestamp));
    chListenOnly->setChecked(state_.hasOption(optListenOnly));
    chRTS->setChecked(state_.hasOption(optRtsHandshake));
    applyDeviceRule();
}

void frmSettings::applyDeviceRule() {
    const bool serial = isSerialDeviceText(coCommSelect->currentText().toStdString());
    lblComBaudrate->setEnabled(serial);
    lCOMBaudrate->setEnabled(serial);
    chRTS->setEnabled(serial);
    // A CAN network interface runs at the bitrate the system gave it.
    const bool systemBitrate = socketCanInterfaceOf(coCommSelect->currentText().toStdString()).has_value();
    lCANBaudrate->setEnabled(!systemBitrate);
    lCANBaudrate->setToolTip(systemBitrate ? QStringLiteral("Set by the system for a CAN network interface")
                                           : QString());
    applyBitrateRule();
}

void frmSettings::applyBitrateRule() {
    const bool user = lCANBaudrate->isEnabled() && lCANBaudrate->currentText() == QLatin1String("User Def.");
    tCANUserBaudrate->setEnabled(user);
    lblRegister->setEnabled(user);
    lblRegisterFormat->setEnabled(user);
}

void frmSettings::accept() {
    const std::string device = coCommSelect->currentText().toStdString();
    if (device.empty()) {
        prompts().critical(QStringLiteral("Unknown Device!"));
        return;
    }
    const DeviceChoice choice = chooseDevice(device);
    state_.deviceKind = choice.deviceKind;
    if (choice.comPort)
        state_.comPort = *choice.comPort;
    state_.canBitrateIndex = lCANBaudrate->currentIndex() < 0 ? 0 : lCANBaudrate->currentIndex();
    state_.userBitrate = tCANUserBaudrate->text().toStdString();
    state_.comBaudrate = serialSpeedFromText(lCOMBaudrate->currentText().toStdString());
    state_.setOption(optListenOnly, chListenOnly->isChecked());
    if (setModeText_)
        setModeText_(chListenOnly->isChecked() ? QStringLiteral("Listen Only")
                                               : QStringLiteral("Normal Mode"));
    state_.setOption(optTimestamp, chTimestamp->isChecked());
    state_.setOption(optRtsHandshake, chRTS->isChecked());
    QDialog::accept();
}

} // namespace korvel
