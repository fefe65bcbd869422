#include "link/transport.h"

#include "core/basGlobal.h"
#include "core/prompts.h"
#include "link/basD2XX.h"
#include "link/canInterfaceLink.h"
#include "link/canInterfaces.h"
#include "link/deviceChoice.h"
#include "link/ftdiLink.h"
#include "link/pcan_usb.h"
#include "link/peakLink.h"
#include "link/virtualAdapterLink.h"

#include <QFileInfo>
#include <QSerialPortInfo>

#include <chrono>
#include <cmath>

namespace korvel {

namespace {

ClockFunction& clockOverride() {
    static ClockFunction clock;
    return clock;
}

std::string trimmed(std::string text) {
    const auto first = text.find_first_not_of(' ');
    if (first == std::string::npos)
        return {};
    const auto last = text.find_last_not_of(' ');
    return text.substr(first, last - first + 1);
}

// No device chosen: the sequence says so and finds nobody answering.
class NoLink final : public CanLink {
public:
    bool open(const TransportSettings&) override {
        prompts().critical(QStringLiteral("No CAN Device selected!"));
        return true;
    }
    StartOutcome start(const TransportSettings&, SequenceHost& host) override {
        return {host.cancelled() ? StartOutcome::cancelled : StartOutcome::notResponding};
    }
    void close() override {}
    void applyFilter(const TransportSettings&, SequenceHost&) override {}
    bool send(const CanFrame&, int) override { return true; }
    bool receive(ArrivedFrames&, const ReceiveContext&) override { return true; }
    [[nodiscard]] bool usable() const override { return false; }
};

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

std::unique_ptr<CanLink> makeCanLink(int deviceKind) {
    switch (deviceKind) {
    case deviceCom:
        return std::make_unique<SerialLink>();
    case deviceUsb:
        return std::make_unique<FtdiLink>();
    case devicePeakUsb:
        return std::make_unique<PeakLink>();
    case deviceSocketCan:
        return std::make_unique<CanInterfaceLink>();
    default:
        return std::make_unique<NoLink>();
    }
}

LinkTransport::LinkTransport() = default;

LinkTransport::~LinkTransport() {
    closeTransport();
}

bool LinkTransport::openTransport(const TransportSettings& settings) {
    if (!link_ || kind_ != settings.deviceKind) {
        link_ = makeCanLink(settings.deviceKind);
        kind_ = settings.deviceKind;
        connect(link_.get(), &CanLink::vanished, this, &LinkTransport::adapterVanished);
    }
    return link_->open(settings);
}

void LinkTransport::closeTransport() {
    if (link_)
        link_->close();
}

const LinkCounters& LinkTransport::counters() const {
    static const LinkCounters none;
    return link_ ? link_->counters() : none;
}

bool LinkTransport::writeFrame(std::string_view idText, std::string_view dlcText, std::string_view dataText,
                               int tag) {
    return !link_ || link_->send(frameFromRow(idText, dlcText, dataText), tag);
}

std::string LinkTransport::sendCommand(std::string_view command) {
    auto* ascii = dynamic_cast<AsciiLink*>(link_.get());
    return ascii ? ascii->sendCommand(command) : std::string();
}

bool LinkTransport::readAvailable(std::string& text) {
    text.clear();
    auto* ascii = dynamic_cast<AsciiLink*>(link_.get());
    if (ascii)
        return ascii->readAvailable(text);
    return !adapterLost();
}

void LinkTransport::setCommandsCancelled(bool cancelled) {
    if (auto* ascii = dynamic_cast<AsciiLink*>(link_.get()))
        ascii->setCommandsCancelled(cancelled);
}

bool LinkTransport::isSerialOpen() const {
    const auto* serial = dynamic_cast<const SerialLink*>(link_.get());
    return serial && serial->isOpen();
}

QSerialPort* LinkTransport::serialPort() const {
    const auto* serial = dynamic_cast<const SerialLink*>(link_.get());
    return serial ? serial->port() : nullptr;
}

std::size_t LinkTransport::pendingSerialBytes() const {
    const auto* serial = dynamic_cast<const SerialLink*>(link_.get());
    return serial ? serial->pendingBytes() : 0;
}

uint32_t LinkTransport::readPeakMessage(PeakMessage& message) {
    auto* peak = dynamic_cast<PeakLink*>(link_.get());
    return peak ? peak->readMessage(message) : pcan_usb::kLibraryUnavailable;
}

bool LinkTransport::isFatalPeakStatus(uint32_t status) {
    return PeakLink::isFatalStatus(status);
}

SocketCanLink* LinkTransport::socketCan() const {
    const auto* can = dynamic_cast<const CanInterfaceLink*>(link_.get());
    return can ? can->socket() : nullptr;
}

} // namespace korvel
