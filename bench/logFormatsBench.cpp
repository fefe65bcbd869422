// Loading and saving 1,000,000 frames as a candump log and as an ASC file, from and to a real file: the
// Tracer's text to the log file (conversion and atomic write), and the log file to the Tracer's text.

#include "core/textFile.h"
#include "traces/logFiles.h"

#include <QTemporaryDir>

#include <benchmark/benchmark.h>

#include <cstdio>
#include <string>

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

BENCHMARK_CAPTURE(BM_SaveLog, candump, LogFormat::candump)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(BM_LoadLog, candump, LogFormat::candump)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(BM_SaveLog, asc, LogFormat::asc)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(BM_LoadLog, asc, LogFormat::asc)->Unit(benchmark::kMillisecond);

} // namespace
