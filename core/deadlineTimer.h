#pragma once

// A single-shot timer for a deadline on the steady clock, with a precision well below a millisecond where the
// system gives one (a timerfd watched by the event loop on Linux), so waits are not rounded to whole
// milliseconds. Elsewhere it falls back to a precise QTimer. It fires on the thread that owns it, like any
// timer, so everything stays on the user-interface thread.

#include <QObject>

#include <cstdint>

class QSocketNotifier;
class QTimer;

namespace korvel {

// Microseconds of the steady clock the deadlines are given in.
[[nodiscard]] int64_t steadyMicroseconds();

class DeadlineTimer final : public QObject {
    Q_OBJECT
public:
    explicit DeadlineTimer(QObject* parent = nullptr);
    ~DeadlineTimer() override;

    // Fires once at `deadlineUs` (at once when it has passed); a new start replaces the old deadline.
    void start(int64_t deadlineUs);
    void stop();
    [[nodiscard]] bool isActive() const { return active_; }
    // Whether the sub-millisecond source is in use rather than the fallback.
    [[nodiscard]] bool isFine() const { return fd_ >= 0; }

signals:
    void timeout();

private:
    void fire();

    int fd_ = -1;
    QSocketNotifier* notifier_ = nullptr;
    QTimer* fallback_ = nullptr;
    bool active_ = false;
};

// Lets the event loop run until `deadlineUs`: events are handled as they come, and the return is close to the
// deadline, not a millisecond tick after it.
void runEventLoopUntil(int64_t deadlineUs);

} // namespace korvel
