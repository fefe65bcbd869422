// Periodic transmit timing, measured where it matters: korvel-sim records when each frame arrives from
// Korvel while it streams 5,000 received frames/s, which Korvel's real poll and Monitor take in. Rows of
// 10 ms and 100 ms, 1, 10 and 100 of them. Reports the achieved mean period (and the worst row's error), the
// jitter of the intervals against the set period (p50, p99, worst), the periods that passed without a frame,
// and bursts: three frames of one row within one period, which catching up after a stall would give.

#include "bench/benchApplication.h"
#include "bench/benchSupport.h"
#include "core/basGlobal.h"
#include "link/transport.h"
#include "receive/monitorFold.h"
#include "receive/receivePoll.h"
#include "transmit/transmitList.h"

#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QTableView>
#include <QTemporaryDir>
#include <QTimer>

#include <benchmark/benchmark.h>

#include <algorithm>
#include <cmath>
#include <map>

using namespace korvel;
using namespace korvel::bench;

namespace {

struct Timing {
    double meanPeriodMs = 0;
    double worstMeanErrorPercent = 0;
    double p50 = 0;
    double p99 = 0;
    double worst = 0;
    double missed = 0;
    double bursts = 0;
    double frames = 0;
};

using TimesPerRow = std::map<QByteArray, std::vector<int64_t>>;

// Arrival lines "<microseconds> <identifier>" of the rows' identifiers, grouped per row.
TimesPerRow arrivalsIn(const QString& path) {
    TimesPerRow perRow;
    QFile file(path);
    if (file.open(QIODevice::ReadOnly)) {
        while (!file.atEnd()) {
            const QList<QByteArray> parts = file.readLine().trimmed().split(' ');
            if (parts.size() == 2)
                perRow[parts[1]].push_back(parts[0].toLongLong());
        }
    }
    return perRow;
}

Timing analyse(const TimesPerRow& perRow, int periodMs) {
    Timing t;
    std::vector<double> jitter;
    double meanSum = 0;
    int rows = 0;
    const double period = periodMs * 1000.0;
    for (const auto& [id, times] : perRow) {
        t.frames += static_cast<double>(times.size());
        if (times.size() < 3)
            continue;
        const double mean =
            static_cast<double>(times.back() - times.front()) / static_cast<double>(times.size() - 1);
        meanSum += mean;
        ++rows;
        t.worstMeanErrorPercent = std::max(t.worstMeanErrorPercent, std::abs(mean - period) / period * 100.0);
        for (std::size_t i = 1; i < times.size(); ++i) {
            const double interval = static_cast<double>(times[i] - times[i - 1]);
            jitter.push_back(std::abs(interval - period) / 1000.0);
            if (i >= 2 && static_cast<double>(times[i] - times[i - 2]) < period)
                ++t.bursts;
        }
        const double periods = std::round(static_cast<double>(times.back() - times.front()) / period);
        t.missed += std::max(0.0, periods - static_cast<double>(times.size() - 1));
    }
    if (rows == 0 || jitter.empty())
        return t;
    t.meanPeriodMs = meanSum / rows / 1000.0;
    std::sort(jitter.begin(), jitter.end());
    const auto at = [&jitter](double q) {
        return jitter[std::min(jitter.size() - 1,
                               static_cast<std::size_t>(q * static_cast<double>(jitter.size())))];
    };
    t.p50 = at(0.50);
    t.p99 = at(0.99);
    t.worst = jitter.back();
    return t;
}

void BM_PeriodicTransmitTiming(benchmark::State& state) {
    benchApplication();
    const int rows = static_cast<int>(state.range(0));
    const int periodMs = static_cast<int>(state.range(1));
    const int runMs = periodMs <= 10 ? 6000 : 12000;

    for (auto _ : state) {
        QTemporaryDir dir;
        const QString arrivals = dir.filePath(QStringLiteral("arrivals.txt"));
        QProcess sim;
        const QString path = startSim(
            sim, {QStringLiteral("--rate"), QStringLiteral("5000"), QStringLiteral("--arrivals"), arrivals});
        if (path.isEmpty()) {
            state.SkipWithError("korvel-sim did not start");
            return;
        }

        resetGlobals(deviceCom);
        LinkTransport transport;
        if (!openSerialAdapter(transport, path.toStdString())) {
            state.SkipWithError("cannot open the pseudo-terminal");
            return;
        }

        // The receive side as the window runs it: the poll every 100 ms into a shown Monitor.
        ShownMonitor monitor(400);
        rowLastTimesAscii.clear();
        ReceivePoll poll(basGlobal, transport, monitor.model, {});
        QTimer tick;
        tick.setInterval(100);
        QObject::connect(&tick, &QTimer::timeout, [&] { poll.receiveAsciiFrames(); });

        // Korvel's own send times too: a stall of the virtual adapter delivers frames sent on time together,
        // which looks like a burst at its side only.
        TimesPerRow sent;
        QElapsedTimer sendClock;
        sendClock.start();
        TransmitList list(basGlobal);
        list.setHooks({[&](std::string_view id, std::string_view dlc, std::string_view data, int) {
            sent[QByteArray(id.data(), static_cast<qsizetype>(id.size()))].push_back(
                sendClock.nsecsElapsed() / 1000);
            transport.writeFrame(id, dlc, data);
            return true;
        }});
        for (int r = 0; r < rows; ++r) {
            list.addTxRow();
            list.editSelected([r, periodMs](TxRow& row) {
                row.id = QStringLiteral("%1").arg(0x100 + r, 3, 16, QLatin1Char('0')).toUpper().toStdString();
                row.period = periodMs;
            });
        }
        QTableView listView;
        listView.setModel(&list.model());
        listView.resize(700, 300);
        listView.show();

        tick.start();
        list.sendAllPeriodic();
        runEventLoopFor(runMs);
        list.stopAllTimers();
        tick.stop();

        sim.terminate();
        sim.waitForFinished(10000);
        const Timing t = analyse(arrivalsIn(arrivals), periodMs);
        const Timing atKorvel = analyse(sent, periodMs);
        state.counters["mean_period_ms"] = t.meanPeriodMs;
        state.counters["mean_error_pct"] = t.worstMeanErrorPercent;
        state.counters["jitter_p50_ms"] = t.p50;
        state.counters["jitter_p99_ms"] = t.p99;
        state.counters["jitter_worst_ms"] = t.worst;
        state.counters["missed_periods"] = t.missed;
        state.counters["bursts"] = t.bursts;
        state.counters["frames"] = t.frames;
        state.counters["sent_jitter_p99_ms"] = atKorvel.p99;
        state.counters["sent_jitter_worst_ms"] = atKorvel.worst;
        state.counters["sent_bursts"] = atKorvel.bursts;
        transport.closeTransport();
    }
}
BENCHMARK(BM_PeriodicTransmitTiming)
    ->ArgNames({"rows", "period_ms"})
    ->ArgsProduct({{1, 10, 100}, {10, 100}})
    ->Iterations(1)
    ->Unit(benchmark::kSecond);

} // namespace
