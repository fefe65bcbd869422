#include "transmit/txWire.h"

#include "core/numberText.h"

namespace korvel {

namespace {

std::optional<std::string> upperHexDigits(std::string_view text) {
    std::string out;
    out.reserve(text.size());
    for (char c : text) {
        if (!isHexDigit(c))
            return std::nullopt;
        out.push_back(toUpperAscii(c));
    }
    return out;
}

} // namespace

std::optional<WireFrame> wireFrameFromRow(std::string_view idText, std::string_view dlcText,
                                          std::string_view dataText) {
    if (idText.size() != 3 && idText.size() != 8)
        return std::nullopt;
    auto id = upperHexDigits(idText);
    if (!id)
        return std::nullopt;
    const uint32_t value = static_cast<uint32_t>(readHexNumber(*id));
    if (value > (idText.size() == 3 ? 0x7FFu : 0x1FFFFFFFu))
        return std::nullopt;
    if (dlcText.size() != 1 || dlcText[0] < '0' || dlcText[0] > '8')
        return std::nullopt;

    WireFrame frame{std::move(*id), std::string(dlcText), {}};
    if (dataText == "RTR") {
        frame.dataText = "RTR";
        return frame;
    }
    const int dlc = dlcText[0] - '0';
    for (int k = 0; k < dlc; ++k) {
        const std::size_t at = 3 * static_cast<std::size_t>(k);
        const auto pair = at + 2 <= dataText.size() ? upperHexDigits(dataText.substr(at, 2)) : std::nullopt;
        if (!pair)
            return std::nullopt;
        if (k > 0)
            frame.dataText.push_back(' ');
        frame.dataText += *pair;
    }
    return frame;
}

} // namespace korvel
