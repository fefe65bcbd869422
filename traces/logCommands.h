#pragma once

// Save Trace and Load Trace for the log formats: what the two commands call once the user has chosen a
// file whose name asks for a log. Failures and lines left out are told to the user.

#include "traces/logFrame.h"

#include <functional>
#include <string>
#include <string_view>

namespace korvel {

// Writes the Tracer's lines as the log the file name asks for.
void saveTracerLog(const std::string& path, const TracerTimedLineSource& lines);
void saveTracerLog(const std::string& path, const TracerLineSource& lines);

// Hands the log's Tracer text to `output` in pieces of whole lines, each frame with the comment the
// Tracer gives received frames. False when the file could not be read: the Tracer is then to stay as it
// was, and what `output` was handed is to be dropped.
bool loadTracerLog(const std::string& path, const std::function<void(std::string_view lines)>& output);

} // namespace korvel
