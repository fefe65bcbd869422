#include "traces/logFrame.h"

#include "core/numberText.h"
#include "receive/sentFrames.h"
#include "receive/tracerLine.h"

#include <algorithm>

namespace korvel {

namespace {

constexpr char kHexDigits[] = "0123456789ABCDEF";
constexpr std::size_t kOutputPieceBytes = 64 * 1024;

int64_t floorDiv(int64_t a, int64_t b) {
    const int64_t q = a / b;
    return (a % b != 0 && a < 0) ? q - 1 : q;
}

int64_t floorMod(int64_t a, int64_t b) {
    return a - floorDiv(a, b) * b;
}

bool isBlank(char c) {
    return c == ' ' || c == '\t';
}

bool isDigit(char c) {
    return c >= '0' && c <= '9';
}

// Splits at runs of blanks, as the replay does once the columns' padding is gone; at most `limit` fields.
std::size_t splitFields(std::string_view line, std::string_view* fields, std::size_t limit) {
    std::size_t count = 0;
    std::size_t i = 0;
    while (count < limit) {
        while (i < line.size() && isBlank(line[i]))
            ++i;
        if (i == line.size())
            break;
        const std::size_t start = i;
        while (i < line.size() && !isBlank(line[i]))
            ++i;
        fields[count++] = line.substr(start, i - start);
    }
    return count;
}

// The Tracer's time field: "01.234", the decimal separator being '.' or ','; whole milliseconds. At most
// three digits before the separator, so the times of a Tracer of any length, made monotonic, stay far
// inside 64 bits.
bool readTracerTime(std::string_view text, int64_t& ms) {
    std::size_t i = 0;
    int64_t seconds = 0;
    while (i < text.size() && isDigit(text[i]) && i < 3)
        seconds = seconds * 10 + (text[i++] - '0');
    if (i == 0)
        return false;
    int64_t fraction = 0;
    int scale = 100;
    if (i < text.size() && (text[i] == '.' || text[i] == ',')) {
        ++i;
        for (; i < text.size() && isDigit(text[i]) && scale > 0; ++i, scale /= 10)
            fraction += (text[i] - '0') * scale;
    }
    if (i != text.size())
        return false;
    ms = seconds * 1000 + fraction;
    return true;
}

bool isSpace(char c) {
    return c == ' ' || c == '\t' || c == '\r' || c == '\n';
}

} // namespace

std::string_view trimLogText(std::string_view text) {
    while (!text.empty() && isSpace(text.front()))
        text.remove_prefix(1);
    while (!text.empty() && isSpace(text.back()))
        text.remove_suffix(1);
    return text;
}

std::string_view nextLogToken(std::string_view& rest) {
    rest = trimLogText(rest);
    std::size_t end = 0;
    while (end < rest.size() && !isSpace(rest[end]))
        ++end;
    const std::string_view token = rest.substr(0, end);
    rest.remove_prefix(end);
    return token;
}

bool readHexText(std::string_view text, uint32_t& value) {
    if (text.empty() || text.size() > 8)
        return false;
    value = 0;
    for (char c : text) {
        const int digit = hexDigitValue(c);
        if (digit < 0)
            return false;
        value = value << 4 | static_cast<uint32_t>(digit);
    }
    return true;
}

void appendHex(std::string& out, uint32_t value, int width) {
    for (int shift = 4 * (width - 1); shift >= 0; shift -= 4)
        out.push_back(kHexDigits[(value >> shift) & 0xF]);
}

bool readSecondsText(std::string_view text, int64_t& timeUs) {
    std::size_t i = 0;
    int64_t seconds = 0;
    // Twelve digits reach far past any epoch time and keep the microseconds inside 64 bits.
    while (i < text.size() && isDigit(text[i])) {
        if (i == 12)
            return false;
        seconds = seconds * 10 + (text[i++] - '0');
    }
    if (i == 0)
        return false;
    int64_t micros = 0;
    if (i < text.size() && text[i] == '.') {
        const std::size_t first = ++i;
        int64_t scale = 100000;
        for (; i < text.size() && isDigit(text[i]); ++i) {
            if (i - first == 9)
                return false;
            micros += (text[i] - '0') * scale;
            scale /= 10;
        }
        if (i == first)
            return false;
    }
    if (i != text.size())
        return false;
    timeUs = seconds * 1'000'000 + micros;
    return true;
}

void appendSecondsText(std::string& out, int64_t timeUs) {
    out.append(std::to_string(timeUs / 1'000'000));
    out.push_back('.');
    int64_t micros = timeUs % 1'000'000;
    char digits[6];
    for (int k = 5; k >= 0; --k, micros /= 10)
        digits[k] = static_cast<char>('0' + micros % 10);
    out.append(digits, 6);
}

TracerTextBuilder::TracerTextBuilder(const LogLoadOptions& options, LogLoadResult& result)
    : options_(options), result_(result) {
}

// Times keep their place modulo the period, so a log saved by Korvel loads back with the times it had.
// A step the Tracer cannot show (backwards, or a whole period or more) restarts the count from the
// previous line's time: the line goes out right after the one before it, and the spacing of the lines
// after it is kept.
int64_t TracerTextBuilder::tracerMs(int64_t timeUs) {
    const int64_t ms = floorDiv(timeUs + 500, 1000);
    if (!first_) {
        const int64_t step = timeUs - lastUs_;
        if (step < 0 || step >= kTracerPeriodMs * 1000) {
            offsetMs_ = lastTracerMs_ - ms;
            ++result_.timeJumps;
        }
    }
    first_ = false;
    lastUs_ = timeUs;
    lastTracerMs_ = floorMod(ms + offsetMs_, kTracerPeriodMs);
    return lastTracerMs_;
}

bool TracerTextBuilder::add(const LogFrame& frame) {
    if (result_.frames >= options_.maxFrames)
        return false;
    const int64_t ms = tracerMs(frame.timeUs);
    frame_.isExtended = frame.extended;
    frame_.isRemote = frame.remote;
    frame_.dlc = frame.dlc;
    std::string id;
    appendHex(id, frame.id, frame.extended ? 8 : 3);
    frame_.idText.assign(id);
    frame_.dataText.clear();
    if (frame.remote) {
        frame_.dataText.assign("RTR");
    } else {
        for (uint8_t k = 0; k < frame.dlc; ++k) {
            if (k > 0)
                frame_.dataText.push_back(' ');
            frame_.dataText.push_back(kHexDigits[frame.data[k] >> 4]);
            frame_.dataText.push_back(kHexDigits[frame.data[k] & 0xF]);
        }
    }
    frame_.timestampMs = static_cast<int32_t>(ms);
    frame_.timestampText = timestampText(ms, options_.decimalSeparator);
    comment_.clear();
    if (options_.comment)
        options_.comment(frame_, comment_);
    appendTracerLine(result_.tracerText, frame_, frame_.timestampText.view(), comment_);
    ++result_.frames;
    if (options_.output && result_.tracerText.size() >= kOutputPieceBytes)
        flush();
    return true;
}

void TracerTextBuilder::flush() {
    if (!options_.output || result_.tracerText.empty())
        return;
    options_.output(result_.tracerText);
    result_.tracerText.clear();
}

void TracerTextBuilder::skip(LogLine kind, std::size_t lineNumber) {
    switch (kind) {
    case LogLine::frame:
    case LogLine::structure:
        return;
    case LogLine::canFd:
        ++result_.canFdFrames;
        break;
    case LogLine::errorFrame:
        ++result_.errorFrames;
        break;
    case LogLine::event:
        ++result_.otherEvents;
        break;
    case LogLine::unreadable:
        ++result_.unreadableLines;
        break;
    }
    if (result_.firstSkippedLine == 0)
        result_.firstSkippedLine = lineNumber;
}

TracerLineRead readTracerFrameLine(std::string_view line, LogFrame& frame, int64_t& timeMs) {
    std::string_view fields[12];
    const std::size_t count = splitFields(line, fields, std::size(fields));
    if (count == 0)
        return TracerLineRead::blank;
    if (count < 3 || !readTracerTime(fields[0], timeMs))
        return TracerLineRead::malformed;
    // As the replay sends it: more than three digits make an extended identifier.
    frame.extended = fields[1].size() > 3;
    const uint32_t limit = frame.extended ? 0x1FFFFFFF : 0x7FF;
    if (!readHexText(fields[1], frame.id) || frame.id > limit)
        return TracerLineRead::malformed;
    if (fields[2].size() != 1 || fields[2][0] < '0' || fields[2][0] > '8')
        return TracerLineRead::malformed;
    frame.dlc = static_cast<uint8_t>(fields[2][0] - '0');
    frame.remote = count > 3 && fields[3] == "RTR";
    frame.data = {};
    // A sent frame's line has the mark first in its comment column.
    const std::size_t commentField = frame.remote ? 4u : 3u + frame.dlc;
    frame.sent = count > commentField && fields[commentField] == kSentFrameMark;
    if (frame.remote)
        return TracerLineRead::frame;
    if (count < 3u + frame.dlc)
        return TracerLineRead::malformed;
    for (uint8_t k = 0; k < frame.dlc; ++k) {
        const std::string_view byte = fields[3 + k];
        if (byte.size() != 2 || hexDigitValue(byte[0]) < 0 || hexDigitValue(byte[1]) < 0)
            return TracerLineRead::malformed;
        frame.data[k] = static_cast<uint8_t>(hexDigitValue(byte[0]) << 4 | hexDigitValue(byte[1]));
    }
    return TracerLineRead::frame;
}

int64_t tracerWrapPeriodMs(int64_t largestTimeMs) {
    for (int64_t period : {int64_t{60000}, int64_t{65536}, int64_t{100000}}) {
        if (largestTimeMs < period)
            return period;
    }
    return largestTimeMs + 1;
}

TracerLineSource tracerTextLines(std::string_view tracerText) {
    return [tracerText](const TracerLineVisit& visit) {
        std::size_t start = 0;
        while (start < tracerText.size()) {
            std::size_t end = start;
            while (end < tracerText.size() && tracerText[end] != '\r' && tracerText[end] != '\n')
                ++end;
            visit(tracerText.substr(start, end - start));
            if (end + 1 < tracerText.size() && tracerText[end] == '\r' && tracerText[end + 1] == '\n')
                ++end;
            start = end + 1;
        }
    };
}

TracerTimedLineSource untimedLines(const TracerLineSource& lines) {
    return [lines](const TracerTimedLineVisit& visit) {
        lines([&visit](std::string_view line) { visit(line, kNoLineTime); });
    };
}

namespace {

// The Tracer's time fields made monotonic: each step back is a wrap of the period.
struct MonotonicTime {
    int64_t period = 0;
    int64_t offset = 0;
    int64_t last = -1;

    int64_t next(int64_t timeMs) {
        if (timeMs < last)
            offset += period;
        last = timeMs;
        return (timeMs + offset) * 1000;
    }
};

} // namespace

void forEachTracerFrame(const TracerTimedLineSource& lines, LogSaveResult& result,
                        const std::function<void(const LogFrame&)>& visit) {
    LogFrame frame;
    int64_t timeMs = 0;
    int64_t largest = 0;
    bool timed = false;
    bool untimedFirst = false;
    lines([&](std::string_view line, int64_t timeUs) {
        if (readTracerFrameLine(line, frame, timeMs) != TracerLineRead::frame)
            return;
        largest = std::max(largest, timeMs);
        untimedFirst = untimedFirst || (!timed && timeUs == kNoLineTime);
        timed = timed || timeUs != kNoLineTime;
    });
    const MonotonicTime start{tracerWrapPeriodMs(largest)};

    // Where the field's time and the time of reception meet: at the last timed frame line met, and before
    // the first one at that one.
    int64_t anchorText = 0;
    int64_t anchorWall = 0;
    if (timed && untimedFirst) {
        MonotonicTime text = start;
        bool found = false;
        lines([&](std::string_view line, int64_t timeUs) {
            if (found || readTracerFrameLine(line, frame, timeMs) != TracerLineRead::frame)
                return;
            anchorText = text.next(timeMs);
            anchorWall = timeUs;
            found = timeUs != kNoLineTime;
        });
    }

    MonotonicTime text = start;
    std::size_t number = 0;
    lines([&](std::string_view line, int64_t timeUs) {
        ++number;
        switch (readTracerFrameLine(line, frame, timeMs)) {
        case TracerLineRead::blank:
            return;
        case TracerLineRead::malformed:
            ++result.skippedLines;
            if (result.firstSkippedLine == 0)
                result.firstSkippedLine = number;
            return;
        case TracerLineRead::frame:
            break;
        }
        frame.timeUs = text.next(timeMs);
        if (timed) {
            if (timeUs != kNoLineTime) {
                anchorText = frame.timeUs;
                anchorWall = timeUs;
            }
            frame.timeUs = std::max<int64_t>(0, anchorWall + (frame.timeUs - anchorText));
        }
        visit(frame);
        ++result.frames;
    });
}

void forEachTracerFrame(const TracerLineSource& lines, LogSaveResult& result,
                        const std::function<void(const LogFrame&)>& visit) {
    forEachTracerFrame(untimedLines(lines), result, visit);
}

// The buffer grows as lines come: a short log costs no megabyte, a long one fills a block and stays there.
LogBlockWriter::LogBlockWriter(const LogSink& sink) : sink_(sink) {
}

void LogBlockWriter::flush() {
    if (ok_ && !buffer_.empty())
        ok_ = sink_(buffer_);
    buffer_.clear();
}

bool LogBlockWriter::finish() {
    flush();
    return ok_;
}

} // namespace korvel
