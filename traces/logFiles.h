#pragma once

// Loading and saving the Tracer as the logs other CAN tools exchange. The Trace format stays the
// default: a file is a log only when its name ends in ".log" or ".asc".

#include "traces/logFrame.h"

#include <string>
#include <string_view>

namespace korvel {

enum class LogFormat { trace, candump, asc };

// The file dialogs' choices, the Trace format first.
inline constexpr const char* kTraceFileFilter = "Trace (*.trc);;candump log (*.log);;ASC (*.asc)";

// By the file name's suffix, in any case; the Trace format for every other name.
[[nodiscard]] LogFormat logFormatForPath(std::string_view path);

// A log's text as Tracer lines. The Trace format is not a log: it gives an empty result.
[[nodiscard]] LogLoadResult loadLogText(LogFormat format, std::string_view text,
                                        const LogLoadOptions& options);
// The same from a file, read piece by piece so memory stays bounded however large it is. False when the
// file cannot be read (`error` says why); the result then holds nothing, and what an output was handed
// is to be dropped.
bool loadLogFile(LogFormat format, const std::string& path, const LogLoadOptions& options,
                 LogLoadResult& result, std::string* error = nullptr);

// The Tracer's lines as a log handed to `sink` a block at a time, so memory stays bounded however many
// there are; `ascDate` heads an ASC file, and `result.text` stays empty. False when the sink refused a
// block: nothing more was handed on. The Trace format hands on nothing.
bool writeLogFromTracer(LogFormat format, const TracerTimedLineSource& lines, std::string_view ascDate,
                        const LogSink& sink, LogSaveResult& result);
bool writeLogFromTracer(LogFormat format, const TracerLineSource& lines, std::string_view ascDate,
                        const LogSink& sink, LogSaveResult& result);
// The same as one text.
[[nodiscard]] LogSaveResult logTextFromTracer(LogFormat format, const TracerTimedLineSource& lines,
                                              std::string_view ascDate);
[[nodiscard]] LogSaveResult logTextFromTracer(LogFormat format, const TracerLineSource& lines,
                                              std::string_view ascDate);
[[nodiscard]] LogSaveResult logTextFromTracer(LogFormat format, std::string_view tracerText,
                                              std::string_view ascDate);

// What a load or save left out, for the user; empty when nothing was.
[[nodiscard]] std::string loadReportText(const std::string& path, const LogLoadResult& result);
[[nodiscard]] std::string saveReportText(const std::string& path, const LogSaveResult& result);

} // namespace korvel
