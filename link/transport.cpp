#include "link/transport.h"

#include "core/prompts.h"
#include "link/canInterfaces.h"
#include "link/deviceChoice.h"
#include "link/pcan_usb.h"
#include "link/socketCan.h"
#include "link/virtualAdapterLink.h"

#include <QCoreApplication>
#include <QEventLoop>
#include <QFileInfo>
#include <QSerialPort>
#include <QSerialPortInfo>
#include <QTimer>

#include <chrono>
#include <cmath>

#ifdef Q_OS_UNIX
#include <cerrno>
#include <poll.h>
#endif

namespace korvel {

namespace {

ClockFunction& clockOverride() {
    static ClockFunction clock;
    return clock;
}

QString portLabel(const TransportSettings& s, const char* kind) {
    return QStringLiteral("Can't open Device ") + QString::fromLatin1(kind) +
           QString::fromStdString(s.comPort) + QStringLiteral("!\r\n");
}

bool allDigits(const std::string& text) {
    if (text.empty())
        return false;
    for (char c : text)
        if (c < '0' || c > '9')
            return false;
    return true;
}

std::string trimmed(std::string text) {
    const auto first = text.find_first_not_of(' ');
    if (first == std::string::npos)
        return {};
    const auto last = text.find_last_not_of(' ');
    return text.substr(first, last - first + 1);
}

} // namespace

double clockSeconds() {
    if (clockOverride())
        return clockOverride()();
    const auto now = std::chrono::steady_clock::now().time_since_epoch();
    const double seconds = std::chrono::duration<double>(now).count();
    return std::round(seconds * 10000.0) / 10000.0;
}

void setClockSeconds(ClockFunction clock) {
    clockOverride() = std::move(clock);
}

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

std::vector<std::string> fillDeviceList(const QString& openPortName) {
    std::vector<std::string> entries;
    bool openPortListed = openPortName.isEmpty();
    for (const QSerialPortInfo& port : QSerialPortInfo::availablePorts()) {
        entries.push_back(serialPortEntry(port.portName().toStdString()));
        if (port.systemLocation() == openPortName || port.portName() == openPortName)
            openPortListed = true;
    }
    // The port the link holds open is listed even where the system does not enumerate it (pseudo-terminals).
    if (!openPortListed)
        entries.push_back(serialPortEntry(openPortName.toStdString()));
    // A running virtual adapter, found by the link it keeps to its terminal.
    const QString simLink = virtualAdapterLinkPath();
    const QFileInfo simTarget(simLink);
    if (!simLink.isEmpty() && simLink != openPortName && simTarget.isSymLink() && simTarget.exists() &&
        !simTarget.isDir() && !simTarget.isFile())
        entries.push_back(serialPortEntry(simLink.toStdString()));

    uint32_t count = 0;
    if (basD2XX::FT_ListDevices(&count, nullptr, basD2XX::FT_LIST_NUMBER_ONLY) == basD2XX::FT_OK) {
        constexpr uint32_t kMaxDevices = 64; // a library that reports nonsense must not stall the dialog
        int unnamed = 0;
        for (uint32_t i = 0; i < count && i < kMaxDevices; ++i) {
            char buffer[257] = {};
            void* index = reinterpret_cast<void*>(static_cast<uintptr_t>(i));
            std::string description = "Unknown";
            if (basD2XX::FT_ListDevices(index, buffer,
                                        basD2XX::FT_LIST_BY_INDEX | basD2XX::FT_OPEN_BY_DESCRIPTION) ==
                basD2XX::FT_OK)
                description.assign(buffer);
            const std::string noise = " please insert CD!";
            for (auto pos = description.find(noise); pos != std::string::npos; pos = description.find(noise))
                description.erase(pos, noise.size());

            std::fill(std::begin(buffer), std::end(buffer), '\0');
            std::string serial;
            if (basD2XX::FT_ListDevices(index, buffer,
                                        basD2XX::FT_LIST_BY_INDEX | basD2XX::FT_OPEN_BY_SERIAL_NUMBER) ==
                basD2XX::FT_OK)
                serial.assign(buffer);
            else
                serial = std::to_string(unnamed++);
            entries.push_back(trimmed(description) + " " + trimmed(serial));
        }
    }
    appendSocketCanDevices(entries);
    entries.emplace_back("PEAKUSB");
    return entries;
}

std::string linkTroubleText(const LinkCounters& counters) {
    std::string text;
    const auto add = [&text](const char* what, uint64_t count) {
        if (count == 0)
            return;
        if (!text.empty())
            text += "  ";
        text += what;
        text += std::to_string(count);
    };
    add("Not sent: ", counters.notSent);
    add("Refused: ", counters.refused);
    add("Bad lines: ", counters.malformed);
    return text;
}

LinkTransport::LinkTransport() = default;

LinkTransport::~LinkTransport() {
    closeTransport();
}

bool LinkTransport::isSerialOpen() const {
    return comCAN_ && comCAN_->isOpen();
}

bool LinkTransport::openTransport(const TransportSettings& s) {
    kind_ = s.deviceKind;
    lost_ = false;
    carryOver_.clear();
    awaitedAnswers_.clear();
    counters_ = {};
    flushBeforeCommand_ = true;
    switch (s.deviceKind) {
    case 1: {
        if (isSerialOpen())
            comCAN_->close();
        comCAN_ = std::make_unique<QSerialPort>();
        comCAN_->setPortName(serialPortName(s.comPort));
        comCAN_->setFlowControl(s.rtsHandshake ? QSerialPort::HardwareControl : QSerialPort::NoFlowControl);
        const bool speedValid = allDigits(s.comBaudrate) && s.comBaudrate.size() <= 9;
        if (!speedValid) {
            prompts().critical(portLabel(s, "COM") + QStringLiteral("Invalid baud rate"));
            return false;
        }
        comCAN_->setBaudRate(std::stoi(s.comBaudrate));
        comCAN_->setDataBits(QSerialPort::Data8);
        comCAN_->setParity(QSerialPort::NoParity);
        comCAN_->setStopBits(QSerialPort::OneStop);
        if (s.comPort.empty() || !comCAN_->open(QIODevice::ReadWrite)) {
            const QString reason =
                s.comPort.empty() ? QStringLiteral("No port selected") : comCAN_->errorString();
            prompts().critical(portLabel(s, "COM") + reason);
            comCAN_.reset();
            return false;
        }
        connect(comCAN_.get(), &QSerialPort::errorOccurred, this, [this](QSerialPort::SerialPortError error) {
            // An unplugged adapter shows up as either error, possibly repeated at full speed. So does a slow
            // one whose buffer is full (EAGAIN), which is no loss: its bytes wait in the port.
            if ((error == QSerialPort::ReadError || error == QSerialPort::ResourceError) &&
                serialDeviceGone())
                markLost();
        });
        return true;
    }
    case 2: {
        // Without the library every call fails with a status that means nothing to the user; say once
        // what is missing instead, and stop the sequence.
        if (!basD2XX::libraryAvailable()) {
            prompts().critical(portLabel(s, "USB") + QString::fromLatin1(basD2XX::kMissingLibraryText));
            return false;
        }
        char serial[256] = {};
        s.comPort.copy(serial, sizeof serial - 1);
        ftdiOpen_ = false;
        basD2XX::FT_HANDLE handle = nullptr;
        const uint32_t status = basD2XX::FT_OpenEx(serial, basD2XX::FT_OPEN_BY_SERIAL_NUMBER, &handle);
        if (status != basD2XX::FT_OK) {
            prompts().critical(portLabel(s, "USB") + QStringLiteral("Error ") + QString::number(status));
        } else {
            ftdiHandle_ = handle;
            ftdiOpen_ = true;
            basD2XX::FT_SetTimeouts(ftdiHandle_, kFtdiReadTimeoutMs, kFtdiWriteTimeoutMs);
        }
        // The FTDI link always runs at 57600 bit/s.
        const uint32_t baudStatus = ftdiOpen_ ? basD2XX::FT_SetBaudRate(ftdiHandle_, 57600)
                                              : static_cast<uint32_t>(3 /* not opened */);
        if (baudStatus != basD2XX::FT_OK)
            prompts().critical(portLabel(s, "USB") + QStringLiteral("Error ") + QString::number(baudStatus));
        return true;
    }
    case 3:
        if (!pcan_usb::libraryAvailable()) {
            prompts().critical(QStringLiteral("Can't open Device PEAKUSB!\r\n") +
                               QString::fromLatin1(pcan_usb::kMissingLibraryText));
            return false;
        }
        return true;
    case 4:
        return openSocketCan(s);
    default:
        prompts().critical(QStringLiteral("No CAN Device selected!"));
        return true;
    }
}

void LinkTransport::waitForSerialData(int milliseconds) {
    // Blocks in the event loop until data arrives or the slice ends, so waiting never spins a core.
    QEventLoop loop;
    QTimer slice;
    slice.setSingleShot(true);
    connect(&slice, &QTimer::timeout, &loop, &QEventLoop::quit);
    connect(comCAN_.get(), &QSerialPort::readyRead, &loop, &QEventLoop::quit);
    connect(this, &LinkTransport::adapterVanished, &loop, &QEventLoop::quit);
    slice.start(milliseconds);
    loop.exec();
}

std::string LinkTransport::sendSerialCommand(std::string_view command) {
    if (!isSerialOpen() || lost_ || cancelled_)
        return {};
    // Input from before the first command is stale; later, an open channel's frames are never thrown away.
    if (flushBeforeCommand_) {
        comCAN_->readAll();
        carryOver_.clear();
        flushBeforeCommand_ = false;
    }
    const WaitScope waiting(waitingForReply_);
    // A command's wait may take the answers of frames sent before it: start the count of answers afresh.
    awaitedAnswers_.clear();
    const double start = clockSeconds();
    std::string reply;
    for (int attempt = 0; attempt < 3; ++attempt) {
        collector_.begin(carryOver_);
        const std::string line = std::string(command) + '\r';
        writeSerial(line);
        bool complete = false;
        while (!complete && clockSeconds() - start < kReplyBudgetSeconds) {
            waitForSerialData(10);
            if (!isSerialOpen() || lost_ || cancelled_)
                break;
            if (comCAN_->bytesAvailable() > 0)
                complete = collector_.add(comCAN_->readAll().toStdString(), carryOver_);
        }
        reply = collector_.finish(carryOver_);
        boundCarryOver();
        if (!isSerialOpen() || lost_ || cancelled_ || reply.find('\a') == std::string::npos)
            return reply;
    }
    return reply;
}

std::string LinkTransport::sendUsbCommand(std::string_view command) {
    if (!ftdiOpen_ || lost_ || cancelled_)
        return {};
    const WaitScope waiting(waitingForReply_);
    awaitedAnswers_.clear();
    const std::string line = std::string(command) + '\r';
    uint32_t written = 0;
    basD2XX::FT_Write(ftdiHandle_, line.data(), static_cast<uint32_t>(line.size()), &written);

    collector_.begin(carryOver_);
    bool complete = false;
    bool timedOut = false;
    bool failed = false;
    // Frames of a busy bus keep coming; a peer that never replies must not keep the loop going forever.
    constexpr std::size_t kMaxBytesPerWait = 64 * 1024;
    for (std::size_t n = 0; !complete && !timedOut && !failed && !cancelled_ && n < kMaxBytesPerWait; ++n) {
        char byte = 0;
        uint32_t count = 0;
        const uint32_t status = basD2XX::FT_Read(ftdiHandle_, &byte, 1, &count);
        if (status != basD2XX::FT_OK && status != basD2XX::FT_IO_ERROR)
            failed = true;
        else if (count < 1)
            timedOut = true;
        else
            complete = collector_.add(std::string_view(&byte, 1), carryOver_);
        QCoreApplication::processEvents();
    }
    std::string reply = collector_.finish(carryOver_);
    boundCarryOver();
    return reply;
}

std::string LinkTransport::sendCommand(std::string_view command) {
    switch (kind_) {
    case 1:
        return sendSerialCommand(command);
    case 2:
        return sendUsbCommand(command);
    default:
        return {};
    }
}

bool LinkTransport::readAvailable(std::string& text) {
    text.clear();
    switch (kind_) {
    case 1:
        if (!isSerialOpen())
            return false;
        text.swap(carryOver_);
        carryOver_.clear();
        // While a command waits, what the port holds is the wait's: the reply, or the rest of a line it
        // holds.
        if (!waitingForReply_ && comCAN_->bytesAvailable() > 0)
            text += comCAN_->readAll().toStdString();
        if (lost_) {
            // What was buffered before the loss is handed on; the port closes now.
            closeTransport();
            return false;
        }
        return true;
    case 2: {
        if (!ftdiOpen_ || lost_)
            return false;
        text.swap(carryOver_);
        carryOver_.clear();
        if (waitingForReply_)
            return true;
        uint32_t waiting = 0;
        if (basD2XX::FT_GetQueueStatus(ftdiHandle_, &waiting) != basD2XX::FT_OK) {
            markLost();
            return false;
        }
        char buffer[kFtdiReadChunk];
        while (waiting > 0) {
            const uint32_t ask = waiting < kFtdiReadChunk ? waiting : kFtdiReadChunk;
            uint32_t got = 0;
            if (basD2XX::FT_Read(ftdiHandle_, buffer, ask, &got) != basD2XX::FT_OK) {
                markLost();
                return false;
            }
            text.append(buffer, got < ask ? got : ask);
            waiting -= ask;
        }
        return true;
    }
    case 3:
        return !lost_;
    default:
        return true;
    }
}

void LinkTransport::boundCarryOver() {
    if (carryOver_.size() <= kMaxCarryOver)
        return;
    // The oldest whole lines go, so what stays still begins at the start of a line.
    const auto cut = carryOver_.find_first_of("\r\a", carryOver_.size() - kMaxCarryOver);
    carryOver_.erase(0, cut == std::string::npos ? carryOver_.size() : cut + 1);
}

uint32_t LinkTransport::readPeakMessage(PeakMessage& message) {
    const uint32_t status = pcan_usb::CAN_Read(&message);
    if (isFatalPeakStatus(status))
        markLost();
    return status;
}

bool LinkTransport::isFatalPeakStatus(uint32_t status) {
    if (status == pcan_usb::kLibraryUnavailable)
        return true;
    // No driver, illegal hardware/net/client, or a channel that is no longer initialised.
    constexpr uint32_t kFatal = 0x200 | 0x1400 | 0x1800 | 0x1C00 | 0x4000000;
    return (status & kFatal) != 0;
}

bool LinkTransport::writeFrame(std::string_view idText, std::string_view dlcText, std::string_view dataText,
                               int tag) {
    if (lost_)
        return false;
    switch (kind_) {
    case 1:
    case 2:
        return writeFrameText(encodeFrameLine(idText, dlcText, dataText) + '\r', tag);
    case 3: {
        PeakMessage message = peakMessageFromRow(idText, dlcText, dataText);
        pcan_usb::CAN_Write(&message);
        break;
    }
    case 4:
        return writeSocketCanFrame(idText, dlcText, dataText);
    default:
        break;
    }
    return true;
}

bool LinkTransport::writeFrameText(const std::string& text, int tag) {
    bool written = false;
    if (kind_ == 1 && isSerialOpen()) {
        // Behind by more than a moment: this frame goes, the link stays.
        if (pendingSerialBytes() + text.size() > kMaxSerialBacklog) {
            ++counters_.notSent;
            return false;
        }
        written = writeSerial(text);
    } else if (kind_ == 2 && ftdiOpen_) {
        uint32_t count = 0;
        written = basD2XX::FT_Write(ftdiHandle_, text.data(), static_cast<uint32_t>(text.size()), &count) ==
                      basD2XX::FT_OK &&
                  count == text.size();
    }
    if (written) {
        if (awaitedAnswers_.size() >= kMaxAwaitedAnswers)
            awaitedAnswers_.pop_front();
        awaitedAnswers_.push_back(tag);
    }
    return written;
}

int LinkTransport::frameAnswered(bool refused) {
    // A BELL with no frame waiting answered a command, not a frame.
    if (awaitedAnswers_.empty())
        return 0;
    if (refused)
        ++counters_.refused;
    const int tag = awaitedAnswers_.front();
    awaitedAnswers_.pop_front();
    return tag;
}

bool LinkTransport::writeSerial(std::string_view text) {
    const bool whole =
        comCAN_->write(text.data(), static_cast<qint64>(text.size())) == static_cast<qint64>(text.size());
    // Out now, not at the event loop's next turn, which a poll or a repaint may hold up: a periodic row or a
    // replayed line keeps its time on the wire.
    comCAN_->flush();
    return whole;
}

bool LinkTransport::writeFrameLine(std::string_view line) {
    if (lost_)
        return false;
    return writeFrameText(std::string(line) + '\r', 0);
}

bool LinkTransport::writePeakMessage(const PeakMessage& message) {
    if (lost_ || kind_ != 3)
        return false;
    PeakMessage copy = message;
    return pcan_usb::CAN_Write(&copy) == 0;
}

std::size_t LinkTransport::pendingSerialBytes() const {
    return kind_ == 1 && isSerialOpen() ? static_cast<std::size_t>(comCAN_->bytesToWrite()) : 0;
}

void LinkTransport::closeTransport() {
    switch (kind_) {
    case 1:
        if (comCAN_) {
            comCAN_->disconnect(this);
            if (comCAN_->isOpen())
                comCAN_->close();
        }
        break;
    case 2:
        if (ftdiOpen_) {
            basD2XX::FT_Close(ftdiHandle_);
            ftdiOpen_ = false;
        }
        break;
    case 3:
        pcan_usb::CAN_Close();
        break;
    case 4:
        socketCan_.reset();
        break;
    default:
        break;
    }
}

bool LinkTransport::serialDeviceGone() const {
#ifdef Q_OS_UNIX
    if (!isSerialOpen())
        return true;
    // A device that was unplugged, or a terminal whose other end closed, is hung up: poll says so at once,
    // whatever the last error was.
    pollfd probe{static_cast<int>(comCAN_->handle()), POLLOUT, 0};
    int ready = 0;
    do
        ready = ::poll(&probe, 1, 0);
    while (ready < 0 && errno == EINTR);
    return ready < 0 || (probe.revents & (POLLHUP | POLLERR | POLLNVAL)) != 0;
#else
    return true;
#endif
}

void LinkTransport::markLost() {
    if (lost_)
        return;
    lost_ = true;
    if (comCAN_)
        comCAN_->disconnect(this); // Qt may repeat the error at full speed; one report is enough
    emit adapterVanished();
}

} // namespace korvel
