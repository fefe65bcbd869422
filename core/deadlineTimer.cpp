#include "core/deadlineTimer.h"

#include <QEventLoop>
#include <QSocketNotifier>
#include <QTimer>

#include <chrono>

#ifdef __linux__
#include <sys/timerfd.h>
#include <unistd.h>
#endif

namespace korvel {

int64_t steadyMicroseconds() {
    return std::chrono::duration_cast<std::chrono::microseconds>(
               std::chrono::steady_clock::now().time_since_epoch())
        .count();
}

DeadlineTimer::DeadlineTimer(QObject* parent) : QObject(parent) {
#ifdef __linux__
    // The steady clock is CLOCK_MONOTONIC here, so the deadlines need no conversion.
    static_assert(std::chrono::steady_clock::is_steady);
    fd_ = ::timerfd_create(CLOCK_MONOTONIC, TFD_NONBLOCK | TFD_CLOEXEC);
    if (fd_ >= 0) {
        notifier_ = new QSocketNotifier(fd_, QSocketNotifier::Read, this);
        connect(notifier_, &QSocketNotifier::activated, this, [this] {
            uint64_t expirations = 0;
            if (::read(fd_, &expirations, sizeof expirations) == static_cast<ssize_t>(sizeof expirations))
                fire();
        });
        return;
    }
#endif
    fallback_ = new QTimer(this);
    fallback_->setSingleShot(true);
    fallback_->setTimerType(Qt::PreciseTimer);
    connect(fallback_, &QTimer::timeout, this, &DeadlineTimer::fire);
}

DeadlineTimer::~DeadlineTimer() {
#ifdef __linux__
    if (fd_ >= 0) {
        delete notifier_;
        ::close(fd_);
    }
#endif
}

void DeadlineTimer::start(int64_t deadlineUs) {
    active_ = true;
#ifdef __linux__
    if (fd_ >= 0) {
        // 0 would disarm the timer: a deadline that has passed fires at the first moment instead.
        const int64_t at = deadlineUs > 0 ? deadlineUs : 1;
        itimerspec deadline{};
        deadline.it_value.tv_sec = static_cast<time_t>(at / 1'000'000);
        deadline.it_value.tv_nsec = static_cast<long>(at % 1'000'000 * 1000);
        ::timerfd_settime(fd_, TFD_TIMER_ABSTIME, &deadline, nullptr);
        return;
    }
#endif
    const int64_t waitUs = deadlineUs - steadyMicroseconds();
    const int64_t waitMs = waitUs <= 0 ? 0 : (waitUs + 999) / 1000;
    fallback_->start(static_cast<int>(waitMs > 60'000'000 ? 60'000'000 : waitMs));
}

void DeadlineTimer::stop() {
    active_ = false;
#ifdef __linux__
    if (fd_ >= 0) {
        const itimerspec off{};
        ::timerfd_settime(fd_, 0, &off, nullptr);
        uint64_t expirations = 0;
        // An expiry already waiting to be read must not fire after the stop.
        [[maybe_unused]] const auto got = ::read(fd_, &expirations, sizeof expirations);
        return;
    }
#endif
    fallback_->stop();
}

void DeadlineTimer::fire() {
    if (!active_)
        return;
    active_ = false;
    emit timeout();
}

void runEventLoopUntil(int64_t deadlineUs) {
    if (deadlineUs <= steadyMicroseconds())
        return;
    QEventLoop loop;
    DeadlineTimer timer;
    QObject::connect(&timer, &DeadlineTimer::timeout, &loop, &QEventLoop::quit);
    timer.start(deadlineUs);
    loop.exec();
}

} // namespace korvel
