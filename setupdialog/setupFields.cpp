#include "setupFields.h"

#include <algorithm>
#include <cstdio>
#include <cstring>

std::string btrValueText(int32_t value) {
    char text[16];
    std::snprintf(text, sizeof text, "%04X", static_cast<unsigned>(value));
    return text;
}

int32_t parseBtrValue(std::string_view text) {
    constexpr std::size_t maxChars = 11;
    char buffer[maxChars + 1] = {};
    text.copy(buffer, maxChars);
    // Eleven characters hold at most 44 bits, so "%llx" cannot overflow where "%x" into 32 bits could;
    // keeping the low 32 bits gives what the C runtimes' "%x" gives.
    unsigned long long value = 0;
    if (std::sscanf(buffer, "%llx", &value) != 1) {
        return 0;
    }
    return static_cast<int32_t>(static_cast<uint32_t>(value));
}

std::string_view serialNumberText(const SetupRecord& record) {
    const char* text = record.serialNumber;
    const auto* end = std::find(text, text + sizeof record.serialNumber, '\0');
    return {text, static_cast<std::size_t>(end - text)};
}

void storeSerialNumber(SetupRecord& record, std::string_view text) {
    record.serialNumber[0] = '\0';
    if (!text.empty() && text.size() < sizeof record.serialNumber - 1) {
        std::memcpy(record.serialNumber, text.data(), text.size());
        record.serialNumber[text.size()] = '\0';
    }
}
