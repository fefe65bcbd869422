#include "bench/benchSupport.h"
#include "core/basGlobal.h"
#include "link/transport.h"

#include <QApplication>
#include <QEventLoop>
#include <QProcess>
#include <QTimer>

#include <sys/resource.h>

#include <algorithm>

namespace korvel::bench {

double cpuSeconds(CpuOf who) {
    rusage usage{};
    getrusage(who == CpuOf::Process ? RUSAGE_SELF : RUSAGE_THREAD, &usage);
    return static_cast<double>(usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) +
           static_cast<double>(usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6;
}

QString startSim(QProcess& sim, const QStringList& arguments) {
    sim.start(QStringLiteral(KORVEL_SIM_PATH), arguments);
    if (!sim.waitForStarted() || !sim.waitForReadyRead(5000))
        return {};
    return QString::fromUtf8(sim.readLine()).trimmed();
}

void resetGlobals(int deviceKind) {
    basGlobal = GlobalState{};
    initialiseGlobals(basGlobal, {}, '.');
    basGlobal.deviceKind = deviceKind;
    basGlobal.discreteFilterText.assign(1, '0');
}

bool openSerialAdapter(LinkTransport& transport, const std::string& path) {
    if (!transport.openTransport({deviceCom, path, "57600", false}))
        return false;
    transport.sendCommand("S6");
    transport.sendCommand("O");
    basGlobal.isConnected = true;
    return true;
}

void runEventLoopFor(int milliseconds) {
    QEventLoop loop;
    QTimer::singleShot(milliseconds, &loop, &QEventLoop::quit);
    loop.exec();
}

ShownMonitor::ShownMonitor(int height) {
    view.setModel(&model);
    view.resize(900, height);
    view.show();
}

double ShownMonitor::countedFrames() const {
    double counted = 0;
    for (int r = 0; r < model.rowCount(); ++r)
        counted += static_cast<double>(model.rowAt(r)->count);
    return counted;
}

TickedRun::TickedRun(std::function<void()> poll, CpuOf cpuOf) : poll_(std::move(poll)), cpuOf_(cpuOf) {
}

void TickedRun::run(int milliseconds) {
    QTimer tick;
    tick.setInterval(100);
    QObject::connect(&tick, &QTimer::timeout, [this] {
        QElapsedTimer t;
        t.start();
        poll_();
        QApplication::processEvents(); // the view repaints as it would after a tick
        worstTickMs_ = std::max(worstTickMs_, static_cast<double>(t.nsecsElapsed()) / 1e6);
    });

    cpuStart_ = cpuSeconds(cpuOf_);
    wall_.start();
    tick.start();
    runEventLoopFor(milliseconds);
    tick.stop();
}

double TickedRun::cpuShare() const {
    return (cpuSeconds(cpuOf_) - cpuStart_) / (static_cast<double>(wall_.nsecsElapsed()) / 1e9);
}

} // namespace korvel::bench
