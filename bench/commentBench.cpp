// A hostile comment list: one identifier whose comment is 1 MB of "<ASC>" placeholders. Measured: rendering
// that comment for one frame, and one Monitor update of its row with a repaint of the list.

#include "bench/benchApplication.h"
#include "receive/comments.h"
#include "receive/monitorModel.h"

#include <QTableView>

#include <benchmark/benchmark.h>

#include <string>
#include <vector>

using namespace korvel;

namespace {

constexpr std::size_t kCommentBytes = 1024 * 1024;

std::string placeholderList() {
    std::string comment;
    while (comment.size() < kCommentBytes)
        comment += "<ASC>";
    std::string list;
    setStoredComment(list, "123", comment);
    return list;
}

void BM_RenderMegabyteComment(benchmark::State& state) {
    CommentIndex comments;
    comments.setList(placeholderList());
    std::string out;
    for (auto _ : state) {
        frameComment("123", "48 69 0A", comments, 0, out);
        benchmark::DoNotOptimize(out.data());
    }
    state.counters["shown bytes"] = static_cast<double>(out.size());
}

void BM_MonitorRowWithMegabyteComment(benchmark::State& state) {
    benchApplication();
    MonitorModel model;
    QTableView view;
    view.setModel(&model);
    view.resize(900, 300);
    view.show();
    CommentIndex comments;
    comments.setList(placeholderList());
    const auto commentFor = [&](std::string_view id, std::string_view data, std::string& out) {
        frameComment(id, data, comments, 0, out);
    };
    RowTimes times;
    std::vector<PollEntry> entries(1);
    entries[0].idText.assign("123");
    entries[0].dlc = 3;
    entries[0].dataText.assign("48 69 0A");
    entries[0].frameCount = 1;
    for (auto _ : state) {
        updateMonitorRows(model, entries, times, commentFor);
        view.viewport()->repaint();
    }
}

} // namespace

BENCHMARK(BM_RenderMegabyteComment)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_MonitorRowWithMegabyteComment)->Unit(benchmark::kMillisecond);
