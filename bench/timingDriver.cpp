// Korvel's side of bench/timing_vs_python_can.py: plays a trace, sends periodic rows or saves a log, alone or
// in the main window, against a virtual adapter given by its pseudo-terminal, and prints what it cost.
//   korvel_timing replay <terminal> <trace text> [--window]
//   korvel_timing periodic <terminal> <rows> <period ms> <seconds> [--window]
//   korvel_timing save <trace text> <file.log|file.asc>
// Each prints one line of JSON: wall and CPU seconds of the measured part, and the resident memory.

#include "app/frMain.h"
#include "core/basGlobal.h"
#include "core/iniFile.h"
#include "core/textFile.h"
#include "link/transport.h"
#include "receive/tracerEdit.h"
#include "receive/tracerView.h"
#include "traces/logCommands.h"
#include "traces/replay.h"
#include "transmit/transmitList.h"
#include "transmit/transmitPane.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QTemporaryDir>
#include <QTimer>

#include <cstdio>
#include <cstring>
#include <ctime>
#include <fstream>
#include <iterator>
#include <memory>
#include <string>

using namespace korvel;

namespace {

double cpuSeconds() {
    timespec t{};
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &t);
    return static_cast<double>(t.tv_sec) + static_cast<double>(t.tv_nsec) / 1e9;
}

// Kilobytes from /proc/self/status: the resident size now, or its peak.
long statusKb(const char* field) {
    std::ifstream status("/proc/self/status");
    std::string line;
    while (std::getline(status, line)) {
        if (line.rfind(field, 0) == 0)
            return std::atol(line.c_str() + std::strlen(field));
    }
    return -1;
}

void runFor(int milliseconds) {
    QEventLoop loop;
    QTimer::singleShot(milliseconds, &loop, &QEventLoop::quit);
    loop.exec();
}

struct Measure {
    QElapsedTimer wall;
    double cpuStart = cpuSeconds();
    Measure() { wall.start(); }
    void print(const char* extra = "") const {
        std::printf("{\"wall_s\": %.6f, \"cpu_s\": %.6f, \"rss_kb\": %ld, \"peak_rss_kb\": %ld%s}\n",
                    static_cast<double>(wall.nsecsElapsed()) / 1e9, cpuSeconds() - cpuStart,
                    statusKb("VmRSS:"), statusKb("VmHWM:"), extra);
    }
};

// The main window connected to the adapter, as a user leaves it after "connect".
std::unique_ptr<frMain> connectedWindow(const QTemporaryDir& dir, const std::string& terminal, bool tracer) {
    basGlobal = GlobalState{};
    basGlobal.iniPath = dir.filePath(QStringLiteral("Korvel.ini")).toStdString();
    writeIniString(basGlobal.iniPath, "Options", "Device", std::to_string(deviceCom));
    writeIniString(basGlobal.iniPath, "Options", "Comport", terminal);
    writeIniString(basGlobal.iniPath, "Options", "Baudrate", "6");
    writeIniString(basGlobal.iniPath, "Options", "Options",
                   std::to_string(optRiskAccepted | (tracer ? optTracerMode : 0)));
    auto window = std::make_unique<frMain>();
    window->load();
    window->show();
    window->runToolbarCommand(QStringLiteral("connect"));
    return basGlobal.isConnected ? std::move(window) : nullptr;
}

int replay(const std::string& terminal, const std::string& tracePath, bool inWindow) {
    std::string text;
    std::string error;
    if (!readTextFile(tracePath, text, kMaxTextFileBytes, &error)) {
        std::fprintf(stderr, "korvel_timing: %s\n", error.c_str());
        return 2;
    }
    QTemporaryDir dir;
    if (inWindow) {
        auto window = connectedWindow(dir, terminal, true);
        if (!window)
            return 3;
        window->tracer()->clear();
        window->tracerView()->appendTracerText(text);
        runFor(300);
        const Measure measure;
        window->runToolbarCommand(QStringLiteral("play"));
        measure.print();
        runFor(300);
        return 0;
    }
    basGlobal = GlobalState{};
    basGlobal.iniPath = dir.filePath(QStringLiteral("Korvel.ini")).toStdString();
    LinkTransport transport;
    if (!transport.openTransport({deviceCom, terminal, "57600", false}))
        return 3;
    transport.sendCommand("S6");
    transport.sendCommand("O");
    basGlobal.isConnected = true;
    TracerStore store;
    store.append(text);
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
    TraceReplay player(basGlobal, std::move(script), std::move(hooks));
    const Measure measure;
    basGlobal.isReplaying = true;
    player.replayLines(ReplayMode::all);
    basGlobal.isReplaying = false;
    measure.print();
    runFor(300);
    transport.closeTransport();
    return 0;
}

int periodic(const std::string& terminal, int rows, int periodMs, double seconds, bool inWindow) {
    QTemporaryDir dir;
    auto window = connectedWindow(dir, terminal, false);
    if (!window)
        return 3;
    if (!inWindow)
        window->hide();
    TransmitList& list = window->transmitPane()->list();
    while (list.rowCount() < rows)
        list.addTxRow();
    for (int r = 0; r < rows; ++r) {
        list.setSelectedRow(r);
        list.editSelected([r, periodMs](TxRow& row) {
            row.id = QStringLiteral("%1").arg(0x100 + r, 3, 16, QLatin1Char('0')).toUpper().toStdString();
            row.dlc = "2";
            row.data = "11 22";
            row.period = periodMs;
        });
    }
    runFor(300);
    const Measure measure;
    list.sendAllPeriodic();
    runFor(static_cast<int>(seconds * 1000));
    list.stopAllTx();
    measure.print();
    runFor(300);
    return 0;
}

int save(const std::string& tracePath, const std::string& out) {
    // The Tracer's text as a recording leaves it, read whole: larger than text files are read otherwise.
    std::ifstream in(tracePath, std::ios::binary);
    std::string text((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    if (!in && !in.eof()) {
        std::fprintf(stderr, "korvel_timing: cannot read %s\n", tracePath.c_str());
        return 2;
    }
    TracerStore store;
    store.append(text);
    std::string().swap(text);
    // The peak from here on is the save's own.
    std::ofstream("/proc/self/clear_refs") << "5";
    const long before = statusKb("VmRSS:");
    const Measure measure;
    saveTracerLog(out, [&store](const TracerLineVisit& visit) {
        store.forEachLine([&visit](std::string_view line) {
            visit(line);
            return true;
        });
    });
    char extra[64];
    std::snprintf(extra, sizeof extra, ", \"rss_before_kb\": %ld", before);
    measure.print(extra);
    return 0;
}

} // namespace

int main(int argc, char** argv) {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    const std::string command = argc > 1 ? argv[1] : "";
    const bool inWindow = std::strcmp(argv[argc - 1], "--window") == 0;
    if (command == "replay" && argc >= 4)
        return replay(argv[2], argv[3], inWindow);
    if (command == "periodic" && argc >= 6)
        return periodic(argv[2], std::atoi(argv[3]), std::atoi(argv[4]), std::atof(argv[5]), inWindow);
    if (command == "save" && argc >= 4)
        return save(argv[2], argv[3]);
    std::fprintf(stderr, "usage: korvel_timing replay|periodic|save ... (see the source)\n");
    return 2;
}
