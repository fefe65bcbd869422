#include "link/socketCanFrame.h"

#ifdef __linux__
#include <linux/can.h>
#include <linux/can/error.h>
#endif

namespace korvel {

#ifdef __linux__
static_assert(sizeof(CanWireFrame) == sizeof(can_frame) && offsetof(can_frame, data) == 8);
static_assert(kCanEffFlag == CAN_EFF_FLAG && kCanRtrFlag == CAN_RTR_FLAG && kCanErrFlag == CAN_ERR_FLAG);
static_assert(kCanSffMask == CAN_SFF_MASK && kCanEffMask == CAN_EFF_MASK && kCanErrBusOff == CAN_ERR_BUSOFF);
#endif

CanFrame frameFromSocketCan(const ReceivedCanFrame& received, char decimalSeparator) {
    const CanWireFrame& wire = received.wire;
    PeakMessage message;
    const bool extended = (wire.canId & kCanEffFlag) != 0;
    message.id = wire.canId & (extended ? kCanEffMask : kCanSffMask);
    message.msgType = static_cast<uint8_t>((extended ? kPeakExtended : 0) |
                                           ((wire.canId & kCanRtrFlag) != 0 ? kPeakRemote : 0));
    message.len = wire.len > 8 ? 8 : wire.len;
    message.data = wire.data;
    return frameFromPeakMessage(message, received.secondsSinceMidnight, decimalSeparator);
}

bool wireFrameFromRow(std::string_view idText, std::string_view dlcText, std::string_view dataText,
                      CanWireFrame& frame) {
    if (idText.empty())
        return false;
    const PeakMessage message = peakMessageFromRow(idText, dlcText, dataText);
    const bool extended = (message.msgType & kPeakExtended) != 0;
    if (message.id > (extended ? kCanEffMask : kCanSffMask))
        return false;
    frame = CanWireFrame{};
    frame.canId =
        message.id | (extended ? kCanEffFlag : 0) | ((message.msgType & kPeakRemote) != 0 ? kCanRtrFlag : 0);
    frame.len = message.len;
    if ((message.msgType & kPeakRemote) == 0)
        frame.data = message.data;
    return true;
}

SocketCanFilter socketCanFilter(bool maskFilterOn, int32_t acceptanceMaskInv, int32_t acceptanceCodeMasked) {
    if (!maskFilterOn)
        return {0, 0}; // a zero mask passes every frame
    const uint32_t relevant = static_cast<uint32_t>(acceptanceMaskInv) & kCanEffMask;
    return {static_cast<uint32_t>(acceptanceCodeMasked) & relevant, relevant};
}

} // namespace korvel
