// Tracer lines as the replay reads them (typed, edited or loaded): whatever is accepted goes on the wire as
// a frame an adapter takes, and never past the eight data bytes of a PEAK record.

#include "fuzz/fuzzCheck.h"

#include "link/canFrame.h"
#include "traces/traceLine.h"

#include <string_view>

using namespace korvel;

extern "C" int LLVMFuzzerTestOneInput(const unsigned char* data, std::size_t size) {
    const std::string_view text(reinterpret_cast<const char*>(data), size);
    std::size_t start = 0;
    while (start <= text.size()) {
        std::size_t end = text.find_first_of("\r\n", start);
        if (end == std::string_view::npos)
            end = text.size();
        const auto frame = parseTraceLine(text.substr(start, end - start));
        if (frame) {
            FUZZ_CHECK(frame->dlc >= 0 && frame->dlc <= 8);
            const std::string line = traceProtocolLine(*frame);
            const auto decoded = decodeFrameLine(line, '.');
            FUZZ_CHECK(decoded.has_value());
            FUZZ_CHECK(decoded->isExtended == frame->isExtended && decoded->isRemote == frame->isRemote);
            FUZZ_CHECK(decoded->dlc == frame->dlc);
            const PeakMessage message = tracePeakMessage(*frame);
            FUZZ_CHECK(message.len <= 8);
        }
        start = end + 1;
    }
    return 0;
}
