#include "link/serialLink.h"

#include "core/prompts.h"

#include <QEventLoop>
#include <QSerialPort>
#include <QTimer>

#ifdef Q_OS_UNIX
#include <cerrno>
#include <poll.h>
#endif

namespace korvel {

namespace {

bool allDigits(const std::string& text) {
    if (text.empty())
        return false;
    for (char c : text)
        if (c < '0' || c > '9')
            return false;
    return true;
}

QString openErrorText(const TransportSettings& s) {
    return QStringLiteral("Can't open Device COM") + QString::fromStdString(s.comPort) +
           QStringLiteral("!\r\n");
}

} // namespace

QString serialPortName(const std::string& comPort) {
    if (allDigits(comPort) && comPort.size() <= 4) {
        const int number = std::stoi(comPort);
#ifdef _WIN32
        return QStringLiteral("COM%1").arg(number);
#else
        return QStringLiteral("/dev/ttyS%1").arg(number - 1);
#endif
    }
    return QString::fromStdString(comPort);
}

SerialLink::SerialLink() = default;

SerialLink::~SerialLink() {
    close();
}

bool SerialLink::isOpen() const {
    return port_ && port_->isOpen();
}

bool SerialLink::open(const TransportSettings& s) {
    beginSession();
    flushBeforeCommand_ = true;
    if (isOpen())
        port_->close();
    port_ = std::make_unique<QSerialPort>();
    port_->setPortName(serialPortName(s.comPort));
    port_->setFlowControl(s.rtsHandshake ? QSerialPort::HardwareControl : QSerialPort::NoFlowControl);
    const bool speedValid = allDigits(s.comBaudrate) && s.comBaudrate.size() <= 9;
    if (!speedValid) {
        prompts().critical(openErrorText(s) + QStringLiteral("Invalid baud rate"));
        return false;
    }
    port_->setBaudRate(std::stoi(s.comBaudrate));
    port_->setDataBits(QSerialPort::Data8);
    port_->setParity(QSerialPort::NoParity);
    port_->setStopBits(QSerialPort::OneStop);
    if (s.comPort.empty() || !port_->open(QIODevice::ReadWrite)) {
        const QString reason = s.comPort.empty() ? QStringLiteral("No port selected") : port_->errorString();
        prompts().critical(openErrorText(s) + reason);
        port_.reset();
        return false;
    }
    connect(port_.get(), &QSerialPort::errorOccurred, this, [this](QSerialPort::SerialPortError error) {
        // An unplugged adapter shows up as either error, possibly repeated at full speed. So does a slow one
        // whose buffer is full (EAGAIN), which is no loss: its bytes wait in the port.
        if ((error == QSerialPort::ReadError || error == QSerialPort::ResourceError) && deviceGone())
            lose();
    });
    return true;
}

void SerialLink::waitForData(int milliseconds) {
    // Blocks in the event loop until data arrives or the slice ends, so waiting never spins a core.
    QEventLoop loop;
    QTimer slice;
    slice.setSingleShot(true);
    connect(&slice, &QTimer::timeout, &loop, &QEventLoop::quit);
    connect(port_.get(), &QSerialPort::readyRead, &loop, &QEventLoop::quit);
    connect(this, &CanLink::vanished, &loop, &QEventLoop::quit);
    slice.start(milliseconds);
    loop.exec();
}

std::string SerialLink::sendCommand(std::string_view command) {
    if (!isOpen() || lost_ || cancelled_)
        return {};
    // Input from before the first command is stale; later, an open channel's frames are never thrown away.
    if (flushBeforeCommand_) {
        port_->readAll();
        carryOver_.clear();
        flushBeforeCommand_ = false;
    }
    const WaitScope waiting(waitingForReply_);
    beginCommandWait();
    const double start = clockSeconds();
    std::string reply;
    for (int attempt = 0; attempt < 3; ++attempt) {
        collector_.begin(carryOver_);
        const std::string line = std::string(command) + '\r';
        writeSerial(line);
        bool complete = false;
        while (!complete && clockSeconds() - start < kReplyBudgetSeconds) {
            waitForData(10);
            if (!isOpen() || lost_ || cancelled_)
                break;
            if (port_->bytesAvailable() > 0)
                complete = collector_.add(port_->readAll().toStdString(), carryOver_);
        }
        reply = collector_.finish(carryOver_);
        boundCarryOver();
        if (!isOpen() || lost_ || cancelled_ || reply.find('\a') == std::string::npos)
            return reply;
    }
    return reply;
}

bool SerialLink::readAvailable(std::string& text) {
    text.clear();
    if (!isOpen())
        return false;
    text.swap(carryOver_);
    carryOver_.clear();
    // While a command waits, what the port holds is the wait's: the reply, or the rest of a line it holds.
    if (!waitingForReply_ && port_->bytesAvailable() > 0)
        text += port_->readAll().toStdString();
    if (lost_) {
        // What was buffered before the loss is handed on; the port closes now.
        close();
        return false;
    }
    return true;
}

bool SerialLink::writeFrameBytes(const std::string& text) {
    if (!isOpen())
        return false;
    // Behind by more than a moment: this frame goes, the link stays.
    if (pendingBytes() + text.size() > kMaxBacklog) {
        ++counters_.notSent;
        return false;
    }
    return writeSerial(text);
}

bool SerialLink::writeSerial(std::string_view text) {
    const bool whole =
        port_->write(text.data(), static_cast<qint64>(text.size())) == static_cast<qint64>(text.size());
    // Out now, not at the event loop's next turn, which a poll or a repaint may hold up: a periodic row or a
    // replayed line keeps its time on the wire.
    port_->flush();
    return whole;
}

std::size_t SerialLink::pendingBytes() const {
    return isOpen() ? static_cast<std::size_t>(port_->bytesToWrite()) : 0;
}

void SerialLink::close() {
    if (!port_)
        return;
    port_->disconnect(this);
    if (port_->isOpen())
        port_->close();
}

bool SerialLink::deviceGone() const {
#ifdef Q_OS_UNIX
    if (!isOpen())
        return true;
    // A device that was unplugged, or a terminal whose other end closed, is hung up: poll says so at once,
    // whatever the last error was.
    pollfd probe{static_cast<int>(port_->handle()), POLLOUT, 0};
    int ready = 0;
    do
        ready = ::poll(&probe, 1, 0);
    while (ready < 0 && errno == EINTR);
    return ready < 0 || (probe.revents & (POLLHUP | POLLERR | POLLNVAL)) != 0;
#else
    return true;
#endif
}

void SerialLink::lose() {
    if (lost_)
        return;
    port_->disconnect(this); // Qt may repeat the error at full speed; one report is enough
    markLost();
}

} // namespace korvel
