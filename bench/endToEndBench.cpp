// End to end: korvel-sim streams at a fixed rate over a pseudo-terminal; Korvel's transport, poll and Monitor
// (with a shown list view) take it in with the real 100 ms timer. Reports the frames the adapter sent and the
// ones it dropped for want of room (overruns) against the sum of the Monitor's counts, the worst poll tick
// and the CPU share of one core. Both are loss: a frame the adapter had to drop never reached the user
// either.

#include "bench/benchApplication.h"
#include "core/basGlobal.h"
#include "link/connection.h"
#include "link/transport.h"
#include "receive/monitorFold.h"
#include "receive/monitorModel.h"
#include "receive/receivePoll.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QProcess>
#include <QRegularExpression>
#include <QTableView>
#include <QTemporaryFile>
#include <QTimer>

#include <benchmark/benchmark.h>

#include <sys/resource.h>

using namespace korvel;

namespace {

double cpuSeconds() {
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    return static_cast<double>(usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) +
           static_cast<double>(usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6;
}

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
        sim.start(QStringLiteral(KORVEL_SIM_PATH),
                  {QStringLiteral("--scenario"), scenario.fileName(), QStringLiteral("--link"), QString()});
        if (!sim.waitForStarted() || !sim.waitForReadyRead(5000)) {
            state.SkipWithError("korvel-sim did not start");
            return;
        }
        const QString path = QString::fromUtf8(sim.readLine()).trimmed();

        basGlobal = GlobalState{};
        initialiseGlobals(basGlobal, {}, '.');
        basGlobal.deviceKind = deviceCom;
        basGlobal.comPort = path.toStdString();
        basGlobal.comBaudrate = "57600";
        basGlobal.canBitrateIndex = 6;
        basGlobal.acceptanceMaskText = "0";
        basGlobal.acceptanceCodeText = "0";
        basGlobal.discreteFilterText.assign(1, '0');

        QTimer tick;
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
        } else {
            if (!transport.openTransport({deviceCom, path.toStdString(), "57600", false})) {
                state.SkipWithError("cannot open the pseudo-terminal");
                return;
            }
            transport.sendCommand("S6");
            transport.sendCommand("O");
            basGlobal.isConnected = true;
        }

        MonitorModel model;
        QTableView view;
        view.setModel(&model);
        view.resize(900, 500);
        view.show();
        rowLastTimesAscii.clear();
        ReceivePoll poll(basGlobal, transport, model, {});

        double worstTickMs = 0;
        tick.setInterval(100);
        QObject::connect(&tick, &QTimer::timeout, [&] {
            QElapsedTimer t;
            t.start();
            poll.receiveAsciiFrames();
            QApplication::processEvents(); // the view repaints as it would after a tick
            worstTickMs = std::max(worstTickMs, static_cast<double>(t.nsecsElapsed()) / 1e6);
        });

        const double cpuStart = cpuSeconds();
        QElapsedTimer wall;
        wall.start();
        tick.start();
        QEventLoop loop;
        QTimer::singleShot((kStreamSeconds + 1) * 1000, &loop, &QEventLoop::quit);
        loop.exec();
        tick.stop();
        const double cpuShare = (cpuSeconds() - cpuStart) / (static_cast<double>(wall.nsecsElapsed()) / 1e9);

        sim.terminate();
        sim.waitForFinished(5000);
        const QString stats = QString::fromUtf8(sim.readAllStandardError());
        const double sent = statistic(stats, "frames sent");
        const double overruns = statistic(stats, "overruns");

        double counted = 0;
        for (int r = 0; r < model.rowCount(); ++r)
            counted += static_cast<double>(model.rowAt(r)->count);

        state.counters["sent"] = sent;
        state.counters["overruns"] = overruns;
        state.counters["counted"] = counted;
        state.counters["lost"] = sent + overruns - counted;
        state.counters["worst_tick_ms"] = worstTickMs;
        state.counters["cpu_percent"] = cpuShare * 100.0;
        state.counters["rows"] = model.rowCount();
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
