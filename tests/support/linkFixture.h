#pragma once

// A link controller wired to a recording stand-in for the main window, the virtual adapter on a real
// pseudo-terminal, the fake vendor libraries' controls, and a command clock that runs fast.

#include "core/basGlobal.h"
#include "link/connection.h"
#include "sim/adapterEngine.h"
#include "sim/ptyAdapter.h"
#include "support/scriptedPrompts.h"

#include <QLibrary>
#include <QStringList>

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

namespace korvel::test {

struct WindowRecord {
    QStringList panel1;
    QString panel2;
    bool pollTimer = false;
    bool connectEnabled = true;
    int transmitTimerStops = 0;
    int monitorClears = 0;
    int countResets = 0;
};

// Resolves a control function of a fake vendor library, loaded by the same name the binding uses.
template <typename Fn> Fn fakeControl(const char* library, const char* name) {
    QLibrary lib(QString::fromLatin1(library));
    lib.load();
    auto fn = reinterpret_cast<Fn>(lib.resolve(name));
    EXPECT_NE(fn, nullptr) << name;
    return fn;
}

inline sim::AdapterEngine* ftdiEngine() {
    return static_cast<sim::AdapterEngine*>(
        fakeControl<void* (*)()>("libftd2xx.so", "korvelFakeFtdi_engine")());
}
inline sim::AdapterEngine* pcanEngine() {
    return static_cast<sim::AdapterEngine*>(
        fakeControl<void* (*)()>("libpcanbasic.so", "korvelFakePcan_engine")());
}

class LinkFixture : public ::testing::Test {
protected:
    void SetUp() override;
    void TearDown() override;

    // Sets up the state for a device kind: COM on the pseudo-terminal, USB on the fake's first device.
    void useDevice(int kind);
    std::vector<std::string> adapterLog() const;
    sim::AdapterEngine& engine();

    PromptsScope prompts;
    WindowRecord window;
    std::unique_ptr<sim::PtyAdapter> pty;
    std::unique_ptr<LinkController> link;
    double clock = 1000.0;
};

} // namespace korvel::test
