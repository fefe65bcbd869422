// candump logs and ASC files from other tools: every frame loaded becomes a Tracer line the replay reads
// back as a frame, so nothing malformed can reach the bus from a log.

#include "fuzz/fuzzCheck.h"

#include "traces/logFiles.h"
#include "traces/traceLine.h"

#include <string_view>

using namespace korvel;

extern "C" int LLVMFuzzerTestOneInput(const unsigned char* data, std::size_t size) {
    if (size == 0)
        return 0;
    const LogFormat format = (data[0] & 1) ? LogFormat::asc : LogFormat::candump;
    const std::string_view text(reinterpret_cast<const char*>(data + 1), size - 1);
    LogLoadOptions options;
    options.maxFrames = 1000;
    const LogLoadResult result = loadLogText(format, text, options);
    FUZZ_CHECK(result.frames <= options.maxFrames);

    std::size_t lines = 0;
    std::size_t start = 0;
    const std::string_view tracer = result.tracerText;
    while (start < tracer.size()) {
        const std::size_t end = tracer.find("\r\n", start);
        FUZZ_CHECK(end != std::string_view::npos); // every line is ended
        FUZZ_CHECK(parseTraceLine(tracer.substr(start, end - start)).has_value());
        ++lines;
        start = end + 2;
    }
    FUZZ_CHECK(lines == result.frames);

    // What was loaded saves again as a log without a line left out.
    const LogSaveResult saved = logTextFromTracer(format, result.tracerText, "Tue Dec 8 00:00:00.000 2026");
    (void)saved;
    return 0;
}
