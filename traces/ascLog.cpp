#include "traces/ascLog.h"

#include <array>
#include <cstdio>

namespace korvel {

namespace {

bool sameWord(std::string_view text, std::string_view word) {
    if (text.size() != word.size())
        return false;
    for (std::size_t i = 0; i < text.size(); ++i) {
        char c = text[i];
        if (c >= 'A' && c <= 'Z')
            c = static_cast<char>(c - 'A' + 'a');
        if (c != word[i])
            return false;
    }
    return true;
}

bool allDigits(std::string_view text) {
    if (text.empty())
        return false;
    for (char c : text) {
        if (c < '0' || c > '9')
            return false;
    }
    return true;
}

// Header and block lines, known by their first word; what follows the word is theirs.
constexpr std::array<std::string_view, 5> kStructureWords{"date", "internal", "no", "begin", "end"};

} // namespace

bool AscLineReader::readNumber(std::string_view text, uint32_t& value) const {
    if (base_ == 16)
        return readHexText(text, value);
    if (!allDigits(text) || text.size() > 10)
        return false;
    uint64_t wide = 0;
    for (char c : text)
        wide = wide * 10 + static_cast<uint64_t>(c - '0');
    if (wide > 0xFFFFFFFFu)
        return false;
    value = static_cast<uint32_t>(wide);
    return true;
}

LogLine AscLineReader::read(std::string_view line, LogFrame& frame) {
    std::string_view rest = trimLogText(line);
    if (rest.empty() || rest.starts_with("//"))
        return LogLine::structure;
    const std::string_view first = nextLogToken(rest);
    for (std::string_view word : kStructureWords) {
        if (sameWord(first, word))
            return LogLine::structure;
    }
    if (sameWord(first, "base")) {
        const std::string_view base = nextLogToken(rest);
        const std::string_view label = nextLogToken(rest);
        const std::string_view kind = nextLogToken(rest);
        if (!sameWord(base, "hex") && !sameWord(base, "dec"))
            return LogLine::unreadable;
        base_ = sameWord(base, "hex") ? 16 : 10;
        if (sameWord(label, "timestamps"))
            relative_ = sameWord(kind, "relative");
        return LogLine::structure;
    }

    int64_t time = 0;
    if (!readSecondsText(first, time))
        return LogLine::unreadable;
    frame.timeUs = relative_ ? lastUs_ + time : time;
    lastUs_ = frame.timeUs;

    const std::string_view channel = nextLogToken(rest);
    if (sameWord(channel, "canfd"))
        return LogLine::canFd;
    if (sameWord(channel, "start"))
        return LogLine::structure;
    if (!allDigits(channel))
        return LogLine::event;
    return readFrame(rest, frame);
}

LogLine AscLineReader::readFrame(std::string_view rest, LogFrame& frame) const {
    std::string_view idText = nextLogToken(rest);
    if (sameWord(idText, "errorframe"))
        return LogLine::errorFrame;
    const std::string_view direction = nextLogToken(rest);
    if (direction != "Rx" && direction != "Tx")
        return LogLine::event;

    frame.extended = !idText.empty() && (idText.back() == 'x' || idText.back() == 'X');
    if (frame.extended)
        idText.remove_suffix(1);
    if (!readNumber(idText, frame.id) || frame.id > (frame.extended ? 0x1FFFFFFFu : 0x7FFu))
        return LogLine::unreadable;

    const std::string_view kind = nextLogToken(rest);
    frame.remote = sameWord(kind, "r");
    if (!frame.remote && !sameWord(kind, "d"))
        return LogLine::unreadable;
    const std::string_view dlcText = nextLogToken(rest);
    // A remote frame's length is optional; older files leave it out.
    uint32_t dlc = 0;
    if (!readNumber(dlcText, dlc)) {
        if (!frame.remote)
            return LogLine::unreadable;
        dlc = 0;
    }
    if (dlc > 15)
        return LogLine::unreadable;
    // Classic CAN carries at most eight bytes; a larger code means eight.
    frame.dlc = static_cast<uint8_t>(dlc > 8 ? 8 : dlc);
    frame.data = {};
    if (frame.remote)
        return LogLine::frame;
    for (uint8_t k = 0; k < frame.dlc; ++k) {
        uint32_t byte = 0;
        const std::string_view byteText = nextLogToken(rest);
        if (byteText.size() > (base_ == 16 ? 2u : 3u) || !readNumber(byteText, byte) || byte > 0xFF)
            return LogLine::unreadable;
        frame.data[k] = static_cast<uint8_t>(byte);
    }
    return LogLine::frame;
}

void appendAscHeader(std::string& out, std::string_view dateText) {
    out.append("date ").append(dateText).append("\r\n");
    out.append("base hex  timestamps absolute\r\n");
    out.append("internal events logged\r\n");
    out.append("Begin Triggerblock ").append(dateText).append("\r\n");
    out.append("   0.000000 Start of measurement\r\n");
}

void appendAscLine(std::string& out, const LogFrame& frame) {
    std::string time;
    appendSecondsText(time, frame.timeUs);
    // Seconds right-aligned in four columns, as the format's writers do.
    const std::size_t whole = time.find('.');
    if (whole < 4)
        out.append(4 - whole, ' ');
    out.append(time);
    out.append(" 1  ");
    const std::size_t idStart = out.size();
    appendHex(out, frame.id, frame.extended ? 8 : 3);
    if (frame.extended)
        out.push_back('x');
    out.append(16 - (out.size() - idStart), ' ');
    out.append(frame.sent ? "Tx   " : "Rx   ");
    out.append(frame.remote ? "r " : "d ");
    out.push_back(static_cast<char>('0' + frame.dlc));
    if (!frame.remote) {
        for (uint8_t k = 0; k < frame.dlc; ++k) {
            out.push_back(' ');
            appendHex(out, frame.data[k], 2);
        }
    }
    out.append("\r\n");
}

void appendAscFooter(std::string& out) {
    out.append("End TriggerBlock\r\n");
}

std::string ascDateText(const QDateTime& time) {
    static constexpr std::array<const char*, 7> days{"Mon", "Tue", "Wed", "Thu", "Fri", "Sat", "Sun"};
    static constexpr std::array<const char*, 12> months{"Jan", "Feb", "Mar", "Apr", "May", "Jun",
                                                        "Jul", "Aug", "Sep", "Oct", "Nov", "Dec"};
    const QDateTime valid = time.isValid() ? time : QDateTime::fromSecsSinceEpoch(0);
    const QDate date = valid.date();
    const QTime clock = valid.time();
    const int hour12 = clock.hour() % 12 == 0 ? 12 : clock.hour() % 12;
    char text[64];
    std::snprintf(text, sizeof text, "%s %s %02d %02d:%02d:%02d.%03d %s %d", days[date.dayOfWeek() - 1],
                  months[date.month() - 1], date.day(), hour12, clock.minute(), clock.second(), clock.msec(),
                  clock.hour() < 12 ? "am" : "pm", date.year());
    return text;
}

void writeAscLog(const TracerTimedLineSource& lines, std::string_view dateText, LogBlockWriter& out,
                 LogSaveResult& result) {
    // Lines with a time of reception: the header's date is the first frame's wall-clock time (to the
    // millisecond) and each frame's time counts from it, as readers of the format add the two.
    bool timed = false;
    lines([&timed](std::string_view, std::int64_t timeUs) { timed = timed || timeUs != kNoLineTime; });
    bool headerWritten = false;
    std::int64_t startUs = 0;
    const auto writeHeader = [&](std::string_view date) {
        appendAscHeader(out.out(), date);
        out.lineDone();
        headerWritten = true;
    };
    forEachTracerFrame(lines, result, [&](const LogFrame& frame) {
        if (!headerWritten) {
            if (timed) {
                const std::int64_t startMs =
                    frame.timeUs >= 0 ? frame.timeUs / 1000 : (frame.timeUs - 999) / 1000;
                startUs = startMs * 1000;
                writeHeader(ascDateText(QDateTime::fromMSecsSinceEpoch(startMs)));
            } else {
                writeHeader(dateText);
            }
        }
        if (!out.ok())
            return;
        LogFrame shifted = frame;
        shifted.timeUs -= startUs;
        appendAscLine(out.out(), shifted);
        out.lineDone();
    });
    if (!headerWritten)
        writeHeader(dateText);
    appendAscFooter(out.out());
}

} // namespace korvel
