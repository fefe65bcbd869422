#pragma once

// Trace files: the column header, then the Tracer's lines, CR LF line ends. Saving streams the lines into
// a file that replaces the old one only when every byte is written; loading reads in blocks, drops the
// first line (the header), upper-cases the rest and builds a new line store, so memory stays near the
// size of the text.

#include "core/basGlobal.h"
#include "receive/tracerStore.h"

#include <cstdint>
#include <functional>
#include <string>

namespace korvel {

// The most Tracer memory a loaded trace may take: what a recording may hold, with a quarter more for lines
// typed after it, so every trace a recording saves loads back. Larger traces are refused (and a save of one
// is warned about): their lines would take more memory than the machine was meant to give the Tracer.
[[nodiscard]] std::int64_t traceLoadLimitBytes(std::int64_t recordingLimitBytes);

// Told how far a save or load has come (bytes done, bytes in all).
using TraceProgress = std::function<void(std::int64_t done, std::int64_t total)>;

// False when the file could not be written completely; the old file is then unchanged and `error` says why.
bool saveTraceFile(const std::string& path, const TracerStore& lines, std::string& error,
                   const TraceProgress& progress = {});
// False when the file cannot be read (missing, not a regular file, too large, not text); `lines` is then
// untouched and `error` says why. Lines that are not UTF-8 are read as Latin-1.
bool loadTraceFile(const std::string& path, TracerStore& lines, std::string& error,
                   const TraceProgress& progress = {},
                   std::int64_t limitBytes = traceLoadLimitBytes(kDefaultRecordingLimitBytes));
// "It is larger than the Tracer can hold (5120 MB)."
[[nodiscard]] std::string traceTooLargeText(std::int64_t limitBytes);

} // namespace korvel
