// Loading and saving 1,000,000 frames as a candump log and as an ASC file, from and to a real file: the
// Tracer's text to the log file (conversion and atomic write), and the log file to the Tracer's text. The
// timed saves write a recording whose lines carry their wall-clock time of reception, as the Tracer's
// store holds them, against the same lines without (the time fields only).

#include "core/textFile.h"
#include "receive/tracerStore.h"
#include "traces/logFiles.h"

#include <QTemporaryDir>

#include <benchmark/benchmark.h>

#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

using namespace korvel;

namespace {

constexpr int kFrames = 1'000'000;

// A recording's mix: standard and extended identifiers, every length, a few remote frames, 1 ms apart.
const std::string& tracerText() {
    static const std::string text = [] {
        std::string candump;
        candump.reserve(kFrames * 45u);
        char line[96];
        for (int n = 0; n < kFrames; ++n) {
            const int seconds = 1700000000 + n / 1000;
            const int micros = n % 1000 * 1000;
            if (n % 50 == 0)
                std::snprintf(line, sizeof line, "(%d.%06d) can0 %03X#R\n", seconds, micros, n % 0x7FF);
            else if (n % 4 == 0)
                std::snprintf(line, sizeof line, "(%d.%06d) can0 %08X#%016X\n", seconds, micros,
                              0x18FEF100 + n % 64, n);
            else if (n % 9 == 0)
                std::snprintf(line, sizeof line, "(%d.%06d) can0 %03X#\n", seconds, micros, n % 0x7FF);
            else
                std::snprintf(line, sizeof line, "(%d.%06d) can0 %03X#%0*X\n", seconds, micros, n % 0x7FF,
                              2 * (n % 9), n % 256);
            candump += line;
        }
        return loadLogText(LogFormat::candump, candump, {}).tracerText;
    }();
    return text;
}

QTemporaryDir& folder() {
    static QTemporaryDir dir;
    return dir;
}

std::string pathFor(LogFormat format) {
    return folder()
        .filePath(format == LogFormat::asc ? QStringLiteral("bench.asc") : QStringLiteral("bench.log"))
        .toStdString();
}

void BM_SaveLog(benchmark::State& state, LogFormat format) {
    const std::string& tracer = tracerText();
    const std::string path = pathFor(format);
    const TracerLineSource lines = tracerTextLines(tracer);
    std::size_t bytes = 0;
    for (auto _ : state) {
        // As the Save Trace command saves: formatted a block at a time into the atomic save.
        LogSaveResult saved;
        bytes = 0;
        const bool written = writeFileAtomically(path, [&](const ByteSink& write) {
            return writeLogFromTracer(
                format, lines, "Tue Dec 08 03:22:23.000 am 2026",
                [&](std::string_view block) {
                    bytes += block.size();
                    return write(block);
                },
                saved);
        });
        if (!written || saved.frames != kFrames)
            state.SkipWithError("save failed");
    }
    state.counters["frames/s"] = benchmark::Counter(kFrames, benchmark::Counter::kIsIterationInvariantRate);
    state.counters["file MB"] = static_cast<double>(bytes) / 1e6;
}

void BM_LoadLog(benchmark::State& state, LogFormat format) {
    const std::string path = pathFor(format);
    if (!writeTextFileAtomically(
            path, logTextFromTracer(format, tracerText(), "Tue Dec 08 03:22:23.000 am 2026").text)) {
        state.SkipWithError("cannot write the log");
        return;
    }
    for (auto _ : state) {
        LogLoadResult loaded;
        if (!loadLogFile(format, path, {}, loaded) || loaded.frames != kFrames || loaded.skippedLines() != 0)
            state.SkipWithError("load failed");
        benchmark::DoNotOptimize(loaded.tracerText.data());
    }
    state.counters["frames/s"] = benchmark::Counter(kFrames, benchmark::Counter::kIsIterationInvariantRate);
}

// The recording in the Tracer's store, each line received 1 ms after the one before, or with no times.
const TracerStore& storeOf(bool timed) {
    static const auto build = [](bool withTimes) {
        TracerStore store;
        const std::string& text = tracerText();
        std::vector<std::int64_t> times;
        if (withTimes) {
            for (int n = 0; n <= kFrames; ++n)
                times.push_back(1'700'000'000'000'000 + std::int64_t{n} * 1000);
        }
        store.append(text, times);
        return store;
    };
    static const TracerStore timedStore = build(true);
    static const TracerStore untimedStore = build(false);
    return timed ? timedStore : untimedStore;
}

void BM_SaveStore(benchmark::State& state, LogFormat format, bool timed) {
    const TracerStore& store = storeOf(timed);
    const std::string path = pathFor(format);
    const TracerTimedLineSource lines = [&store](const TracerTimedLineVisit& visit) {
        store.forEachTimedLine([&visit](std::string_view line, std::int64_t timeUs) {
            visit(line, timeUs);
            return true;
        });
    };
    for (auto _ : state) {
        LogSaveResult saved;
        const bool written = writeFileAtomically(path, [&](const ByteSink& write) {
            return writeLogFromTracer(format, lines, "Tue Dec 08 03:22:23.000 am 2026", write, saved);
        });
        if (!written || saved.frames != kFrames)
            state.SkipWithError("save failed");
    }
    state.counters["frames/s"] = benchmark::Counter(kFrames, benchmark::Counter::kIsIterationInvariantRate);
    state.counters["storeBytesPerLine"] =
        static_cast<double>(store.memoryBytes()) / static_cast<double>(store.lineCount());
}

BENCHMARK_CAPTURE(BM_SaveLog, candump, LogFormat::candump)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(BM_LoadLog, candump, LogFormat::candump)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(BM_SaveLog, asc, LogFormat::asc)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(BM_LoadLog, asc, LogFormat::asc)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(BM_SaveStore, candumpUntimed, LogFormat::candump, false)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(BM_SaveStore, candumpTimed, LogFormat::candump, true)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(BM_SaveStore, ascTimed, LogFormat::asc, true)->Unit(benchmark::kMillisecond);

} // namespace
