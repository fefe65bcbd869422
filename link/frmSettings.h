#pragma once

// The settings dialog: device, CAN bitrate or user bit timing, serial speed, listen-only, timestamps and RTS
// handshake. It edits a copy of the settings and writes them back on "Ok".

#include <QDialog>

#include <functional>
#include <string>
#include <vector>

class QCheckBox;
class QComboBox;
class QLabel;
class QLineEdit;
class QPushButton;

namespace korvel {

struct GlobalState;

class frmSettings final : public QDialog {
    Q_OBJECT
public:
    // `devices` is the device list to offer (fillDeviceList); `setModeText` shows the mode in status panel 4.
    frmSettings(GlobalState& state, std::vector<std::string> devices,
                std::function<void(const QString&)> setModeText, QWidget* parent = nullptr);

private:
    void load();
    void applyDeviceRule();
    void applyBitrateRule();
    void accept() override;

    GlobalState& state_;
    std::function<void(const QString&)> setModeText_;

    QComboBox* coCommSelect = nullptr;
    QComboBox* lCANBaudrate = nullptr;
    QLabel* lblRegister = nullptr;
    QLineEdit* tCANUserBaudrate = nullptr;
    QLabel* lblRegisterFormat = nullptr;
    QLabel* lblComBaudrate = nullptr;
    QComboBox* lCOMBaudrate = nullptr;
    QCheckBox* chListenOnly = nullptr;
    QCheckBox* chTimestamp = nullptr;
    QCheckBox* chRTS = nullptr;
    QPushButton* cmdSettingsOK = nullptr;
    QPushButton* cmdSettingsCancel = nullptr;
};

} // namespace korvel
