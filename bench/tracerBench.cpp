// The Tracer under a long recording: 1,000,000 lines arriving in 100 ms polls of 2,000 lines each, into a
// shown text box that repaints after every poll. Reports the worst poll and the memory each line costs.

#include "bench/benchApplication.h"
#include "link/canFrame.h"
#include "receive/tracerLine.h"
#include "receive/tracerView.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QPlainTextEdit>

#include <benchmark/benchmark.h>

#include <algorithm>
#include <cstdio>
#include <string>

using namespace korvel;

namespace {

// Resident memory of this process in bytes, from /proc (0 where there is none).
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

std::string pollBatch(int poll, int lines) {
    std::string batch;
    batch.reserve(static_cast<std::size_t>(lines) * 50);
    char line[64];
    for (int i = 0; i < lines; ++i) {
        const int n = poll * lines + i;
        if (n % 4 == 0)
            std::snprintf(line, sizeof line, "T%08X8%016X%04X", 0x18FEF100 + n % 64, n, n % 60000);
        else
            std::snprintf(line, sizeof line, "t%03X%d%0*X%04X", n % 0x7FF, n % 9, 2 * (n % 9), n % 256,
                          n % 60000);
        const CanFrame f = decodeFrameLine(line, '.').value();
        appendTracerLine(batch, f, f.timestampText.view(), n % 8 == 0 ? "Engine speed" : "");
    }
    return batch;
}

void BM_TracerMillionLines(benchmark::State& state) {
    benchApplication();
    constexpr int kLinesPerPoll = 2000;
    constexpr int kPolls = 500;
    for (auto _ : state) {
        state.PauseTiming();
        auto* edit = new QPlainTextEdit;
        edit->setLineWrapMode(QPlainTextEdit::NoWrap);
        edit->resize(1000, 500);
        edit->show();
        auto* view = new TracerView(edit); // owned by the text box
        QCoreApplication::processEvents();
        const double before = residentBytes();
        double worst = 0;
        double total = 0;
        state.ResumeTiming();
        for (int poll = 0; poll < kPolls; ++poll) {
            state.PauseTiming();
            const std::string batch = pollBatch(poll, kLinesPerPoll);
            state.ResumeTiming();
            QElapsedTimer timer;
            timer.start();
            view->appendTracerText(batch);
            QCoreApplication::processEvents(); // layout and repaint, as the event loop would after the poll
            const double ms = static_cast<double>(timer.nsecsElapsed()) / 1e6;
            worst = std::max(worst, ms);
            total += ms;
        }
        state.PauseTiming();
        const double after = residentBytes();
        state.counters["lines"] = edit->document()->blockCount() - 1;
        state.counters["worstPollMs"] = worst;
        state.counters["meanPollMs"] = total / kPolls;
        state.counters["bytesPerLine"] = (after - before) / (kPolls * kLinesPerPoll);
        delete edit;
        state.ResumeTiming();
    }
}

void BM_TracerBatchText(benchmark::State& state) {
    int poll = 0;
    for (auto _ : state)
        benchmark::DoNotOptimize(pollBatch(poll++, 2000));
}

} // namespace

BENCHMARK(BM_TracerMillionLines)->Iterations(1)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_TracerBatchText)->Unit(benchmark::kMicrosecond);
