// Plots under full load: 20 traces fed at 1,000 points/s each through the hub the receive path feeds, a
// shown window that refreshes after every second of data. Reports the repaint (decimation and drawing),
// the cost per received frame, and the memory the rings hold.

#include "bench/benchApplication.h"
#include "link/canFrame.h"
#include "plots/frmPlot.h"
#include "plots/plotHub.h"

#include <QElapsedTimer>
#include <QFile>
#include <qcustomplot.h>

#include <benchmark/benchmark.h>

#include <cmath>
#include <cstdio>

using namespace korvel;

namespace {

constexpr int kTraces = 20;
constexpr int kPointsPerSecond = 1000;

double residentBytes() {
    QFile status(QStringLiteral("/proc/self/status"));
    if (!status.open(QIODevice::ReadOnly))
        return 0;
    for (const QByteArray& line : status.readAll().split('\n')) {
        if (line.startsWith("VmRSS:"))
            return line.mid(6).trimmed().split(' ').value(0).toDouble() * 1024.0;
    }
    return 0;
}

// One identifier per trace, each carrying a 16-bit sine of its own period.
std::vector<CanFrame> frameSet() {
    std::vector<CanFrame> frames(kTraces);
    for (int k = 0; k < kTraces; ++k) {
        char id[8];
        std::snprintf(id, sizeof id, "%03X", 0x100 + k);
        frames[static_cast<std::size_t>(k)].idText = ShortText<8>(id);
    }
    return frames;
}

// Feeds `seconds` of traffic starting at `second`.
void feed(PlotHub& hub, std::vector<CanFrame>& frames, int second, int seconds) {
    char data[16];
    for (int ms = second * 1000; ms < (second + seconds) * 1000; ++ms) {
        for (int k = 0; k < kTraces; ++k) {
            const auto value = static_cast<int>(30000 * std::sin(ms / (100.0 + 40 * k)));
            const auto word = static_cast<unsigned>(value) & 0xFFFF;
            std::snprintf(data, sizeof data, "%02X %02X", word >> 8, word & 0xFF);
            CanFrame& frame = frames[static_cast<std::size_t>(k)];
            frame.dataText = ShortText<23>(data);
            frame.timestampMs = ms % 60000;
            hub.frameReceived(frame, true, ms / 1000.0);
        }
    }
}

// Arg: seconds of data held before measuring (10 s, 100 s, 1,000 s = full 1,000,000-point rings). Each
// iteration adds one second and repaints; the repaint alone is timed.
void BM_PlotRepaintAtFullLoad(benchmark::State& state) {
    benchApplication();
    const double before = residentBytes();
    PlotHub hub;
    PlotContext context;
    context.hub = &hub;
    auto* window = new frmPlot(context, 1);
    window->resize(1200, 700);
    window->show();
    for (int k = 0; k < kTraces; ++k)
        window->addByteTrace({static_cast<uint32_t>(0x100 + k), false, ByteField::wordBigEndian, 0, 0, true});
    std::vector<CanFrame> frames = frameSet();
    const auto held = static_cast<int>(state.range(0));
    feed(hub, frames, 0, held);
    int second = held;
    double worstMs = 0;
    for (auto _ : state) {
        feed(hub, frames, second++, 1);
        QElapsedTimer timer;
        timer.start();
        window->refresh();
        window->plotView()->replot(QCustomPlot::rpImmediateRefresh);
        const double ms = timer.nsecsElapsed() / 1e6;
        worstMs = std::max(worstMs, ms);
        state.SetIterationTime(ms / 1000.0);
    }
    state.counters["worst_repaint_ms"] = worstMs;
    state.counters["points_held"] = static_cast<double>(window->session().trace(0).ring.size()) * kTraces;
    state.counters["rss_growth_MB"] = (residentBytes() - before) / 1e6;
    delete window;
}
BENCHMARK(BM_PlotRepaintAtFullLoad)
    ->Arg(10)
    ->Arg(100)
    ->Arg(1000)
    ->Iterations(20)
    ->UseManualTime()
    ->Unit(benchmark::kMillisecond);

// What a received frame costs the receive path with 20 traced identifiers in one open plot (an upper bound:
// making each frame's data text is counted too).
void BM_PlotHubPerFrame(benchmark::State& state) {
    PlotHub hub;
    PlotSession session;
    hub.attach(&session);
    for (int k = 0; k < kTraces; ++k)
        session.addTrace({static_cast<uint32_t>(0x100 + k), false, ByteField::wordBigEndian, 0, 0, true});
    std::vector<CanFrame> frames = frameSet();
    int second = 0;
    for (auto _ : state) {
        feed(hub, frames, second++, 1);
        if (second * kPointsPerSecond >= 1'000'000) {
            session.clearPoints();
            second = 0;
        }
    }
    state.SetItemsProcessed(state.iterations() * kTraces * kPointsPerSecond);
}
BENCHMARK(BM_PlotHubPerFrame)->Unit(benchmark::kMillisecond);

} // namespace
