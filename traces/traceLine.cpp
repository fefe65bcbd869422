#include "traces/traceLine.h"

#include "core/numberText.h"
#include "receive/tracerLine.h"

#include <vector>

namespace korvel {

namespace {

std::string removeBlankRuns(std::string_view line) {
    std::string out;
    out.reserve(line.size());
    std::size_t i = 0;
    while (i < line.size()) {
        if (line.compare(i, 5, "     ") == 0) {
            i += 5;
            continue;
        }
        out += line[i++];
    }
    return out;
}

std::vector<std::string_view> splitAtBlanks(std::string_view text) {
    std::vector<std::string_view> fields;
    std::size_t start = 0;
    for (;;) {
        const std::size_t blank = text.find(' ', start);
        fields.push_back(text.substr(start, blank == std::string_view::npos ? blank : blank - start));
        if (blank == std::string_view::npos)
            return fields;
        start = blank + 1;
    }
}

std::optional<uint32_t> readHex(std::string_view text) {
    uint32_t value = 0;
    for (const char c : text) {
        const int digit = hexDigitValue(c);
        if (digit < 0)
            return std::nullopt;
        value = value * 16 + static_cast<uint32_t>(digit);
    }
    return value;
}

std::optional<double> readTime(std::string_view text) {
    double whole = 0;
    double fraction = 0;
    double scale = 1;
    bool separator = false;
    int digits = 0;
    for (const char c : text) {
        if ((c == '.' || c == ',') && !separator) {
            separator = true;
        } else if (c >= '0' && c <= '9') {
            if (++digits > 12)
                return std::nullopt;
            if (separator) {
                scale /= 10;
                fraction += (c - '0') * scale;
            } else {
                whole = whole * 10 + (c - '0');
            }
        } else {
            return std::nullopt;
        }
    }
    if (digits == 0)
        return std::nullopt;
    return whole + fraction;
}

std::optional<TraceFrame> parseFields(std::string_view line) {
    const std::string compact = removeBlankRuns(line);
    const std::vector<std::string_view> fields = splitAtBlanks(compact);
    if (fields.size() < 3)
        return std::nullopt;

    TraceFrame frame;
    const auto time = readTime(fields[0]);
    if (!time)
        return std::nullopt;
    frame.timeSeconds = *time;

    const std::string_view id = fields[1];
    const auto idValue = readHex(id);
    if (id.empty() || id.size() > 8 || !idValue)
        return std::nullopt;
    frame.isExtended = id.size() > 3;
    if (*idValue > (frame.isExtended ? 0x1FFFFFFFu : 0x7FFu))
        return std::nullopt;
    frame.id = *idValue;
    frame.idText = std::string((frame.isExtended ? 8 : 3) - id.size(), '0') + std::string(id);

    if (fields[2].size() != 1 || fields[2][0] < '0' || fields[2][0] > '8')
        return std::nullopt;
    frame.dlc = fields[2][0] - '0';

    if (fields.size() > 3 && fields[3] == "RTR") {
        frame.isRemote = true;
        return frame;
    }
    if (fields.size() < 3 + static_cast<std::size_t>(frame.dlc))
        return std::nullopt;
    for (int k = 0; k < frame.dlc; ++k) {
        const std::string_view byte = fields[3 + static_cast<std::size_t>(k)];
        const auto value = readHex(byte);
        if (byte.size() != 2 || !value)
            return std::nullopt;
        frame.data[static_cast<std::size_t>(k)] = static_cast<uint8_t>(*value);
        frame.dataHex += byte;
    }
    return frame;
}

} // namespace

bool isSkippedTraceLine(std::string_view line) {
    return line.size() <= 1 || line.find_first_not_of(' ') == std::string_view::npos;
}

std::optional<TraceFrame> parseTraceLine(std::string_view line) {
    if (!line.empty() && line.front() == '\n')
        line.remove_prefix(1);
    if (auto frame = parseFields(line))
        return frame;
    // The Tracer pads the data column up to the comment; where that padding is whole runs of five blanks,
    // their removal glues the comment to the length digit or the last byte ("0PUMP", "55PUMP").
    const std::string_view fields = tracerTextBeforeComment(line);
    return fields.size() < line.size() ? parseFields(fields) : std::nullopt;
}

std::string traceProtocolLine(const TraceFrame& frame) {
    const char letter = frame.isRemote ? (frame.isExtended ? 'R' : 'r') : (frame.isExtended ? 'T' : 't');
    std::string line(1, letter);
    line += frame.idText;
    line += static_cast<char>('0' + frame.dlc);
    if (!frame.isRemote)
        line += frame.dataHex;
    return line;
}

PeakMessage tracePeakMessage(const TraceFrame& frame) {
    PeakMessage message;
    message.id = frame.id;
    message.msgType =
        static_cast<uint8_t>((frame.isExtended ? kPeakExtended : 0) | (frame.isRemote ? kPeakRemote : 0));
    message.len = static_cast<uint8_t>(frame.dlc);
    if (!frame.isRemote)
        message.data = frame.data;
    return message;
}

} // namespace korvel
