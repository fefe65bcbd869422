#pragma once

// What the streaming benchmarks share: the virtual adapter as a process, the serial adapter opened as the
// connection sequence leaves it, a shown Monitor, and the poll timer run while the worst tick and the CPU
// share are measured.

#include "receive/monitorModel.h"

#include <QElapsedTimer>
#include <QString>
#include <QStringList>
#include <QTableView>

#include <functional>
#include <string>

class QProcess;

namespace korvel {
class LinkTransport;
}

namespace korvel::bench {

enum class CpuOf {
    Process,
    CallingThread,
};

double cpuSeconds(CpuOf who);

// Starts korvel-sim; the path of the pseudo-terminal it serves, or an empty string when it did not start.
QString startSim(QProcess& sim, const QStringList& arguments);

// Fresh shared state for one adapter kind, every identifier let through.
void resetGlobals(int deviceKind);

// Opens the serial adapter at `path` at 500 kbit/s and marks the link connected, without the rest of the
// connection sequence.
[[nodiscard]] bool openSerialAdapter(LinkTransport& transport, const std::string& path);

// Lets the event loop run, timers and all, for a while.
void runEventLoopFor(int milliseconds);

// The Monitor in a list view on screen, so that every poll pays for its repaint as in the window.
struct ShownMonitor {
    explicit ShownMonitor(int height);
    // The sum of the rows' counts: every frame the Monitor took in.
    [[nodiscard]] double countedFrames() const;

    MonitorModel model;
    QTableView view;
};

// Runs `poll` on a 100 ms timer, each tick followed by the repaint it causes, and measures the worst tick and
// the CPU share of one core from the start of the run.
class TickedRun {
public:
    TickedRun(std::function<void()> poll, CpuOf cpuOf);
    void run(int milliseconds);
    [[nodiscard]] double worstTickMs() const { return worstTickMs_; }
    // Up to now, so that work done after the run, such as a last poll, counts too.
    [[nodiscard]] double cpuShare() const;

private:
    std::function<void()> poll_;
    CpuOf cpuOf_;
    double worstTickMs_ = 0;
    double cpuStart_ = 0;
    QElapsedTimer wall_;
};

} // namespace korvel::bench
