#include "receive/tracerLine.h"

#include "core/numberText.h"
#include "receive/tracerStore.h"

#include <QStringList>

#include <algorithm>
#include <charconv>

namespace korvel {

namespace {

void appendPadded(std::string& out, std::string_view text, std::size_t width) {
    out.append(text);
    if (text.size() < width)
        out.append(width - text.size(), ' ');
}

} // namespace

void appendTracerLine(std::string& batch, const CanFrame& frame, std::string_view timeText,
                      std::string_view comment) {
    batch.append(timeText);
    batch.push_back(' ');
    appendPadded(batch, frame.idText.view(), kTracerIdWidth);
    char digits[4];
    batch.append(digits, std::to_chars(digits, digits + sizeof digits, static_cast<unsigned>(frame.dlc)).ptr);
    batch.push_back(' ');
    appendPadded(batch, frame.dataText.view(), kTracerDataWidth);
    batch.append(comment);
    batch.append("\r\n");
}

std::string formatTracerLine(const CanFrame& frame, std::string_view timeText, std::string_view comment) {
    std::string line;
    appendTracerLine(line, frame, timeText, comment);
    line.resize(line.size() - 2);
    return line;
}

namespace {

template <typename View> View beforeCommentColumn(View line) {
    const auto timeEnd = line.indexOf(' ');
    if (timeEnd < 0)
        return line;
    const auto dlcColumn = timeEnd + 1 + static_cast<decltype(timeEnd)>(kTracerIdWidth);
    const auto commentColumn = dlcColumn + 2 + static_cast<decltype(timeEnd)>(kTracerDataWidth);
    if (line.size() <= commentColumn || line[dlcColumn - 1] != ' ' || line[dlcColumn] < '0' ||
        line[dlcColumn] > '8' || line[dlcColumn + 1] != ' ')
        return line;
    return line.first(commentColumn);
}

// std::string_view with the few QStringView calls the column search uses.
struct ByteView {
    std::string_view text;
    [[nodiscard]] std::ptrdiff_t indexOf(char c) const {
        const auto at = text.find(c);
        return at == std::string_view::npos ? -1 : static_cast<std::ptrdiff_t>(at);
    }
    [[nodiscard]] std::ptrdiff_t size() const { return static_cast<std::ptrdiff_t>(text.size()); }
    char operator[](std::ptrdiff_t i) const { return text[static_cast<std::size_t>(i)]; }
    [[nodiscard]] ByteView first(std::ptrdiff_t n) const {
        return {text.substr(0, static_cast<std::size_t>(n))};
    }
};

} // namespace

std::string_view tracerTextBeforeComment(std::string_view line) {
    return beforeCommentColumn(ByteView{line}).text;
}

QStringView tracerTextBeforeComment(QStringView line) {
    return beforeCommentColumn(line);
}

std::optional<TracerFrameText> parseTracerLine(QStringView line) {
    // The comment never holds data, but with the padding removed it would glue onto the last byte.
    QString squeezed = tracerTextBeforeComment(line).toString();
    squeezed.remove(QLatin1Char('\r'));
    squeezed.replace(QStringLiteral("     "), QString());
    const QStringList pieces = squeezed.split(QLatin1Char(' '));
    // Time, identifier and length make a frame; a frame of length 0 without comment has no more pieces.
    if (pieces.size() < 3)
        return std::nullopt;
    TracerFrameText frame;
    frame.idText = pieces[1];
    const double length = readNumber(pieces[2].toStdString());
    for (qsizetype j = 3; j < pieces.size() && static_cast<double>(j) <= length + 2; ++j) {
        frame.dataText += pieces[j];
        frame.dataText += QLatin1Char(' ');
    }
    return frame;
}

std::optional<std::int64_t> tracerLineTimeMs(std::string_view line) {
    const auto digit = [&line](std::size_t i) {
        return i < line.size() && line[i] >= '0' && line[i] <= '9';
    };
    std::size_t i = 0;
    std::int64_t ms = 0;
    for (; digit(i) && i < 3; ++i)
        ms = ms * 10 + (line[i] - '0');
    if (i == 0 || i >= line.size() || (line[i] != '.' && line[i] != ','))
        return std::nullopt;
    const std::size_t point = i++;
    for (; digit(i) && i < point + 4; ++i)
        ms = ms * 10 + (line[i] - '0');
    if (i != point + 4 || (i < line.size() && line[i] != ' '))
        return std::nullopt;
    return ms;
}

void tracerReceptionTimes(std::string_view text, std::int64_t nowUs, std::int64_t notBeforeUs,
                          std::vector<std::int64_t>& times) {
    // The adapters' time fields wrap at a minute; a larger gap than this is no longer one poll's.
    constexpr std::int64_t kWrapMs = 60000;
    constexpr std::int64_t kLongestPollMs = 10000;
    std::vector<std::int64_t>& fields = times;
    fields.clear();
    std::int64_t newest = -1;
    splitTracerText(text, [&](std::string_view line) {
        const std::optional<std::int64_t> ms = tracerLineTimeMs(line);
        fields.push_back(ms.value_or(-1));
        if (ms)
            newest = *ms;
    });
    std::int64_t floor = std::min(notBeforeUs, nowUs);
    for (std::int64_t& time : times) {
        std::int64_t before = 0;
        if (time >= 0 && newest >= 0) {
            before = newest - time;
            if (before < 0)
                before += kWrapMs;
            if (before < 0 || before > kLongestPollMs)
                before = 0;
        }
        time = std::max(floor, nowUs - before * 1000);
        floor = time;
    }
}

std::optional<QChar> tracerTypedChar(QChar typed) {
    const QChar c = typed.toUpper();
    const char16_t u = c.unicode();
    const bool allowed =
        u == ' ' || u == ',' || u == 'R' || u == 'T' || (u >= '0' && u <= '9') || (u >= 'A' && u <= 'F');
    return allowed ? std::optional<QChar>(c) : std::nullopt;
}

} // namespace korvel
