#pragma once

// The Tracer's line layout, which trace files and the replay share:
//   columns 1-6 time, 8-16 identifier, 17 length digit, 19-42 data, 43 onward comment.

#include "link/canFrame.h"

#include <QString>
#include <QStringView>

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace korvel {

inline constexpr std::string_view kTracerHeader = "Time   ID     DLC Data                    Comment";
inline constexpr std::size_t kTracerIdWidth = 9;
inline constexpr std::size_t kTracerDataWidth = 24;

// One line without its line end.
[[nodiscard]] std::string formatTracerLine(const CanFrame& frame, std::string_view timeText,
                                           std::string_view comment);
// Appends the line and CR LF to a poll's batch text, so a poll builds its batch without a string per frame.
void appendTracerLine(std::string& batch, const CanFrame& frame, std::string_view timeText,
                      std::string_view comment);

// The part of a line in the Tracer's layout that stands before its comment column; the whole line when it
// is not in that layout or has no comment. The columns are found from the end of the time field.
[[nodiscard]] std::string_view tracerTextBeforeComment(std::string_view line);
[[nodiscard]] QStringView tracerTextBeforeComment(QStringView line);

// The frame a Tracer line shows, read back the way the details window needs it: a line in the Tracer's
// layout without its comment column, runs of five blanks removed, then split at blanks; piece 1 is the
// identifier, piece 2 the length, and as many following pieces as the length promises (and exist) make the
// data, each followed by a blank. Nothing when the line has no length piece.
struct TracerFrameText {
    QString idText;
    QString dataText;
};
[[nodiscard]] std::optional<TracerFrameText> parseTracerLine(QStringView line);

// The time field at the start of a line ("01.234" or "01,234") in milliseconds; nothing when there is none.
[[nodiscard]] std::optional<std::int64_t> tracerLineTimeMs(std::string_view line);

// The wall-clock times of reception (microseconds) of a poll's text, one per piece as the store splits it.
// The poll reads its frames at `nowUs`, so its newest line gets that time; the lines before it get as much
// less as their time fields say (up to ten seconds; without time stamps all are equal). No time falls
// before `notBeforeUs` or before the line above it.
void tracerReceptionTimes(std::string_view text, std::int64_t nowUs, std::int64_t notBeforeUs,
                          std::vector<std::int64_t>& times);

// A character typed into the Tracer: upper case, and only blank, 0-9, A-F, R, T and ",". Nothing when the
// character is refused.
[[nodiscard]] std::optional<QChar> tracerTypedChar(QChar typed);

} // namespace korvel
