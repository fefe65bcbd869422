#include "receive/monitorHighlight.h"

#include <algorithm>
#include <chrono>

namespace korvel {

namespace {

constexpr std::string_view kSection = "Monitor";
constexpr std::string_view kKey = "ChangeHighlight";

} // namespace

double monotonicSeconds() {
    return std::chrono::duration<double>(std::chrono::steady_clock::now().time_since_epoch()).count();
}

bool markChangedBytes(std::string_view oldData, std::string_view newData, double now,
                      ByteChangeTimes& changedAt) {
    if (newData == "RTR")
        return false;
    const bool wasRemote = oldData == "RTR";
    bool any = false;
    for (std::size_t i = 0; i < changedAt.size() && 3 * i + 1 < newData.size(); ++i) {
        const std::size_t at = 3 * i;
        if (!wasRemote && at + 1 < oldData.size() && oldData[at] == newData[at] &&
            oldData[at + 1] == newData[at + 1])
            continue;
        changedAt[i] = now;
        any = true;
    }
    return any;
}

uint8_t changeHeat(double changedAt, double now) {
    const double age = now - changedAt;
    if (!(age < kChangeFadeSeconds))
        return 0;
    const double left = 1.0 - std::max(age, 0.0) / kChangeFadeSeconds;
    return static_cast<uint8_t>(std::clamp(left * 255.0 + 0.5, 1.0, 255.0));
}

double quietAfterSeconds(int64_t periodMs) {
    if (periodMs <= 0)
        return kSilentWithoutPeriodSeconds;
    return std::max(3.0 * static_cast<double>(periodMs) / 1000.0, kSilentFloorSeconds);
}

bool readChangeHighlight(const IniDocument& ini) {
    return iniInteger(ini, kSection, kKey, 1) != 0;
}

void writeChangeHighlight(IniDocument& ini, bool on) {
    if (on && !ini.value(kSection, kKey))
        return;
    ini.setValue(kSection, kKey, on ? "1" : "0");
}

} // namespace korvel
