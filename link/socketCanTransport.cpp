// The transport's side of a CAN network interface: opening its raw socket with the usual open message,
// its filter, and the frames transmit rows send.

#include "core/prompts.h"
#include "link/canInterfaces.h"
#include "link/socketCan.h"
#include "link/transport.h"

namespace korvel {

namespace {

SocketCanFilter filterOf(const TransportSettings& s) {
    return socketCanFilter(s.maskFilter, s.acceptanceMaskInv, s.acceptanceCodeMasked);
}

} // namespace

bool LinkTransport::openSocketCan(const TransportSettings& s) {
    socketCan_ = std::make_unique<SocketCanLink>();
    QString reason;
    if (!socketCan_->open(s.comPort, filterOf(s), reason)) {
        socketCan_.reset();
        prompts().critical(QStringLiteral("Can't open Device ") +
                           QString::fromStdString(socketCanDeviceText(s.comPort)) + QStringLiteral("!\r\n") +
                           reason);
        return false;
    }
    connect(socketCan_.get(), &SocketCanLink::linkLost, this, &LinkTransport::markLost);
    return true;
}

void LinkTransport::applySocketCanFilter(const TransportSettings& s) {
    if (socketCan_)
        socketCan_->setFilter(filterOf(s));
}

bool LinkTransport::writeSocketCanFrame(std::string_view idText, std::string_view dlcText,
                                        std::string_view dataText) {
    CanWireFrame frame;
    return socketCan_ && wireFrameFromRow(idText, dlcText, dataText, frame) && socketCan_->write(frame);
}

} // namespace korvel
