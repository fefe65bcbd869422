#include "transmit/txFieldRules.h"

#include "core/numberText.h"

#include <cmath>

namespace korvel {

namespace {

bool isControlKey(char c) {
    return c == kCtrlC || c == kBackspace || c == kCtrlV;
}

} // namespace

std::optional<char> hexFieldKey(char typed) {
    const char c = toUpperAscii(typed);
    if (isControlKey(c) || (c >= '0' && c <= '9') || (c >= 'A' && c <= 'F'))
        return c;
    return std::nullopt;
}

bool dlcFieldAccepts(char typed) {
    return typed == kBackspace || (typed >= '0' && typed <= '8');
}

bool periodFieldAccepts(char typed) {
    return isControlKey(typed) || (typed >= '0' && typed <= '9');
}

std::optional<char> triggerDataKey(char typed) {
    const char c = toUpperAscii(typed);
    if (c == '*' || c == ' ')
        return c;
    return hexFieldKey(c);
}

std::string padIdText(std::string_view text, bool extended) {
    const std::size_t width = extended ? kExtendedIdLength : kStandardIdLength;
    std::string padded(width, '0');
    padded.append(text);
    return padded.substr(padded.size() - width);
}

std::string padByteText(std::string_view text) {
    std::string padded(text);
    if (padded.size() < 2)
        padded.insert(0, 2 - padded.size(), '0');
    return padded;
}

std::string writeByteIntoData(std::string_view data, int k, std::string_view byteText) {
    std::string result(data);
    result.append(26, ' ');
    const std::size_t at = 3 * static_cast<std::size_t>(k < 0 ? 0 : k);
    const std::size_t count = byteText.size() < 2 ? byteText.size() : 2;
    if (at + count <= result.size())
        result.replace(at, count, byteText.substr(0, count));
    result.resize(kDataTextLength);
    return result;
}

std::string byteOfData(std::string_view data, int k) {
    const std::size_t at = 3 * static_cast<std::size_t>(k < 0 ? 0 : k);
    return at < data.size() ? std::string(data.substr(at, 2)) : std::string();
}

std::string formatTriggerData(std::string_view text) {
    std::string compact;
    for (char c : text)
        if (c != ' ')
            compact.push_back(c);
    std::string formatted;
    for (std::size_t i = 0; i < compact.size(); ++i) {
        formatted.push_back(compact[i]);
        if (i % 2 == 1 && i + 1 < compact.size())
            formatted.push_back(' ');
    }
    return formatted;
}

bool matchTriggerData(std::string_view dataText, std::string_view pattern) {
    if (dataText.size() != pattern.size())
        return false;
    for (std::size_t i = 0; i < pattern.size(); ++i)
        if (pattern[i] != '*' && pattern[i] != dataText[i])
            return false;
    return true;
}

int periodFromNumber(double value) {
    if (!std::isfinite(value) || value <= 0)
        return 0;
    const int32_t rounded = roundHalfEven(value);
    return rounded > kMaxPeriodMs ? kMaxPeriodMs : rounded;
}

int periodFromText(std::string_view text) {
    return periodFromNumber(readNumber(text));
}

std::optional<int> modeEntryForColumn(std::string_view mode) {
    if (mode == "0" || readNumber(mode) > 0)
        return txModePeriodic;
    for (int entry : {txModeOff, txModeRtr, txModeTrigger})
        if (mode == kTxModeNames[entry])
            return entry;
    return std::nullopt;
}

} // namespace korvel
