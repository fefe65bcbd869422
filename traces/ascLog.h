#pragma once

// The ASCII log format of vehicle network tools: a header ("date", "base hex  timestamps absolute",
// "internal events logged", "Begin Triggerblock"), then one event a line, a CAN frame being
// "   1.234000 1  123             Rx   d 2 11 22", an extended identifier ending in "x".

#include "traces/logFrame.h"

#include <QDateTime>

#include <string>
#include <string_view>

namespace korvel {

// Reads a file's lines in order: the header's "base" line decides how identifiers and data are written
// and whether times count from the start or from the previous event.
class AscLineReader {
public:
    [[nodiscard]] LogLine read(std::string_view line, LogFrame& frame);

private:
    [[nodiscard]] LogLine readFrame(std::string_view rest, LogFrame& frame) const;
    [[nodiscard]] bool readNumber(std::string_view text, uint32_t& value) const;

    int base_ = 16;
    bool relative_ = false;
    int64_t lastUs_ = 0;
};

void appendAscHeader(std::string& out, std::string_view dateText);
void appendAscLine(std::string& out, const LogFrame& frame);
void appendAscFooter(std::string& out);

// "Tue Dec 08 03:22:23.000 pm 2026", in English whatever the locale, as readers of the format expect.
[[nodiscard]] std::string ascDateText(const QDateTime& time);

// The Tracer's frame lines as an ASC file, times made monotonic (absolute once lines have a time of
// reception), written to `out`; the date heads the file.
void writeAscLog(const TracerTimedLineSource& lines, std::string_view dateText, LogBlockWriter& out,
                 LogSaveResult& result);

} // namespace korvel
