// The Tracer under a long recording: lines arriving in 100 ms polls of 2,000 lines each (20,000 frames/s)
// into a shown Tracer that repaints after every poll. Reports the worst poll, the memory each line costs,
// and, at that length, the worst click on a line, scroll, typed character, and the save and load of the
// trace file. The search benchmark looks through 10,000,000 lines for what none of them holds (the longest
// a search takes), by text, identifier and data pattern.

#include "bench/benchApplication.h"
#include "link/canFrame.h"
#include "receive/tracerEdit.h"
#include "receive/tracerLine.h"
#include "receive/tracerSearch.h"
#include "receive/tracerView.h"
#include "traces/traceFile.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QFontDatabase>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QScrollBar>
#include <QTemporaryDir>

#include <benchmark/benchmark.h>

#include <algorithm>
#include <cstdio>
#include <ctime>
#include <functional>
#include <string>
#include <utility>
#include <vector>

using namespace korvel;

namespace {

constexpr int kLinesPerPoll = 2000;

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
        else if (n % 9 == 0) // no data bytes: no data digits
            std::snprintf(line, sizeof line, "t%03X0%04X", n % 0x7FF, n % 60000);
        else
            std::snprintf(line, sizeof line, "t%03X%d%0*X%04X", n % 0x7FF, n % 9, 2 * (n % 9), n % 256,
                          n % 60000);
        const CanFrame f = decodeFrameLine(line, '.').value();
        appendTracerLine(batch, f, f.timestampText.view(), n % 8 == 0 ? "Engine speed" : "");
    }
    return batch;
}

void click(QWidget* viewport, QPoint at) {
    for (QEvent::Type type : {QEvent::MouseButtonPress, QEvent::MouseButtonRelease}) {
        QMouseEvent event(type, at, viewport->mapToGlobal(at), Qt::LeftButton,
                          type == QEvent::MouseButtonPress ? Qt::LeftButton : Qt::NoButton, Qt::NoModifier);
        QCoreApplication::sendEvent(viewport, &event);
    }
}

void type(QWidget* widget, Qt::Key key, const QString& text) {
    QKeyEvent press(QEvent::KeyPress, key, Qt::NoModifier, text);
    QCoreApplication::sendEvent(widget, &press);
    QKeyEvent release(QEvent::KeyRelease, key, Qt::NoModifier, text);
    QCoreApplication::sendEvent(widget, &release);
}

// The worst wall and processor time of `times` runs of `work`, each followed by the event loop's layout
// and repaint, in ms.
struct Worst {
    double wallMs = 0;
    double cpuMs = 0;
};
Worst worstOf(int times, const std::function<void(int)>& work) {
    Worst worst;
    for (int i = 0; i < times; ++i) {
        QElapsedTimer timer;
        timer.start();
        const std::clock_t cpuStart = std::clock();
        work(i);
        QCoreApplication::processEvents();
        worst.wallMs = std::max(worst.wallMs, static_cast<double>(timer.nsecsElapsed()) / 1e6);
        worst.cpuMs =
            std::max(worst.cpuMs, 1000.0 * static_cast<double>(std::clock() - cpuStart) / CLOCKS_PER_SEC);
    }
    return worst;
}

void report(benchmark::State& state, const char* name, Worst worst) {
    state.counters[std::string(name) + "Ms"] = worst.wallMs;
    state.counters[std::string(name) + "CpuMs"] = worst.cpuMs;
}

void BM_TracerRecording(benchmark::State& state) {
    benchApplication();
    const auto polls = static_cast<int>(state.range(0) / kLinesPerPoll);
    for (auto _ : state) {
        state.PauseTiming();
        auto* edit = new TracerEdit;
        edit->setFont(QFontDatabase::systemFont(QFontDatabase::FixedFont));
        edit->resize(1000, 500);
        edit->show();
        auto* view = new TracerView(edit); // owned by the text box
        QCoreApplication::processEvents();
        const double before = residentBytes();
        double worst = 0;
        double worstCpu = 0; // the processor time of the worst poll: what a busy machine does not add
        double total = 0;
        state.ResumeTiming();
        for (int poll = 0; poll < polls; ++poll) {
            state.PauseTiming();
            const std::string batch = pollBatch(poll, kLinesPerPoll);
            state.ResumeTiming();
            QElapsedTimer timer;
            timer.start();
            const std::clock_t cpuStart = std::clock();
            view->appendTracerText(batch);
            QCoreApplication::processEvents(); // layout and repaint, as the event loop would after the poll
            const double ms = static_cast<double>(timer.nsecsElapsed()) / 1e6;
            worst = std::max(worst, ms);
            worstCpu =
                std::max(worstCpu, 1000.0 * static_cast<double>(std::clock() - cpuStart) / CLOCKS_PER_SEC);
            total += ms;
        }
        state.PauseTiming();
        const double after = residentBytes();
        const int lines = view->lineCount() - 1;
        state.counters["lines"] = lines;
        state.counters["worstPollMs"] = worst;
        state.counters["worstPollCpuMs"] = worstCpu;
        state.counters["meanPollMs"] = total / polls;
        state.counters["bytesPerLine"] = (after - before) / lines;

        // A user at this length: clicks on lines, scrolls, types into a line in the middle.
        QWidget* viewport = edit->viewport();
        report(state, "worstClick", worstOf(20, [&](int i) {
                   edit->verticalScrollBar()->setValue(lines / 20 * i);
                   QCoreApplication::processEvents();
                   click(viewport, QPoint(30, 5 + 10 * (i % 10)));
               }));
        report(state, "worstScroll", worstOf(20, [&](int i) {
                   edit->verticalScrollBar()->setValue((lines / 19) * ((i * 7) % 20));
                   viewport->repaint();
               }));
        edit->setFocus();
        report(state, "worstTyping", worstOf(20, [&](int i) {
                   view->selectLine(lines / 2 + i);
                   type(edit, Qt::Key_End, QString());
                   type(edit, Qt::Key_A, QStringLiteral("a"));
               }));
        delete edit;
        state.ResumeTiming();
    }
}

// Save and load of a trace of the given number of lines.
void BM_TraceFileSaveLoad(benchmark::State& state) {
    TracerStore lines;
    const auto polls = static_cast<int>(state.range(0) / kLinesPerPoll);
    for (int poll = 0; poll < polls; ++poll)
        lines.append(pollBatch(poll, kLinesPerPoll));
    QTemporaryDir dir;
    const std::string path = dir.filePath(QStringLiteral("bench.trc")).toStdString();
    for (auto _ : state) {
        std::string error;
        report(state, "save", worstOf(1, [&](int) {
                   if (!saveTraceFile(path, lines, error))
                       state.SkipWithError(error.c_str());
               }));
        TracerStore loaded;
        report(state, "load", worstOf(1, [&](int) {
                   if (!loadTraceFile(path, loaded, error))
                       state.SkipWithError(error.c_str());
               }));
        state.counters["lines"] = loaded.lineCount() - 1;
    }
}

void BM_TracerSearchFindsNothing(benchmark::State& state) {
    TracerStore store;
    const auto polls = static_cast<int>(state.range(0) / kLinesPerPoll);
    std::vector<std::int64_t> times;
    for (int poll = 0; poll < polls; ++poll) {
        const std::string batch = pollBatch(poll, kLinesPerPoll);
        tracerReceptionTimes(batch, 1'700'000'000'000'000 + std::int64_t{poll} * 100'000, 0, times);
        store.append(batch, times);
    }
    const std::pair<TracerFindKind, const char*> searches[] = {{TracerFindKind::text, "Brake pressure"},
                                                               {TracerFindKind::id, "1FFFFFFF"},
                                                               {TracerFindKind::data, "FF FF ** FF"}};
    for (auto _ : state) {
        for (const auto& [kind, pattern] : searches) {
            const char* name = kind == TracerFindKind::text ? "text"
                               : kind == TracerFindKind::id ? "id"
                                                            : "data";
            // In the find bar's slices, as the event loop runs them.
            report(state, name, worstOf(1, [&](int) {
                       TracerSearch search(compileTracerQuery(kind, pattern), 0, true, store.lineCount());
                       while (!search.step(store, std::size_t{4} << 20)) {
                       }
                       if (search.found())
                           state.SkipWithError("found a line that holds no match");
                   }));
        }
    }
    state.counters["lines"] = store.lineCount() - 1;
    state.counters["storeBytesPerLine"] =
        static_cast<double>(store.memoryBytes()) / static_cast<double>(store.lineCount());
}

void BM_TracerBatchText(benchmark::State& state) {
    int poll = 0;
    for (auto _ : state)
        benchmark::DoNotOptimize(pollBatch(poll++, kLinesPerPoll));
}

} // namespace

BENCHMARK(BM_TracerRecording)->Arg(1'000'000)->Arg(10'000'000)->Iterations(1)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_TraceFileSaveLoad)->Arg(1'000'000)->Iterations(1)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_TracerSearchFindsNothing)->Arg(10'000'000)->Iterations(1)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_TracerBatchText)->Unit(benchmark::kMicrosecond);
