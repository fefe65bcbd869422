#include "traces/candumpLog.h"

namespace korvel {

namespace {

constexpr uint32_t kErrorFlag = 0x20000000;

bool readHexByte(std::string_view text, std::size_t at, uint8_t& byte) {
    uint32_t value = 0;
    if (at + 2 > text.size() || !readHexText(text.substr(at, 2), value))
        return false;
    byte = static_cast<uint8_t>(value);
    return true;
}

// "1122334455667788", bytes optionally separated by dots, and the length code of an eight-byte frame
// as "_9" to "_F" (kept as eight bytes: the Tracer shows lengths up to 8).
bool readData(std::string_view text, LogFrame& frame) {
    std::size_t at = 0;
    frame.dlc = 0;
    while (at < text.size() && text[at] != '_') {
        if (frame.dlc == 8 || !readHexByte(text, at, frame.data[frame.dlc]))
            return false;
        ++frame.dlc;
        at += 2;
        if (at < text.size() && text[at] == '.')
            ++at;
    }
    if (at == text.size())
        return true;
    uint32_t code = 0;
    return frame.dlc == 8 && text.size() == at + 2 && readHexText(text.substr(at + 1), code) && code > 8;
}

} // namespace

LogLine readCandumpLine(std::string_view line, LogFrame& frame) {
    std::string_view rest = trimLogText(line);
    if (rest.empty())
        return LogLine::structure;
    const std::string_view stamp = nextLogToken(rest);
    if (stamp.size() < 3 || stamp.front() != '(' || stamp.back() != ')' ||
        !readSecondsText(stamp.substr(1, stamp.size() - 2), frame.timeUs))
        return LogLine::unreadable;
    const std::string_view interface = nextLogToken(rest);
    const std::string_view body = nextLogToken(rest);
    const std::string_view direction = nextLogToken(rest);
    if (interface.empty() || !rest.empty() || !(direction.empty() || direction == "R" || direction == "T"))
        return LogLine::unreadable;

    const std::size_t hash = body.find('#');
    if (hash == std::string_view::npos)
        return LogLine::unreadable;
    const std::string_view idText = body.substr(0, hash);
    const std::string_view data = body.substr(hash + 1);
    if ((idText.size() != 3 && idText.size() != 8) || !readHexText(idText, frame.id))
        return LogLine::unreadable;
    frame.extended = idText.size() == 8;
    if (frame.extended && (frame.id & kErrorFlag) != 0)
        return LogLine::errorFrame;
    if (!data.empty() && data.front() == '#')
        return LogLine::canFd;
    if (frame.id > (frame.extended ? 0x1FFFFFFFu : 0x7FFu))
        return LogLine::unreadable;

    frame.data = {};
    frame.remote = !data.empty() && (data.front() == 'R' || data.front() == 'r');
    if (frame.remote) {
        frame.dlc = 0;
        if (data.size() == 1)
            return LogLine::frame;
        if (data.size() != 2 || data[1] < '0' || data[1] > '8')
            return LogLine::unreadable;
        frame.dlc = static_cast<uint8_t>(data[1] - '0');
        return LogLine::frame;
    }
    return readData(data, frame) ? LogLine::frame : LogLine::unreadable;
}

void appendCandumpLine(std::string& out, const LogFrame& frame) {
    // The seconds zero-padded to ten digits, as the tools write them.
    const std::string seconds = std::to_string(frame.timeUs / 1'000'000);
    out.push_back('(');
    if (seconds.size() < 10)
        out.append(10 - seconds.size(), '0');
    std::string stamp;
    appendSecondsText(stamp, frame.timeUs);
    out.append(stamp);
    out.append(") ");
    out.append(kCandumpInterface);
    out.push_back(' ');
    appendHex(out, frame.id, frame.extended ? 8 : 3);
    out.push_back('#');
    if (frame.remote) {
        out.push_back('R');
        if (frame.dlc > 0)
            out.push_back(static_cast<char>('0' + frame.dlc));
    } else {
        for (uint8_t k = 0; k < frame.dlc; ++k)
            appendHex(out, frame.data[k], 2);
    }
    // The direction the tools write for a frame the host sent; received lines keep their old form.
    if (frame.sent)
        out.append(" T");
    out.push_back('\n');
}

void writeCandumpLog(const TracerTimedLineSource& lines, LogBlockWriter& out, LogSaveResult& result) {
    forEachTracerFrame(lines, result, [&out](const LogFrame& frame) {
        if (!out.ok())
            return;
        appendCandumpLine(out.out(), frame);
        out.lineDone();
    });
}

} // namespace korvel
