#pragma once

// Trace files: the column header, then the Tracer's lines, CR LF line ends. Saving streams the lines into
// a file that replaces the old one only when every byte is written; loading reads in blocks, drops the
// first line (the header), upper-cases the rest and builds a new line store, so memory stays near the
// size of the text.

#include "receive/tracerStore.h"

#include <cstdint>
#include <functional>
#include <string>

namespace korvel {

// Larger files are refused: their lines would take more memory than a desktop can spare.
inline constexpr std::int64_t kMaxTraceFileBytes = 512LL * 1024 * 1024;

// Told how far a save or load has come (bytes done, bytes in all).
using TraceProgress = std::function<void(std::int64_t done, std::int64_t total)>;

// False when the file could not be written completely; the old file is then unchanged and `error` says why.
bool saveTraceFile(const std::string& path, const TracerStore& lines, std::string& error,
                   const TraceProgress& progress = {});
// False when the file cannot be read (missing, not a regular file, too large, not text); `lines` is then
// untouched and `error` says why. Lines that are not UTF-8 are read as Latin-1.
bool loadTraceFile(const std::string& path, TracerStore& lines, std::string& error,
                   const TraceProgress& progress = {});

} // namespace korvel
