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

// The reason a row makes no frame, in words for the user.
std::string idProblem(std::string_view idText) {
    const std::string id(idText);
    if (id.empty())
        return "it has no ID";
    if (!upperHexDigits(idText))
        return "ID " + id + " is not hexadecimal";
    if (id.size() < 3)
        return "ID " + id + " needs 3 digits";
    if (id.size() < 8)
        return "ID " + id + " needs 8 digits";
    return "ID " + id + " has more than 8 digits";
}

std::nullopt_t tell(std::string* problem, std::string text) {
    if (problem)
        *problem = std::move(text);
    return std::nullopt;
}

} // namespace

std::optional<WireFrame> wireFrameFromRow(std::string_view idText, std::string_view dlcText,
                                          std::string_view dataText, std::string* problem) {
    auto id = upperHexDigits(idText);
    if (!id || (idText.size() != 3 && idText.size() != 8))
        return tell(problem, idProblem(idText));
    const uint32_t value = static_cast<uint32_t>(readHexNumber(*id));
    if (idText.size() == 3 && value > 0x7FFu)
        return tell(problem, "ID " + *id + " is above 7FF; check \"29 Bit Id\" for an extended ID");
    if (value > 0x1FFFFFFFu)
        return tell(problem, "ID " + *id + " is above 1FFFFFFF");
    if (dlcText.size() != 1 || dlcText[0] < '0' || dlcText[0] > '8')
        return tell(problem, "the DLC is not a digit from 0 to 8");

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
            return tell(problem, "data byte " + std::to_string(k) + " is not two hexadecimal digits");
        if (k > 0)
            frame.dataText.push_back(' ');
        frame.dataText += *pair;
    }
    return frame;
}

} // namespace korvel
