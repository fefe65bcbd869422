#include "sim/simFrame.h"

namespace korvel::sim {

namespace {

constexpr char kUpperHex[] = "0123456789ABCDEF";
constexpr char kLowerHex[] = "0123456789abcdef";

int hexValue(char c) {
    if (c >= '0' && c <= '9') {
        return c - '0';
    }
    if (c >= 'A' && c <= 'F') {
        return c - 'A' + 10;
    }
    if (c >= 'a' && c <= 'f') {
        return c - 'a' + 10;
    }
    return -1;
}

void appendHex(std::string& out, uint32_t value, int digits, const char* table) {
    for (int shift = (digits - 1) * 4; shift >= 0; shift -= 4) {
        out.push_back(table[(value >> shift) & 0xF]);
    }
}

} // namespace

bool acceptancePasses(const SimFrame& frame, uint32_t code, uint32_t mask) {
    uint32_t bits = 0;
    uint32_t compared = 0;
    if (frame.extended) {
        bits = ((frame.id & kMaxExtendedId) << 3) | (frame.remote ? 0x4U : 0U);
        compared = 0xFFFFFFFCU;
    } else {
        bits = ((frame.id & kMaxStandardId) << 21) | (frame.remote ? 0x100000U : 0U);
        compared = 0xFFF00000U;
    }
    return ((bits ^ code) & ~mask & compared) == 0;
}

void appendFrameLine(std::string& out, const SimFrame& frame, std::optional<uint16_t> timestampMs,
                     bool lowerCase) {
    const char* table = lowerCase ? kLowerHex : kUpperHex;
    const uint8_t dlc = frame.dlc > 8 ? 8 : frame.dlc;
    if (frame.extended) {
        out.push_back(frame.remote ? 'R' : 'T');
        appendHex(out, frame.id & kMaxExtendedId, 8, table);
    } else {
        out.push_back(frame.remote ? 'r' : 't');
        appendHex(out, frame.id & kMaxStandardId, 3, table);
    }
    out.push_back(static_cast<char>('0' + dlc));
    if (!frame.remote) {
        for (uint8_t i = 0; i < dlc; ++i) {
            appendHex(out, frame.data[i], 2, table);
        }
    }
    if (timestampMs) {
        appendHex(out, *timestampMs, 4, table);
    }
    out.push_back('\r');
}

std::string idText(const SimFrame& frame, bool lowerCase) {
    std::string text;
    const char* table = lowerCase ? kLowerHex : kUpperHex;
    if (frame.extended) {
        appendHex(text, frame.id & kMaxExtendedId, 8, table);
    } else {
        appendHex(text, frame.id & kMaxStandardId, 3, table);
    }
    return text;
}

std::optional<uint32_t> parseHex(std::string_view text, size_t digits) {
    if (text.size() != digits || digits == 0 || digits > 8) {
        return std::nullopt;
    }
    uint32_t value = 0;
    for (char c : text) {
        const int v = hexValue(c);
        if (v < 0) {
            return std::nullopt;
        }
        value = (value << 4) | static_cast<uint32_t>(v);
    }
    return value;
}

std::optional<SimFrame> parseHostFrameLine(std::string_view line) {
    if (line.empty()) {
        return std::nullopt;
    }
    SimFrame frame;
    const char letter = line[0];
    frame.extended = letter == 'T' || letter == 'R';
    frame.remote = letter == 'r' || letter == 'R';
    if (letter != 't' && letter != 'T' && letter != 'r' && letter != 'R') {
        return std::nullopt;
    }
    const size_t idDigits = frame.extended ? 8 : 3;
    if (line.size() < 1 + idDigits + 1) {
        return std::nullopt;
    }
    const auto id = parseHex(line.substr(1, idDigits), idDigits);
    if (!id || *id > (frame.extended ? kMaxExtendedId : kMaxStandardId)) {
        return std::nullopt;
    }
    frame.id = *id;
    const char dlcChar = line[1 + idDigits];
    if (dlcChar < '0' || dlcChar > '8') {
        return std::nullopt;
    }
    frame.dlc = static_cast<uint8_t>(dlcChar - '0');
    const std::string_view rest = line.substr(2 + idDigits);
    if (frame.remote) {
        return rest.empty() ? std::optional<SimFrame>(frame) : std::nullopt;
    }
    if (rest.size() != 2U * frame.dlc) {
        return std::nullopt;
    }
    for (uint8_t i = 0; i < frame.dlc; ++i) {
        const auto byte = parseHex(rest.substr(2U * i, 2), 2);
        if (!byte) {
            return std::nullopt;
        }
        frame.data[i] = static_cast<uint8_t>(*byte);
    }
    return frame;
}

} // namespace korvel::sim
