// Drives the setup dialog from inside the event loop of the blocking ShowCanSetup call.
#pragma once

#include "wexdial.h"

#include <QString>

#include <functional>
#include <memory>
#include <string>

class QComboBox;
class QDialog;
class QLineEdit;
class QPushButton;

using ShowCanSetupFunction = int32_t (*)(void*, SetupRecord*);

// The library's entry point, loaded by file name at run time as a host loads it; null when it did not load.
[[nodiscard]] ShowCanSetupFunction showCanSetupEntry();

struct SetupControls {
    QDialog* dialog = nullptr;
    QLineEdit* serialNumber = nullptr;
    QPushButton* ok = nullptr;
    QPushButton* cancel = nullptr;
    QComboBox* bitrate = nullptr;
    QLineEdit* btrValue = nullptr;
};

using Interaction = std::function<void(SetupControls&)>;

// Waits a bounded number of event-loop turns for the modal dialog, runs the interaction on it and rejects
// the dialog if the interaction left it open, so that no test can hang on it.
class DialogDriver {
public:
    explicit DialogDriver(Interaction interaction);
    ~DialogDriver();
    DialogDriver(const DialogDriver&) = delete;
    DialogDriver& operator=(const DialogDriver&) = delete;

    // Posts the first look for the dialog; call before the blocking call or while the application starts.
    void arm();
    // Empty when the interaction ran on a complete dialog and closed it.
    [[nodiscard]] std::string problem() const;

    struct State;

private:
    std::shared_ptr<State> state;
};

// Calls ShowCanSetup with the interaction armed; the driver's problems become test failures.
int32_t showWith(SetupRecord& record, const Interaction& interaction, void* owner = nullptr);

[[nodiscard]] SetupRecord makeRecord(const char* serialNumber, int32_t bitrateKbit, int32_t btrValue);
[[nodiscard]] bool sameBytes(const SetupRecord& a, const SetupRecord& b);

void pressOK(SetupControls& controls);
void typeInto(QLineEdit* edit, const QString& text);
