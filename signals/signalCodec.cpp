#include "signals/signalCodec.h"

namespace korvel {

void decodeMessage(const MessageDef& message, const uint8_t*, int, std::vector<DecodedSignal>& out) {
    out.assign(message.signals.size(), DecodedSignal{});
}

bool encodeSignal(const SignalDef&, double, uint8_t[8]) {
    return false;
}

std::string signalValueText(const DecodedSignal&) {
    return {};
}

bool parseSignalValue(const SignalDef&, std::string_view, double&) {
    return false;
}

} // namespace korvel
