// Start-up: the main window built, its settings loaded and shown, as the program does before its event loop.

#include "app/frMain.h"
#include "bench/benchApplication.h"
#include "core/basGlobal.h"

#include <QApplication>
#include <QTemporaryDir>

#include <benchmark/benchmark.h>

using namespace korvel;

namespace {

void BM_StartupToShownWindow(benchmark::State& state) {
    benchApplication();
    QTemporaryDir dir;
    for (auto _ : state) {
        basGlobal = GlobalState{};
        basGlobal.iniPath = dir.filePath(QStringLiteral("Korvel.ini")).toStdString();
        frMain window;
        window.load();
        window.show();
        QApplication::processEvents();
        state.PauseTiming();
        window.hide();
        state.ResumeTiming();
    }
}
BENCHMARK(BM_StartupToShownWindow)->Unit(benchmark::kMillisecond);

} // namespace
