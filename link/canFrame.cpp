#include "link/canFrame.h"

#include "core/numberText.h"

#include <cmath>

namespace korvel {

std::string bitrateName(int index) {
    if (index < 0 || index >= static_cast<int>(kBitrates.size()))
        return {};
    return kBitrates[static_cast<std::size_t>(index)].name;
}

std::string bitrateCommand(int index, std::string_view userBitrate) {
    std::string command(1, index == kUserBitrateIndex ? 's' : 'S');
    command += index == kUserBitrateIndex ? std::string(userBitrate) : std::to_string(index);
    return command;
}

uint16_t peakBitTiming(int index, std::string_view userBitrate) {
    if (index == kUserBitrateIndex) {
        // The value decides, not the number of digits: "0031C" is 0x031C. A value too large for the
        // 16-bit register leaves 0; leading zeros never count, so no digit is lost to a 32-bit reading.
        std::size_t first = 0;
        while (first < userBitrate.size() && userBitrate[first] == '0')
            ++first;
        const std::string_view significant = userBitrate.substr(first);
        if (leadingHexDigits(significant) > 4)
            return 0;
        return static_cast<uint16_t>(readHexNumber(significant));
    }
    if (index < 0 || index >= static_cast<int>(kBitrates.size()))
        return 0;
    return kBitrates[static_cast<std::size_t>(index)].peakBtr0Btr1;
}

int versionNumber(std::string_view reply) {
    if (reply.size() < 2)
        return 0;
    const std::string_view digits = reply.substr(1, 4);
    int value = 0;
    for (char c : digits) {
        if (c < '0' || c > '9')
            break;
        value = value * 10 + (c - '0');
    }
    return value;
}

std::string firmwareText(std::string_view reply) {
    if (versionNumber(reply) <= 0)
        return {};
    const std::string_view major = reply.substr(1, 2);
    const std::string_view minor = reply.size() > 3 ? reply.substr(3, 2) : std::string_view{};
    return "Firmware: V" + std::to_string(static_cast<int>(readNumber(major))) + "." + std::string(minor);
}

ShortText<12> timestampText(int64_t milliseconds, char decimalSeparator) {
    if (milliseconds < 0)
        milliseconds = 0;
    const int64_t whole = milliseconds / 1000;
    const int64_t fraction = milliseconds % 1000;
    ShortText<12> out;
    if (whole < 10)
        out.push_back('0');
    out.append(std::to_string(whole));
    out.push_back(decimalSeparator);
    out.push_back(static_cast<char>('0' + fraction / 100));
    out.push_back(static_cast<char>('0' + fraction / 10 % 10));
    out.push_back(static_cast<char>('0' + fraction % 10));
    return out;
}

void takeCompleteLines(std::string_view text, LineCutter& state, std::vector<std::string_view>& lines) {
    lines.clear();
    if (text.empty())
        return;

    // Only text that continues a pending line needs joining; otherwise the lines point into the input.
    std::string_view source = text;
    if (!state.pendingLine.empty()) {
        state.joined.assign(state.pendingLine);
        state.joined.append(text);
        source = state.joined;
        state.pendingLine.clear();
    }

    // A BELL (the adapter's error reply, sent without a CR) ends a line as a CR does, so a frame line that
    // follows it still decodes. BELLs are rare: one search finds the next, and it is renewed only once
    // passed.
    std::size_t bell = source.find('\a');
    std::size_t start = 0;
    for (;;) {
        if (bell != std::string_view::npos && bell < start)
            bell = source.find('\a', start);
        std::size_t cr = source.find('\r', start);
        if (bell < cr)
            cr = bell;
        if (cr == std::string_view::npos)
            break;
        if (state.discarding)
            state.discarding = false; // the tail of an over-long line ends here
        else
            lines.push_back(source.substr(start, cr - start));
        start = cr + 1;
    }

    const std::string_view rest = source.substr(start);
    if (state.discarding)
        return;
    if (rest.size() > LineCutter::kMaxPendingLine) {
        state.discarding = true;
        return;
    }
    state.pendingLine.assign(rest);
}

bool isFrameLineLetter(char c) {
    return c == 't' || c == 'T' || c == 'r' || c == 'R';
}

namespace {

bool hexDigitsAt(std::string_view line, std::size_t pos, std::size_t n) {
    if (pos > line.size() || line.size() - pos < n)
        return false;
    for (std::size_t k = pos; k < pos + n; ++k)
        if (!isHexDigit(line[k]))
            return false;
    return true;
}

// The value of at most eight hexadecimal digits at `pos`, or -1 when they are not all there.
int64_t hexField(std::string_view line, std::size_t pos, std::size_t n) {
    if (!hexDigitsAt(line, pos, n))
        return -1;
    int64_t value = 0;
    for (std::size_t k = pos; k < pos + n; ++k)
        value = value * 16 + hexDigitValue(line[k]);
    return value;
}

} // namespace

bool decodeFrameLine(std::string_view line, char decimalSeparator, CanFrame& frame) {
    if (line.empty() || !isFrameLineLetter(line[0]))
        return false;
    const char kind = line[0];
    const bool extended = kind == 'T' || kind == 'R';
    const bool remote = kind == 'r' || kind == 'R';
    // Only a whole, well-formed line is a frame: a damaged one must not become a frame nobody sent.
    const std::size_t idLength = extended ? 8 : 3;
    const int64_t id = hexField(line, 1, idLength);
    if (id < 0 || id > (extended ? 0x1FFFFFFF : 0x7FF))
        return false;
    const std::size_t dlcPos = 1 + idLength;
    if (line.size() <= dlcPos || line[dlcPos] < '0' || line[dlcPos] > '8')
        return false;
    const int dlc = line[dlcPos] - '0';
    const std::size_t dataPos = dlcPos + 1;
    const std::size_t timestampPos = remote ? dataPos : dataPos + 2 * static_cast<std::size_t>(dlc);
    if (!hexDigitsAt(line, dataPos, timestampPos - dataPos))
        return false;
    int64_t stamp = 0;
    if (line.size() != timestampPos) {
        stamp = line.size() == timestampPos + 4 ? hexField(line, timestampPos, 4) : -1;
        if (stamp < 0)
            return false;
    }

    frame.isExtended = extended;
    frame.isRemote = remote;
    frame.idText.assign(line.substr(1, idLength));
    frame.dlc = static_cast<uint8_t>(dlc);
    frame.dataText.clear();
    if (remote) {
        frame.dataText.assign("RTR");
    } else {
        for (int k = 0; k < dlc; ++k) {
            if (k > 0)
                frame.dataText.push_back(' ');
            frame.dataText.append(line.substr(dataPos + 2 * static_cast<std::size_t>(k), 2));
        }
    }
    frame.timestampMs = static_cast<int32_t>(stamp);
    frame.timestampText = timestampText(frame.timestampMs, decimalSeparator);
    return true;
}

std::optional<CanFrame> decodeFrameLine(std::string_view line, char decimalSeparator) {
    CanFrame frame;
    if (!decodeFrameLine(line, decimalSeparator, frame))
        return std::nullopt;
    return frame;
}

std::string encodeFrameLine(std::string_view idText, std::string_view dlcText, std::string_view dataText) {
    const bool extended = idText.size() >= 4;
    const bool remote = dataText == "RTR";
    std::string line;
    line.reserve(1 + idText.size() + dlcText.size() + dataText.size());
    line.push_back(remote ? (extended ? 'R' : 'r') : (extended ? 'T' : 't'));
    line.append(idText);
    if (remote) {
        line.push_back('0');
        return line;
    }
    line.append(dlcText);
    for (char c : dataText)
        if (c != ' ')
            line.push_back(c);
    return line;
}

PeakMessage peakMessageFromRow(std::string_view idText, std::string_view dlcText, std::string_view dataText) {
    PeakMessage message;
    message.id = static_cast<uint32_t>(readHexNumber(idText));
    message.msgType = idText.size() > 3 ? kPeakExtended : 0;
    // The record holds eight data bytes; a larger length would write past them.
    const int32_t length = roundHalfEven(readNumber(dlcText));
    message.len = static_cast<uint8_t>(length < 0 ? 0 : (length > 8 ? 8 : length));
    if (dataText == "RTR") {
        message.msgType |= kPeakRemote;
        return message;
    }
    for (std::size_t i = 0; i < message.len; ++i) {
        const std::size_t pos = 3 * i;
        const std::string_view pair = pos < dataText.size() ? dataText.substr(pos, 2) : std::string_view{};
        message.data[i] = static_cast<uint8_t>(readHexNumber(pair) & 0xFF);
    }
    return message;
}

CanFrame frameFromRow(std::string_view idText, std::string_view dlcText, std::string_view dataText) {
    CanFrame frame;
    frame.idText.assign(idText);
    frame.isExtended = idText.size() >= 4;
    frame.isRemote = dataText == "RTR";
    if (dlcText.size() == 1 && dlcText[0] >= '0' && dlcText[0] <= '9') {
        frame.dlc = static_cast<uint8_t>(dlcText[0] - '0');
    } else {
        const int32_t length = roundHalfEven(readNumber(dlcText));
        frame.dlc = static_cast<uint8_t>(length < 0 ? 0 : (length > 8 ? 8 : length));
    }
    frame.dataText.assign(dataText);
    return frame;
}

namespace {
char dlcDigit(const CanFrame& frame) {
    return static_cast<char>('0' + (frame.dlc > 9 ? 9 : frame.dlc));
}
} // namespace

std::string frameLineOf(const CanFrame& frame) {
    const char dlc = dlcDigit(frame);
    if (frame.isRemote && frame.lineSaysRemoteLength) {
        std::string line(1, frame.isExtended ? 'R' : 'r');
        line.append(frame.idText.view());
        line.push_back(dlc);
        return line;
    }
    return encodeFrameLine(frame.idText.view(), std::string_view(&dlc, 1), frame.dataText.view());
}

PeakMessage peakMessageOf(const CanFrame& frame) {
    const char dlc = dlcDigit(frame);
    return peakMessageFromRow(frame.idText.view(), std::string_view(&dlc, 1), frame.dataText.view());
}

CanFrame frameFromPeakMessage(const PeakMessage& message, double secondsSinceMidnight,
                              char decimalSeparator) {
    CanFrame frame;
    frame.isExtended = (message.msgType & kPeakExtended) != 0;
    frame.isRemote = (message.msgType & kPeakRemote) != 0;
    const std::string hex = upperHex(message.id, 8);
    frame.idText.assign(frame.isExtended ? std::string_view(hex).substr(hex.size() - 8)
                                         : std::string_view(hex).substr(hex.size() - 3));
    frame.dlc = message.len > 8 ? 8 : message.len;
    if (frame.isRemote) {
        frame.dataText.assign("RTR");
    } else {
        for (std::size_t i = 0; i < frame.dlc; ++i) {
            if (i > 0)
                frame.dataText.push_back(' ');
            frame.dataText.append(upperHex(message.data[i], 2));
        }
    }
    if (!(secondsSinceMidnight >= 0) || !std::isfinite(secondsSinceMidnight))
        secondsSinceMidnight = 0;
    const auto ms = static_cast<int64_t>(std::llround(secondsSinceMidnight * 1000.0));
    frame.timestampMs = static_cast<int32_t>(ms % 60000);
    // The Tracer shows seconds modulo 100 with three decimals.
    frame.timestampText = timestampText(ms % 100000, decimalSeparator);
    return frame;
}

} // namespace korvel
