// Replay timing: 1,000 recorded lines with gaps of 1 to 10 ms are played over a pseudo-terminal to the
// virtual adapter, which notes when each frame arrives. Reports the mean and the worst difference between
// the achieved gaps and the recorded ones, and the CPU share of one core while playing.

#include "bench/benchApplication.h"
#include "bench/benchSupport.h"
#include "core/basGlobal.h"
#include "link/transport.h"
#include "sim/ptyAdapter.h"
#include "traces/replay.h"

#include <QElapsedTimer>

#include <benchmark/benchmark.h>

#include <cmath>
#include <cstdio>
#include <random>

using namespace korvel;
using namespace korvel::bench;

namespace {

void BM_ReplayTiming(benchmark::State& state) {
    benchApplication();
    constexpr int kLines = 1000;

    for (auto _ : state) {
        sim::PtyAdapter adapter;
        adapter.engine().setVehicleEnabled(false);
        basGlobal = GlobalState{};
        initialiseGlobals(basGlobal, {}, '.');
        LinkTransport transport;
        if (!openSerialAdapter(transport, adapter.slavePath().toStdString())) {
            state.SkipWithError("cannot open the pseudo-terminal");
            return;
        }

        std::mt19937 random(7);
        std::uniform_int_distribution<int> gapMs(1, 10);
        std::vector<std::string> lines;
        std::vector<int> recordedMs;
        int timeMs = 1000;
        for (int i = 0; i < kLines; ++i) {
            char line[64];
            std::snprintf(line, sizeof line, "%02d.%03d 123      2 11 22", timeMs / 1000 % 100,
                          timeMs % 1000);
            lines.emplace_back(line);
            recordedMs.push_back(timeMs);
            timeMs += gapMs(random);
        }

        TracerStore store;
        for (std::size_t i = 0; i < lines.size(); ++i)
            store.append((i ? "\r\n" : "") + lines[i]);
        ReplayScript script;
        script.lines = [&]() -> const TracerStore& {
            return store;
        };
        script.selectionStartLine = [] {
            return 0;
        };
        script.selectLine = [](int) {
        };
        script.focus = [] {
        };
        ReplayHooks hooks;
        hooks.send = [&](const TraceFrame& frame) {
            return sendTraceFrame(transport, deviceCom, frame);
        };
        hooks.wait = waitInEventLoop;
        TraceReplay replay(basGlobal, std::move(script), std::move(hooks));

        const double cpuStart = cpuSeconds(CpuOf::Process);
        QElapsedTimer wall;
        wall.start();
        basGlobal.isReplaying = true;
        replay.replayLines(ReplayMode::all);
        basGlobal.isReplaying = false;
        const double cpuShare =
            (cpuSeconds(CpuOf::Process) - cpuStart) / (static_cast<double>(wall.nsecsElapsed()) / 1e9);
        for (int i = 0; i < 50 && adapter.engine().transmittedTimesUs().size() < kLines; ++i)
            waitInEventLoop(0.01);

        const std::vector<int64_t> arrived = adapter.engine().transmittedTimesUs();
        if (arrived.size() != kLines) {
            state.SkipWithError("not every frame arrived");
            return;
        }
        double sum = 0;
        double worst = 0;
        for (int i = 1; i < kLines; ++i) {
            const double achievedMs = static_cast<double>(arrived[i] - arrived[i - 1]) / 1000.0;
            const double error = std::abs(achievedMs - (recordedMs[i] - recordedMs[i - 1]));
            sum += error;
            worst = std::max(worst, error);
        }
        state.counters["mean_error_ms"] = sum / (kLines - 1);
        state.counters["worst_error_ms"] = worst;
        state.counters["cpu_percent"] = cpuShare * 100.0;
        state.counters["recorded_s"] = (recordedMs.back() - recordedMs.front()) / 1000.0;
        transport.closeTransport();
        basGlobal = GlobalState{};
    }
}
BENCHMARK(BM_ReplayTiming)->Iterations(1)->Unit(benchmark::kSecond);

} // namespace
