#include "receive/recordingLimit.h"

#include <cstdio>

namespace korvel {

RecordingRoom recordingRoom(std::size_t textBytes, int64_t limitBytes) {
    const auto bytes = static_cast<long double>(textBytes);
    const auto limit = static_cast<long double>(limitBytes < 1 ? 1 : limitBytes);
    if (bytes >= limit)
        return RecordingRoom::full;
    return bytes >= limit * 0.9L ? RecordingRoom::nearlyFull : RecordingRoom::plenty;
}

std::string recordingLimitText(int64_t limitBytes) {
    char text[48];
    std::snprintf(text, sizeof text, "%.4g MB", static_cast<double>(limitBytes) / (1024.0 * 1024.0));
    return text;
}

std::string recordingNearlyFullText(int64_t limitBytes) {
    return "Tracer 90 % full (limit " + recordingLimitText(limitBytes) + ")";
}

std::string recordingFullText(int64_t limitBytes) {
    return "Recording stopped: the Tracer holds " + recordingLimitText(limitBytes) +
           ", its limit.\nSave the trace and clear the Tracer to record more. The limit is LimitMB in "
           "section [Recording] of the settings file.";
}

} // namespace korvel
