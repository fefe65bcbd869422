#include "sim/ptyAdapter.h"

#ifdef KORVEL_SIM_HAVE_PTY

#include <QSocketNotifier>
#include <QTimer>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstring>
#include <fcntl.h>
#include <stdlib.h>
#include <termios.h>
#include <unistd.h>

namespace korvel::sim {

namespace {

int64_t steadyNowUs() {
    using namespace std::chrono;
    return duration_cast<microseconds>(steady_clock::now().time_since_epoch()).count();
}

// Larger writes only fill the terminal's buffer sooner; the rest waits for the next turn.
constexpr size_t kMaxWrite = 64 * 1024;

} // namespace

PtyAdapter::PtyAdapter(QObject* parent) : QObject(parent), nowUs_(steadyNowUs) {
    masterFd_ = posix_openpt(O_RDWR | O_NOCTTY);
    if (masterFd_ < 0) {
        fail(QStringLiteral("posix_openpt: %1").arg(QString::fromLocal8Bit(std::strerror(errno))));
        return;
    }
    if (grantpt(masterFd_) != 0 || unlockpt(masterFd_) != 0) {
        fail(QStringLiteral("grantpt/unlockpt: %1").arg(QString::fromLocal8Bit(std::strerror(errno))));
        return;
    }
    const char* name = ptsname(masterFd_);
    if (!name) {
        fail(QStringLiteral("ptsname: %1").arg(QString::fromLocal8Bit(std::strerror(errno))));
        return;
    }
    slavePath_ = QString::fromLocal8Bit(name);
    // Our own slave descriptor keeps the terminal alive while no host has it open, so a host that closes
    // does not hang up the master, and the raw settings stay in place for the next host.
    slaveFd_ = ::open(name, O_RDWR | O_NOCTTY | O_CLOEXEC);
    if (slaveFd_ < 0) {
        fail(QStringLiteral("open %1: %2").arg(slavePath_, QString::fromLocal8Bit(std::strerror(errno))));
        return;
    }
    termios settings{};
    if (tcgetattr(slaveFd_, &settings) == 0) {
        cfmakeraw(&settings); // no CR to LF translation, no echo
        tcsetattr(slaveFd_, TCSANOW, &settings);
    }
    fcntl(masterFd_, F_SETFL, fcntl(masterFd_, F_GETFL) | O_NONBLOCK);
    fcntl(masterFd_, F_SETFD, FD_CLOEXEC);

    notifier_ = new QSocketNotifier(masterFd_, QSocketNotifier::Read, this);
    connect(notifier_, &QSocketNotifier::activated, this, &PtyAdapter::readHost);
    timer_ = new QTimer(this);
    timer_->setTimerType(Qt::PreciseTimer);
    timer_->setInterval(kDefaultTickMs);
    connect(timer_, &QTimer::timeout, this, &PtyAdapter::pump);
    timer_->start();
}

PtyAdapter::~PtyAdapter() {
    delete notifier_; // before its descriptor closes
    notifier_ = nullptr;
    if (masterFd_ >= 0) {
        ::close(masterFd_);
    }
    if (slaveFd_ >= 0) {
        ::close(slaveFd_);
    }
}

void PtyAdapter::fail(const QString& what) {
    error_ = what;
    closeBothEnds();
}

// The notifier may be the sender of the call we are in, so it goes away later, never here.
void PtyAdapter::closeBothEnds() {
    if (notifier_) {
        notifier_->setEnabled(false);
        notifier_->deleteLater();
        notifier_ = nullptr;
    }
    if (timer_) {
        timer_->stop();
    }
    if (masterFd_ >= 0) {
        ::close(masterFd_);
        masterFd_ = -1;
    }
    if (slaveFd_ >= 0) {
        ::close(slaveFd_);
        slaveFd_ = -1;
    }
}

void PtyAdapter::setClock(std::function<int64_t()> nowUs) {
    nowUs_ = nowUs ? std::move(nowUs) : std::function<int64_t()>(steadyNowUs);
}

void PtyAdapter::setTickInterval(int milliseconds) {
    if (timer_) {
        timer_->setInterval(std::max(1, milliseconds)); // 0 would spin a core whenever the loop is idle
    }
}

void PtyAdapter::setHostReadRate(int64_t bytesPerSecond) {
    readRate_ = std::max<int64_t>(0, bytesPerSecond);
    readBudget_ = 0;
    budgetUs_ = nowUs_();
    if (notifier_) {
        notifier_->setEnabled(true);
    }
}

size_t PtyAdapter::hostReadBudget() {
    if (readRate_ == 0) {
        return SIZE_MAX;
    }
    const int64_t now = nowUs_();
    if (now > budgetUs_) {
        // A tenth of a second's worth at most, as a UART's small FIFO holds no more.
        const double cap = std::max(64.0, readRate_ / 10.0);
        readBudget_ = std::min(cap, readBudget_ + static_cast<double>(now - budgetUs_) * readRate_ / 1e6);
    }
    budgetUs_ = now;
    return static_cast<size_t>(readBudget_);
}

void PtyAdapter::readHost() {
    char buffer[4096];
    // Bounded per turn, so a host that writes without pause cannot starve the writer side.
    for (int round = 0; round < 16 && masterFd_ >= 0; ++round) {
        const size_t budget = hostReadBudget();
        if (budget == 0) {
            // Readable stays readable: listen again only once the rate allows more (see pump).
            if (notifier_) {
                notifier_->setEnabled(false);
            }
            break;
        }
        const ssize_t n = ::read(masterFd_, buffer, std::min(sizeof buffer, budget));
        if (n > 0) {
            if (readRate_ > 0) {
                readBudget_ -= static_cast<double>(n);
            }
            engine_.hostWrite(std::string_view(buffer, static_cast<size_t>(n)), nowUs_());
            continue;
        }
        if (n < 0 && (errno == EINTR)) {
            continue;
        }
        // EAGAIN: all read. EIO cannot happen while our slave descriptor is open.
        break;
    }
    if (engine_.vanished()) {
        vanish();
        return;
    }
    // Replies go out in the same turn, so a host waiting on one sees it without a timer tick.
    pump();
}

void PtyAdapter::pump() {
    if (masterFd_ < 0) {
        return;
    }
    engine_.advance(nowUs_());
    if (engine_.vanished()) {
        vanish();
        return;
    }
    if (notifier_ && !notifier_->isEnabled() && hostReadBudget() > 0) {
        notifier_->setEnabled(true);
    }
    const size_t chunk = engine_.nextChunkLimit();
    while (engine_.pendingHostBytes() > 0) {
        const std::string_view bytes = engine_.peekHostBytes().substr(0, std::min(chunk, kMaxWrite));
        const ssize_t n = ::write(masterFd_, bytes.data(), bytes.size());
        if (n > 0) {
            engine_.consumeHostBytes(static_cast<size_t>(n));
            if (chunk != SIZE_MAX) {
                break; // split replies: one small piece per turn
            }
            continue;
        }
        if (n < 0 && errno == EINTR) {
            continue;
        }
        break; // EAGAIN: the host has not read yet; the bytes stay queued
    }
}

void PtyAdapter::vanish() {
    if (masterFd_ < 0 && slaveFd_ < 0) {
        return;
    }
    engine_.vanish();
    closeBothEnds();
    emit vanished();
}

} // namespace korvel::sim

#endif
