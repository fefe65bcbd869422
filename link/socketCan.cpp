#include "link/socketCan.h"

#include "link/canInterfaces.h"

#include <QSocketNotifier>

#ifdef __linux__
#include <cerrno>
#include <cstring>
#include <ctime>
#include <fcntl.h>
#include <linux/can.h>
#include <linux/can/error.h>
#include <linux/can/raw.h>
#include <net/if.h>
#include <sys/ioctl.h>
#include <sys/socket.h>
#include <sys/time.h>
#include <unistd.h>
#endif

#include <array>

namespace korvel {

namespace {

SocketCanSystem& systemOverride() {
    static SocketCanSystem system;
    return system;
}

#ifdef __linux__

int openBoundSocket(const std::string& interfaceName) {
    // The socket first: a system without CAN networking says so rather than "no such interface".
    const int fd = ::socket(PF_CAN, SOCK_RAW | SOCK_CLOEXEC, CAN_RAW);
    if (fd < 0)
        return -1;
    const unsigned index = ::if_nametoindex(interfaceName.c_str());
    if (index == 0) {
        ::close(fd);
        errno = ENODEV;
        return -1;
    }
    // Bound to an interface that is down, the socket would only report ENETDOWN on its first read.
    ifreq request{};
    interfaceName.copy(request.ifr_name, IFNAMSIZ - 1);
    if (::ioctl(fd, SIOCGIFFLAGS, &request) == 0 && (request.ifr_flags & IFF_UP) == 0) {
        ::close(fd);
        errno = ENETDOWN;
        return -1;
    }
    sockaddr_can address{};
    address.can_family = AF_CAN;
    address.can_ifindex = static_cast<int>(index);
    if (::bind(fd, reinterpret_cast<const sockaddr*>(&address), sizeof address) < 0) {
        const int error = errno;
        ::close(fd);
        errno = error;
        return -1;
    }
    return fd;
}

int setRawSocketOption(int fd, int option, const void* value, unsigned size) {
    return ::setsockopt(fd, SOL_CAN_RAW, option, value, size);
}

int openBound(const std::string& interfaceName) {
    const SocketCanSystem& system = systemOverride();
    return system.openBound ? system.openBound(interfaceName) : openBoundSocket(interfaceName);
}

int setRawOption(int fd, int option, const void* value, unsigned size) {
    const SocketCanSystem& system = systemOverride();
    return system.setRawOption ? system.setRawOption(fd, option, value, size)
                               : setRawSocketOption(fd, option, value, size);
}

// Local seconds since midnight of a receive time; the whole second is converted once and reused.
double secondsSinceMidnight(const timeval& time, int64_t& cachedSecond, double& cachedMidnightSeconds) {
    if (time.tv_sec != cachedSecond) {
        const time_t seconds = time.tv_sec;
        tm local{};
        localtime_r(&seconds, &local);
        cachedMidnightSeconds = local.tm_hour * 3600.0 + local.tm_min * 60.0 + local.tm_sec;
        cachedSecond = time.tv_sec;
    }
    return cachedMidnightSeconds + static_cast<double>(time.tv_usec) / 1e6;
}

bool meansLinkGone(int error) {
    switch (error) {
    case ENETDOWN:
    case ENODEV:
    case ENXIO:
    case EPIPE:
    case ECONNRESET:
    case ENOTCONN:
    case EBADF:
        return true;
    default:
        return false;
    }
}

#endif

} // namespace

void setSocketCanSystem(SocketCanSystem system) {
    systemOverride() = std::move(system);
}

QString socketCanErrorText(int error) {
#ifdef __linux__
    switch (error) {
    case EAFNOSUPPORT:
    case EPROTONOSUPPORT:
    case ESOCKTNOSUPPORT:
        return QStringLiteral("This system has no SocketCAN support");
    case ENODEV:
    case ENXIO:
        return QStringLiteral("No such CAN interface");
    case ENETDOWN:
        return QStringLiteral("The interface is down");
    default:
        return QString::fromLocal8Bit(std::strerror(error));
    }
#else
    (void)error;
    return QStringLiteral("This system has no SocketCAN support");
#endif
}

SocketCanLink::SocketCanLink() = default;

SocketCanLink::~SocketCanLink() {
    close();
}

bool SocketCanLink::open(const std::string& interfaceName, const SocketCanFilter& filter, QString& reason) {
    close();
    lost_ = false;
    droppedReceived_ = 0;
    droppedSent_ = 0;
    if (interfaceName.empty()) {
        reason = QStringLiteral("No interface selected");
        return false;
    }
    if (!isValidInterfaceName(interfaceName)) {
        reason = QStringLiteral("Not a valid interface name");
        return false;
    }
#ifdef __linux__
    errno = 0;
    const int fd = openBound(interfaceName);
    if (fd < 0) {
        reason = socketCanErrorText(errno);
        return false;
    }
    fd_ = fd;
    ::fcntl(fd_, F_SETFL, ::fcntl(fd_, F_GETFL) | O_NONBLOCK);
    const int on = 1;
    ::setsockopt(fd_, SOL_SOCKET, SO_TIMESTAMP, &on, sizeof on);
    // The system may cap it lower; the notifier drains the socket long before a default buffer fills.
    const int bufferBytes = kReceiveBufferBytes;
    ::setsockopt(fd_, SOL_SOCKET, SO_RCVBUF, &bufferBytes, sizeof bufferBytes);
    // Every error class: bus-off ends the link, the others feed the bus statistics.
    const can_err_mask_t errors = CAN_ERR_MASK;
    setRawOption(fd_, CAN_RAW_ERR_FILTER, &errors, sizeof errors);
    setFilter(filter);
    queue_.reserve(4096);
    notifier_ = std::make_unique<QSocketNotifier>(static_cast<qintptr>(fd_), QSocketNotifier::Read);
    connect(notifier_.get(), &QSocketNotifier::activated, this, &SocketCanLink::drain);
    return true;
#else
    (void)filter;
    reason = socketCanErrorText(0);
    return false;
#endif
}

void SocketCanLink::close() {
    notifier_.reset();
#ifdef __linux__
    if (fd_ >= 0)
        ::close(fd_);
#endif
    fd_ = -1;
    queue_.clear();
}

void SocketCanLink::setFilter(const SocketCanFilter& filter) {
#ifdef __linux__
    if (fd_ < 0)
        return;
    // A kernel that refuses the filter costs only load: the receive path tests the mask itself.
    const can_filter kernelFilter{filter.canId, filter.canMask};
    setRawOption(fd_, CAN_RAW_FILTER, &kernelFilter, sizeof kernelFilter);
#else
    (void)filter;
#endif
}

void SocketCanLink::drain() {
#ifdef __linux__
    if (fd_ < 0 || lost_)
        return;
    constexpr unsigned kBatch = 64;
    constexpr std::size_t kControlBytes = CMSG_SPACE(sizeof(timeval));
    std::array<CanWireFrame, kBatch> frames;
    std::array<iovec, kBatch> vectors{};
    std::array<mmsghdr, kBatch> headers{};
    alignas(cmsghdr) std::array<std::array<char, kControlBytes>, kBatch> control{};

    // Bounded, so a socket that refills as fast as it drains cannot hold the event loop.
    for (std::size_t round = 0; round < kMaxQueued / kBatch; ++round) {
        for (unsigned i = 0; i < kBatch; ++i) {
            vectors[i] = {&frames[i], sizeof(CanWireFrame)};
            headers[i] = {};
            headers[i].msg_hdr.msg_iov = &vectors[i];
            headers[i].msg_hdr.msg_iovlen = 1;
            headers[i].msg_hdr.msg_control = control[i].data();
            headers[i].msg_hdr.msg_controllen = kControlBytes;
        }
        const int count = ::recvmmsg(fd_, headers.data(), kBatch, MSG_DONTWAIT, nullptr);
        if (count < 0) {
            if (errno == EINTR)
                continue;
            if (errno != EAGAIN && errno != EWOULDBLOCK)
                markLost(); // ENETDOWN, ENODEV: the interface went down or away
            return;
        }
        for (int i = 0; i < count; ++i) {
            msghdr& header = headers[static_cast<std::size_t>(i)].msg_hdr;
            const unsigned length = headers[static_cast<std::size_t>(i)].msg_len;
            if (length == 0) { // the other end closed: only a socket pair does this
                markLost();
                return;
            }
            const CanWireFrame& frame = frames[static_cast<std::size_t>(i)];
            // Only classic frame records; longer records and truncated ones are not frames of this link.
            if (length != sizeof(CanWireFrame) || (header.msg_flags & MSG_TRUNC) != 0)
                continue;
            if ((frame.canId & kCanErrFlag) != 0) {
                if (onErrorFrame_)
                    onErrorFrame_(frame);
                if ((frame.canId & kCanErrBusOff) != 0) {
                    markLost();
                    return;
                }
                continue;
            }
            if (queue_.size() >= kMaxQueued) {
                ++droppedReceived_;
                continue;
            }
            timeval received{};
            bool stamped = false;
            for (cmsghdr* c = CMSG_FIRSTHDR(&header); c != nullptr; c = CMSG_NXTHDR(&header, c)) {
                if (c->cmsg_level == SOL_SOCKET && c->cmsg_type == SO_TIMESTAMP) {
                    std::memcpy(&received, CMSG_DATA(c), sizeof received);
                    stamped = true;
                }
            }
            if (!stamped)
                ::gettimeofday(&received, nullptr);
            queue_.push_back(
                {frame, secondsSinceMidnight(received, cachedEpochSecond_, cachedMidnightSeconds_)});
        }
        if (static_cast<unsigned>(count) < kBatch)
            return;
    }
#endif
}

bool SocketCanLink::receive(std::span<const ReceivedCanFrame>& frames) {
    drain();
    handed_.swap(queue_);
    queue_.clear();
    frames = handed_;
    return fd_ >= 0 && !lost_;
}

bool SocketCanLink::write(const CanWireFrame& frame) {
#ifdef __linux__
    if (fd_ < 0 || lost_)
        return false;
    for (;;) {
        const ssize_t written = ::send(fd_, &frame, sizeof frame, MSG_DONTWAIT | MSG_NOSIGNAL);
        if (written == static_cast<ssize_t>(sizeof frame))
            return true;
        if (written < 0 && errno == EINTR)
            continue;
        if (written < 0 && meansLinkGone(errno))
            markLost();
        else
            ++droppedSent_; // a full transmit queue: the frame is dropped, never waited for
        return false;
    }
#else
    (void)frame;
    return false;
#endif
}

void SocketCanLink::markLost() {
    if (lost_)
        return;
    lost_ = true;
    if (notifier_)
        notifier_->setEnabled(false); // a closed or failed socket stays readable; one report is enough
    emit linkLost();
}

} // namespace korvel
