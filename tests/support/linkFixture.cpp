#include "support/linkFixture.h"

#include "link/transport.h"

namespace korvel::test {

void LinkFixture::SetUp() {
    basGlobal = GlobalState{};
    initialiseGlobals(basGlobal, {}, '.');
    basGlobal.comBaudrate = "57600";
    basGlobal.setOption(optRiskAccepted, true);
    basGlobal.canBitrateIndex = 6;
    basGlobal.acceptanceMaskText = "0";
    basGlobal.acceptanceCodeText = "0";

    // Every reading of the command clock moves it on a quarter second, so a 3-second budget passes
    // after a dozen short waits instead of three real seconds.
    setClockSeconds([this] { return clock += 0.25; });

    fakeControl<void (*)()>("libftd2xx.so", "korvelFakeFtdi_reset")();
    fakeControl<void (*)()>("libpcanbasic.so", "korvelFakePcan_reset")();

    pty = std::make_unique<sim::PtyAdapter>();
    ASSERT_TRUE(pty->isOpen()) << pty->errorString().toStdString();

    LinkWindow w;
    w.showConnectedState = [this] {
        basGlobal.isConnected = true;
        window.panel1 << QStringLiteral("Connected to ") +
                             QString::fromStdString(bitrateName(basGlobal.canBitrateIndex));
    };
    w.showDisconnectedState = [this] {
        basGlobal.isConnected = false;
        window.panel1 << QStringLiteral("Not Connected");
        window.panel2.clear();
    };
    w.setStatusText = [this](int panel, const QString& text) {
        if (panel == 1)
            window.panel1 << text;
        if (panel == 2)
            window.panel2 = text;
    };
    w.setConnectEnabled = [this](bool on) {
        window.connectEnabled = on;
    };
    w.setPollTimerEnabled = [this](bool on) {
        window.pollTimer = on;
    };
    w.stopTransmitTimers = [this] {
        ++window.transmitTimerStops;
    };
    w.clearMonitor = [this] {
        ++window.monitorClears;
    };
    w.resetTransmitCounts = [this] {
        ++window.countResets;
    };
    link = std::make_unique<LinkController>(basGlobal, std::move(w));
}

void LinkFixture::TearDown() {
    link.reset();
    pty.reset();
    setClockSeconds({});
    basGlobal = GlobalState{};
}

void LinkFixture::useDevice(int kind) {
    basGlobal.deviceKind = kind;
    if (kind == deviceCom)
        basGlobal.comPort = pty->slavePath().toStdString();
    else if (kind == deviceUsb)
        basGlobal.comPort = "KV000001";
}

sim::AdapterEngine& LinkFixture::engine() {
    switch (basGlobal.deviceKind) {
    case deviceUsb:
        return *ftdiEngine();
    case devicePeakUsb:
        return *pcanEngine();
    default:
        return pty->engine();
    }
}

std::vector<std::string> LinkFixture::adapterLog() const {
    return const_cast<LinkFixture*>(this)->engine().commandLog();
}

} // namespace korvel::test
