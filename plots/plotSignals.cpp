#include "plots/plotSignals.h"

namespace korvel {

bool signalPickValue(const SignalPick& pick, const uint8_t* data, int length,
                     std::vector<DecodedSignal>& scratch, double& value) {
    decodeMessage(pick.message, data, length, scratch);
    const auto index = static_cast<std::size_t>(pick.signalIndex);
    if (index >= scratch.size() || !scratch[index].present)
        return false;
    value = scratch[index].physical;
    return true;
}

std::string signalPickName(const SignalPick& pick) {
    return pick.message.name + "." + pick.message.signalList[static_cast<std::size_t>(pick.signalIndex)].name;
}

} // namespace korvel
