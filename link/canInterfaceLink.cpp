#include "link/canInterfaceLink.h"

#include "core/prompts.h"
#include "link/canInterfaces.h"
#include "link/socketCan.h"

namespace korvel {

namespace {

SocketCanFilter filterOf(const TransportSettings& s) {
    return socketCanFilter(s.maskFilter, s.acceptanceMaskInv, s.acceptanceCodeMasked);
}

} // namespace

CanInterfaceLink::CanInterfaceLink() = default;
CanInterfaceLink::~CanInterfaceLink() = default;

bool CanInterfaceLink::open(const TransportSettings& s) {
    lost_ = false;
    counters_ = {};
    socket_ = std::make_unique<SocketCanLink>();
    QString reason;
    if (!socket_->open(s.comPort, filterOf(s), reason)) {
        socket_.reset();
        prompts().critical(QStringLiteral("Can't open Device ") +
                           QString::fromStdString(socketCanDeviceText(s.comPort)) + QStringLiteral("!\r\n") +
                           reason);
        return false;
    }
    connect(socket_.get(), &SocketCanLink::linkLost, this, &CanInterfaceLink::markLost);
    return true;
}

StartOutcome CanInterfaceLink::start(const TransportSettings& s, SequenceHost&) {
    // No commands and no bit timing: the status bar says who set them rather than showing a bitrate Korvel
    // did not set.
    StartOutcome outcome;
    outcome.connectedDevice = QStringLiteral("Connected to ") + QString::fromStdString(s.comPort);
    outcome.connectedParameters = QStringLiteral("Bitrate and listen-only: set by the system");
    return outcome;
}

void CanInterfaceLink::close() {
    socket_.reset();
}

void CanInterfaceLink::applyFilter(const TransportSettings& s, SequenceHost&) {
    if (socket_)
        socket_->setFilter(filterOf(s));
}

bool CanInterfaceLink::send(const CanFrame& frame, int) {
    if (lost_ || !socket_)
        return false;
    const char dlc = static_cast<char>('0' + (frame.dlc > 9 ? 9 : frame.dlc));
    CanWireFrame wire;
    return wireFrameFromRow(frame.idText.view(), std::string_view(&dlc, 1), frame.dataText.view(), wire) &&
           socket_->write(wire);
}

bool CanInterfaceLink::receive(ArrivedFrames& arrived, const ReceiveContext& context) {
    if (!socket_)
        return false;
    std::span<const ReceivedCanFrame> received;
    const bool ok = socket_->receive(received);
    // Each frame carries the kernel's receive time, so the Tracer keeps the real spacing of frames that one
    // poll collects.
    for (const ReceivedCanFrame& record : received)
        arrived.frames.push_back(frameFromSocketCan(record, context.decimalSeparator));
    return ok;
}

bool CanInterfaceLink::usable() const {
    return socket_ && socket_->isOpen() && !lost_;
}

LinkHealth CanInterfaceLink::health() const {
    LinkHealth health;
    if (socket_)
        health.droppedReceived = socket_->droppedReceived();
    return health;
}

} // namespace korvel
