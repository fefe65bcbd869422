#include "dialogDriver.h"

#include <QApplication>
#include <QComboBox>
#include <QDialog>
#include <QLibrary>
#include <QLineEdit>
#include <QPushButton>
#include <QTimer>
#include <QtTest/QTest>

#include <gtest/gtest.h>

#include <cstring>

ShowCanSetupFunction showCanSetupEntry() {
    static QLibrary library(QStringLiteral(WEXDIAL_LIBRARY));
    return reinterpret_cast<ShowCanSetupFunction>(library.resolve("ShowCanSetup"));
}

struct DialogDriver::State {
    Interaction interaction;
    bool stopped = false;
    bool interacted = false;
    int turnsLeft = 1000;
    std::string problem;
};

namespace {

void look(const std::shared_ptr<DialogDriver::State>& state);

void lookSoon(std::shared_ptr<DialogDriver::State> state) {
    QTimer::singleShot(0, [state = std::move(state)] { look(state); });
}

void look(const std::shared_ptr<DialogDriver::State>& state) {
    if (state->stopped) {
        return;
    }
    auto* dialog = qobject_cast<QDialog*>(QApplication::activeModalWidget());
    if (!dialog || !dialog->isVisible()) {
        if (--state->turnsLeft > 0) {
            lookSoon(state);
        }
        return;
    }
    SetupControls controls{dialog,
                           dialog->findChild<QLineEdit*>(QStringLiteral("1027")),
                           dialog->findChild<QPushButton*>(QStringLiteral("1")),
                           dialog->findChild<QPushButton*>(QStringLiteral("2")),
                           dialog->findChild<QComboBox*>(QStringLiteral("1015")),
                           dialog->findChild<QLineEdit*>(QStringLiteral("1014"))};
    if (!controls.serialNumber || !controls.ok || !controls.cancel || !controls.bitrate ||
        !controls.btrValue) {
        state->problem = "a control is missing";
    } else {
        state->interacted = true;
        state->interaction(controls);
        if (dialog->isVisible()) {
            state->problem = "the interaction left the dialog open";
        }
    }
    if (dialog->isVisible()) {
        dialog->reject();
    }
}

} // namespace

DialogDriver::DialogDriver(Interaction interaction) : state(std::make_shared<State>()) {
    state->interaction = std::move(interaction);
}

DialogDriver::~DialogDriver() {
    state->stopped = true;
}

void DialogDriver::arm() {
    lookSoon(state);
}

std::string DialogDriver::problem() const {
    if (!state->problem.empty()) {
        return state->problem;
    }
    return state->interacted ? std::string() : "the dialog never showed";
}

int32_t showWith(SetupRecord& record, const Interaction& interaction, void* owner) {
    const ShowCanSetupFunction show = showCanSetupEntry();
    if (!show) {
        ADD_FAILURE() << "ShowCanSetup did not load from " << WEXDIAL_LIBRARY;
        return -1;
    }
    DialogDriver driver(interaction);
    driver.arm();
    const int32_t result = show(owner, &record);
    EXPECT_EQ(driver.problem(), "");
    return result;
}

SetupRecord makeRecord(const char* serialNumber, int32_t bitrateKbit, int32_t btrValue) {
    SetupRecord record;
    std::memset(&record, 0, sizeof record);
    std::strncpy(record.serialNumber, serialNumber, sizeof record.serialNumber - 1);
    record.bitrateKbit = bitrateKbit;
    record.btrValue = btrValue;
    return record;
}

bool sameBytes(const SetupRecord& a, const SetupRecord& b) {
    return std::memcmp(&a, &b, sizeof a) == 0;
}

void pressOK(SetupControls& controls) {
    QTest::mouseClick(controls.ok, Qt::LeftButton);
}

void typeInto(QLineEdit* edit, const QString& text) {
    edit->selectAll();
    QTest::keyClick(edit, Qt::Key_Delete);
    QTest::keyClicks(edit, text);
}
