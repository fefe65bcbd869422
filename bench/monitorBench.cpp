// One receive poll on the Monitor path: fold 2,000 frames of up to 2,048 identifiers and write them into the
// Monitor's rows, with and without a list view attached; at a 100 ms poll that is 20,000 frames/s. The
// variants switch the change highlighting and a sort by count on; the repaint and sort benchmarks give
// the time of one full repaint of the list and of sorting 100,000 identifiers.

#include "bench/benchApplication.h"
#include "link/canFrame.h"
#include "receive/comments.h"
#include "receive/monitorFold.h"
#include "receive/monitorModel.h"
#include "receive/monitorView.h"

#include <QApplication>
#include <QTableView>

#include <benchmark/benchmark.h>

#include <cstdio>
#include <memory>
#include <vector>

using namespace korvel;

namespace {

// 2,048 distinct identifiers (half standard, half extended); poll p carries frames p*2000 ... p*2000+1999
// of the endless cycle through them, so every poll updates 2,000 existing rows.
std::vector<CanFrame> trafficFrames(int identifiers, int count, int offset) {
    std::vector<CanFrame> frames;
    frames.reserve(static_cast<std::size_t>(count));
    char line[64];
    for (int i = 0; i < count; ++i) {
        const int n = (offset + i) % identifiers;
        if (n % 2 == 0)
            std::snprintf(line, sizeof line, "t%03X8%016X%04X", n / 2, offset + i, (offset + i) % 60000);
        else
            std::snprintf(line, sizeof line, "T%08X8%016X%04X", 0x1000000 + n, offset + i,
                          (offset + i) % 60000);
        frames.push_back(decodeFrameLine(line, '.').value());
    }
    return frames;
}

// Extended identifiers only, so any number of them is distinct.
std::vector<CanFrame> extendedFrames(int identifiers, int count, int offset, int stride) {
    std::vector<CanFrame> frames;
    frames.reserve(static_cast<std::size_t>(count));
    char line[64];
    for (int i = 0; i < count; ++i) {
        const int n = (offset + i * stride) % identifiers;
        std::snprintf(line, sizeof line, "T%08X8%016X%04X", 0x1000000 + n, offset + i, (offset + i) % 60000);
        frames.push_back(decodeFrameLine(line, '.').value());
    }
    return frames;
}

std::string commentList(int identifiers) {
    std::string list;
    for (int n = 1; n < identifiers; n += 16) {
        char id[16];
        std::snprintf(id, sizeof id, n % 2 == 0 ? "%03X" : "%08X", n % 2 == 0 ? n / 2 : 0x1000000 + n);
        setStoredComment(list, id, n % 32 == 1 ? "Speed <DEC>" : "Door state");
    }
    return list;
}

void monitorPoll(benchmark::State& state, bool withView) {
    benchApplication();
    constexpr int kIdentifiers = 2048;
    constexpr int kFramesPerPoll = 2000;
    const bool highlight = state.range(0) != 0;
    const bool sorted = state.range(1) != 0;
    MonitorModel model;
    std::unique_ptr<QTableView> view;
    std::unique_ptr<MonitorListTools> tools;
    if (withView) {
        view = std::make_unique<QTableView>();
        view->setModel(&model);
        view->resize(900, 500);
        view->show();
        tools = std::make_unique<MonitorListTools>(view.get(), &model);
        tools->setChangeHighlight(highlight);
    } else {
        model.setChangeHighlight(highlight);
    }
    if (sorted)
        model.setSort({MonitorModel::colCount, true});
    RowTimes times;
    MonitorFold fold;
    CommentIndex comments;
    const std::string list = commentList(kIdentifiers);
    const auto commentFor = [&](std::string_view id, std::string_view data, std::string& out) {
        frameComment(id, data, comments, 0, out);
    };
    std::vector<std::vector<CanFrame>> polls;
    for (int p = 0; p < 8; ++p)
        polls.push_back(trafficFrames(kIdentifiers, kFramesPerPoll, p * kFramesPerPoll));
    // The first polls create the rows; what is measured is the steady state.
    for (int p = 0; p < 2; ++p) {
        fold.begin();
        for (const CanFrame& f : trafficFrames(kIdentifiers, kIdentifiers, p))
            fold.add(f);
        comments.setList(list);
        updateMonitorRows(model, fold.entries(), times, commentFor);
    }
    std::size_t p = 0;
    for (auto _ : state) {
        fold.begin();
        for (const CanFrame& f : polls[p++ % polls.size()])
            fold.add(f);
        comments.setList(list);
        updateMonitorRows(model, fold.entries(), times, commentFor);
        if (view) {
            // The highlighting's own refresh, as its timer runs between two polls.
            model.refreshHighlight();
            QCoreApplication::processEvents();
        }
        benchmark::DoNotOptimize(model.rows().data());
    }
    state.counters["rows"] = model.rowCount();
    state.counters["frames/s"] = benchmark::Counter(static_cast<double>(kFramesPerPoll) * state.iterations(),
                                                    benchmark::Counter::kIsRate);
}

void BM_MonitorPoll(benchmark::State& state) {
    monitorPoll(state, false);
}
void BM_MonitorPollWithView(benchmark::State& state) {
    monitorPoll(state, true);
}

// One full repaint of a list whose shown rows all glow.
void BM_MonitorRepaint(benchmark::State& state) {
    benchApplication();
    MonitorModel model;
    QTableView view;
    view.setModel(&model);
    view.resize(900, 700);
    view.show();
    MonitorListTools tools(&view, &model);
    tools.setChangeHighlight(state.range(0) != 0);
    RowTimes times;
    MonitorFold fold;
    for (int p = 0; p < 2; ++p) {
        fold.begin();
        for (const CanFrame& f : trafficFrames(2048, 2048, p))
            fold.add(f);
        updateMonitorRows(model, fold.entries(), times, {});
    }
    for (auto _ : state)
        view.viewport()->repaint();
}

// Sorting 100,000 identifiers at a click, and one poll of 2,000 frames into them while sorted by count.
void BM_MonitorSort100k(benchmark::State& state) {
    benchApplication();
    constexpr int kIdentifiers = 100000;
    MonitorModel model;
    RowTimes times;
    MonitorFold fold;
    fold.begin();
    for (int n = 0; n < kIdentifiers; n += 20000) {
        fold.begin();
        for (const CanFrame& f : extendedFrames(kIdentifiers, 20000, n, 1))
            fold.add(f);
        updateMonitorRows(model, fold.entries(), times, {});
    }
    const bool clicks = state.range(0) == 0;
    const std::vector<CanFrame> poll = extendedFrames(kIdentifiers, 2000, 7, 37);
    model.setSort({MonitorModel::colCount, true});
    for (auto _ : state) {
        if (clicks) {
            model.setSort({MonitorModel::colId, false});
            model.setSort({MonitorModel::colCount, true});
        } else {
            fold.begin();
            for (const CanFrame& f : poll)
                fold.add(f);
            updateMonitorRows(model, fold.entries(), times, {});
        }
    }
    state.counters["rows"] = model.rowCount();
}

} // namespace

BENCHMARK(BM_MonitorPoll)
    ->ArgNames({"highlight", "sorted"})
    ->Args({0, 0})
    ->Args({1, 0})
    ->Args({1, 1})
    ->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_MonitorPollWithView)
    ->ArgNames({"highlight", "sorted"})
    ->Args({0, 0})
    ->Args({1, 0})
    ->Args({1, 1})
    ->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_MonitorRepaint)->ArgName("highlight")->Arg(0)->Arg(1)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_MonitorSort100k)->ArgName("poll")->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond);
