// The virtual adapter on a pseudo-terminal: the host opens slavePath() as if it were a serial adapter.
// Everything runs from the event loop of the thread that owns the object, so a host in the same thread
// that waits by processing events gets its replies.
#pragma once

#if defined(__unix__) || defined(__APPLE__)
#define KORVEL_SIM_HAVE_PTY 1

#include "sim/adapterEngine.h"

#include <QObject>
#include <QString>

#include <cstdint>
#include <functional>

class QSocketNotifier;
class QTimer;

namespace korvel::sim {

class PtyAdapter : public QObject {
    Q_OBJECT

public:
    static constexpr int kDefaultTickMs = 2;

    // Opens the pseudo-terminal at once; check isOpen().
    explicit PtyAdapter(QObject* parent = nullptr);
    ~PtyAdapter() override;

    [[nodiscard]] bool isOpen() const { return masterFd_ >= 0; }
    [[nodiscard]] QString errorString() const { return error_; }
    [[nodiscard]] QString slavePath() const { return slavePath_; }
    [[nodiscard]] AdapterEngine& engine() { return engine_; }

    // Replaces the clock (microseconds, steady); the default is std::chrono::steady_clock.
    void setClock(std::function<int64_t()> nowUs);
    void setTickInterval(int milliseconds);
    // One turn of the timer: traffic up to now, then as many bytes to the host as the terminal takes.
    void pump();
    // Closes both ends as an unplugged adapter would; a connected host sees an error or end of file.
    void vanish();
    // Takes at most this many bytes a second from the host, as an adapter on a slow serial line does, so the
    // host's writes back up in the terminal; 0 (the default) takes everything at once.
    void setHostReadRate(int64_t bytesPerSecond);

signals:
    void vanished();

private:
    void readHost();
    // Bytes the host may still send under the read rate, brought up to now.
    size_t hostReadBudget();
    void fail(const QString& what);
    void closeBothEnds();

    AdapterEngine engine_;
    std::function<int64_t()> nowUs_;
    int masterFd_ = -1;
    int slaveFd_ = -1;
    QString slavePath_;
    QString error_;
    QSocketNotifier* notifier_ = nullptr;
    QTimer* timer_ = nullptr;
    int64_t readRate_ = 0;
    double readBudget_ = 0;
    int64_t budgetUs_ = 0;
};

} // namespace korvel::sim

#endif
