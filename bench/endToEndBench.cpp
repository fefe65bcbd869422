// End to end: korvel-sim streams at a fixed rate over a pseudo-terminal; Korvel's transport, poll and Monitor
// (with a shown list view) take it in with the real 100 ms timer. Reports the frames the adapter sent and the
// ones it dropped for want of room (overruns) against the sum of the Monitor's counts, the worst poll tick
// and the CPU share of one core. Both are loss: a frame the adapter had to drop never reached the user
// either.

#include "bench/benchApplication.h"
#include "bench/benchSupport.h"
#include "core/basGlobal.h"
#include "link/connection.h"
#include "link/transport.h"
#include "receive/monitorFold.h"
#include "receive/receivePoll.h"

#include <QProcess>
#include <QRegularExpression>
#include <QTemporaryFile>

#include <benchmark/benchmark.h>

using namespace korvel;
using namespace korvel::bench;

namespace {

double statistic(const QString& stats, const char* name) {
    const QRegularExpressionMatch match =
        QRegularExpression(QStringLiteral("(\\d+) ") + QLatin1String(name)).match(stats);
    return match.hasMatch() ? match.captured(1).toDouble() : -1;
}

enum class Start {
    Direct,       // the bitrate and open commands only, before traffic begins
    FullSequence, // the whole connection sequence; the bus is busy from the first open command on
};

void runEndToEnd(benchmark::State& state, Start start) {
    benchApplication();
    const int rate = static_cast<int>(state.range(0));
    constexpr int kStreamSeconds = 5;

    for (auto _ : state) {
        QTemporaryFile scenario;
        scenario.open();
        scenario.write(
            QStringLiteral("rate %1\nat %2s fault silent\n").arg(rate).arg(kStreamSeconds).toUtf8());
        scenario.flush();

        QProcess sim;
        const QString path = startSim(
            sim, {QStringLiteral("--scenario"), scenario.fileName(), QStringLiteral("--link"), QString()});
        if (path.isEmpty()) {
            state.SkipWithError("korvel-sim did not start");
            return;
        }

        resetGlobals(deviceCom);
        basGlobal.comPort = path.toStdString();
        basGlobal.comBaudrate = "57600";
        basGlobal.canBitrateIndex = 6;
        basGlobal.acceptanceMaskText = "0";
        basGlobal.acceptanceCodeText = "0";

        LinkWindow window;
        window.showConnectedState = [] {
            basGlobal.isConnected = true;
        };
        window.showDisconnectedState = [] {
            basGlobal.isConnected = false;
        };
        window.setStatusText = [](int, const QString&) {
        };
        window.setConnectEnabled = [](bool) {
        };
        window.setPollTimerEnabled = [](bool) {
        };
        window.stopTransmitTimers = [] {
        };
        window.clearMonitor = [] {
        };
        window.resetTransmitCounts = [] {
        };
        LinkController link(basGlobal, std::move(window));
        LinkTransport& transport = link.transport();
        if (start == Start::FullSequence) {
            link.connectLink();
            if (!basGlobal.isConnected) {
                state.SkipWithError("the connection sequence failed");
                return;
            }
        } else if (!openSerialAdapter(transport, path.toStdString())) {
            state.SkipWithError("cannot open the pseudo-terminal");
            return;
        }

        ShownMonitor monitor(500);
        rowLastTimesAscii.clear();
        ReceivePoll poll(basGlobal, transport, monitor.model, {});

        TickedRun ticks([&poll] { poll.receiveAsciiFrames(); }, CpuOf::Process);
        ticks.run((kStreamSeconds + 1) * 1000);
        const double cpuShare = ticks.cpuShare();

        sim.terminate();
        sim.waitForFinished(5000);
        const QString stats = QString::fromUtf8(sim.readAllStandardError());
        const double sent = statistic(stats, "frames sent");
        const double overruns = statistic(stats, "overruns");
        const double counted = monitor.countedFrames();

        state.counters["sent"] = sent;
        state.counters["overruns"] = overruns;
        state.counters["counted"] = counted;
        state.counters["lost"] = sent + overruns - counted;
        state.counters["worst_tick_ms"] = ticks.worstTickMs();
        state.counters["cpu_percent"] = cpuShare * 100.0;
        state.counters["rows"] = monitor.model.rowCount();
    }
}

void BM_EndToEndOverPty(benchmark::State& state) {
    runEndToEnd(state, Start::Direct);
}
BENCHMARK(BM_EndToEndOverPty)->Arg(20000)->Arg(100000)->Iterations(1)->Unit(benchmark::kSecond);

// Connecting to a busy bus: frames flow while the sequence still sends its open commands.
void BM_EndToEndConnectWhileStreaming(benchmark::State& state) {
    runEndToEnd(state, Start::FullSequence);
}
BENCHMARK(BM_EndToEndConnectWhileStreaming)->Arg(5000)->Arg(20000)->Iterations(1)->Unit(benchmark::kSecond);

} // namespace
