// One receive poll on the Monitor path: fold 2,000 frames of up to 2,048 identifiers and write them into the
// Monitor's rows, with and without a list view attached, and with a database naming every identifier while
// the Signals view follows a selected row; at a 100 ms poll 2,000 frames are 20,000 frames/s. The
// variants switch the change highlighting and a sort by count on; the repaint and sort benchmarks give
// the time of one full repaint of the list and of sorting 100,000 identifiers.

#include "bench/benchApplication.h"
#include "link/canFrame.h"
#include "receive/comments.h"
#include "receive/monitorFold.h"
#include "receive/monitorModel.h"
#include "receive/monitorView.h"
#include "signals/databaseSet.h"
#include "signals/signalsView.h"

#include <QApplication>
#include <QTableView>

#include <benchmark/benchmark.h>

#include <algorithm>
#include <chrono>
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

// A message for every identifier of the traffic, four signals each in both byte orders.
Database trafficDatabase(int identifiers) {
    std::string text = "BU_: X\n";
    char line[160];
    for (int n = 0; n < identifiers; ++n) {
        const uint32_t id =
            n % 2 == 0 ? static_cast<uint32_t>(n / 2) : (0x1000000u + static_cast<uint32_t>(n)) | 0x80000000u;
        std::snprintf(line, sizeof line, "BO_ %u Message%d: 8 X\n", id, n);
        text += line;
        text += " SG_ Speed : 0|16@1+ (0.01,0) [0|655.35] \"km/h\" X\n"
                " SG_ Torque : 23|16@0- (0.5,-100) [-16484|16283.5] \"Nm\" X\n"
                " SG_ Mode : 32|4@1+ (1,0) [0|15] \"\" X\n"
                " SG_ Counter : 56|8@1+ (1,0) [0|255] \"\" X\n";
    }
    return readDbc(text, "traffic.dbc");
}

void monitorPoll(benchmark::State& state, bool withView, bool withDatabase = false) {
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
    DatabaseSet databases;
    std::unique_ptr<SignalsView> signalsView;
    if (withDatabase) {
        databases.add(trafficDatabase(kIdentifiers));
        model.setDatabases(&databases);
        signalsView = std::make_unique<SignalsView>(databases, [&model](std::string& id, std::string& data) {
            if (model.rows().size() < 2)
                return false;
            id = model.rows()[1].id;
            data = model.rows()[1].data;
            return true;
        });
        signalsView->resize(400, 300);
        signalsView->show();
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
    double longestPollMs = 0;
    for (auto _ : state) {
        const auto start = std::chrono::steady_clock::now();
        fold.begin();
        for (const CanFrame& f : polls[p++ % polls.size()])
            fold.add(f);
        comments.setList(list);
        updateMonitorRows(model, fold.entries(), times, commentFor);
        // The Signals view looks every 250 ms, that is every 2.5 polls: looking at every poll overstates it.
        if (signalsView)
            signalsView->refresh();
        if (view) {
            // The highlighting's own refresh, as its timer runs between two polls.
            model.refreshHighlight();
            QCoreApplication::processEvents();
        }
        benchmark::DoNotOptimize(model.rows().data());
        longestPollMs = std::max(
            longestPollMs,
            std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start).count());
    }
    state.counters["rows"] = model.rowCount();
    state.counters["longest poll ms"] = longestPollMs;
    state.counters["time per frame"] =
        benchmark::Counter(static_cast<double>(kFramesPerPoll) * state.iterations(),
                           benchmark::Counter::kIsRate | benchmark::Counter::kInvert);
    state.counters["frames/s"] = benchmark::Counter(static_cast<double>(kFramesPerPoll) * state.iterations(),
                                                    benchmark::Counter::kIsRate);
}

void BM_MonitorPoll(benchmark::State& state) {
    monitorPoll(state, false);
}
void BM_MonitorPollWithView(benchmark::State& state) {
    monitorPoll(state, true);
}
void BM_MonitorPollWithViewAndDatabase(benchmark::State& state) {
    monitorPoll(state, true, true);
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
BENCHMARK(BM_MonitorPollWithViewAndDatabase)
    ->ArgNames({"highlight", "sorted"})
    ->Args({0, 0})
    ->Args({1, 0})
    ->Unit(benchmark::kMicrosecond);
