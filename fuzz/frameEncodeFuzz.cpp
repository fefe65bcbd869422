// A transmit row as the frame tables hold it: encoded for the serial adapters and for the PEAK library,
// and read back the way each receive path reads it.

#include "fuzz/fuzzCheck.h"

#include "core/numberText.h"
#include "link/canFrame.h"

#include <fuzzer/FuzzedDataProvider.h>

#include <string>

using namespace korvel;

extern "C" int LLVMFuzzerTestOneInput(const unsigned char* data, std::size_t size) {
    FuzzedDataProvider input(data, size);
    const bool extended = input.ConsumeBool();
    const bool remote = input.ConsumeBool();
    const uint32_t id = input.ConsumeIntegralInRange<uint32_t>(0, extended ? 0x1FFFFFFF : 0x7FF);
    const int dlc = input.ConsumeIntegralInRange<int>(0, 8);
    const uint16_t stamp = input.ConsumeIntegral<uint16_t>();
    const char separator = input.ConsumeBool() ? ',' : '.';
    const bool lowerCase = input.ConsumeBool();

    const std::string idText = upperHex(id, extended ? 8 : 3);
    std::string dataText;
    if (remote) {
        dataText = "RTR";
    } else {
        for (int k = 0; k < dlc; ++k) {
            if (k > 0)
                dataText.push_back(' ');
            dataText += upperHex(input.ConsumeIntegral<uint8_t>(), 2);
        }
    }

    // Serial adapters: the line goes out, and the same line (with a timestamp) comes back in.
    std::string line = encodeFrameLine(idText, std::to_string(dlc), dataText);
    FUZZ_CHECK(line.size() == 1 + idText.size() + 1 + (remote ? 0 : 2 * std::size_t(dlc)));
    line += upperHex(stamp, 4);
    if (lowerCase)
        for (std::size_t i = 1; i < line.size(); ++i)
            line[i] = static_cast<char>(line[i] >= 'A' && line[i] <= 'F' ? line[i] - 'A' + 'a' : line[i]);
    const auto frame = decodeFrameLine(line, separator);
    FUZZ_CHECK(frame.has_value());
    FUZZ_CHECK(frame->isExtended == extended);
    FUZZ_CHECK(frame->isRemote == remote);
    FUZZ_CHECK(static_cast<uint32_t>(readHexNumber(frame->idText.view())) == id);
    FUZZ_CHECK(frame->idText.size() == idText.size());
    FUZZ_CHECK(frame->dlc == (remote ? 0 : dlc));
    if (!lowerCase)
        FUZZ_CHECK(frame->dataText == dataText);
    FUZZ_CHECK(frame->timestampMs == stamp);
    std::string shown(frame->timestampText.view());
    FUZZ_CHECK(shown.find(separator) == shown.size() - 4);
    shown[shown.size() - 4] = '.';
    FUZZ_CHECK(roundHalfEven(readNumber(shown) * 1000) == stamp);

    // PEAK: the row becomes the library's record, which is read back as a frame.
    const PeakMessage message = peakMessageFromRow(idText, std::to_string(dlc), dataText);
    FUZZ_CHECK(message.id == id);
    FUZZ_CHECK(message.len == dlc || remote);
    const double seconds = input.ConsumeFloatingPointInRange<double>(-1.0, 90000.0);
    const CanFrame peak = frameFromPeakMessage(message, seconds, separator);
    FUZZ_CHECK(peak.isExtended == extended);
    FUZZ_CHECK(peak.isRemote == remote);
    FUZZ_CHECK(peak.idText == idText);
    if (!remote)
        FUZZ_CHECK(peak.dataText == dataText);
    FUZZ_CHECK(peak.timestampMs >= 0 && peak.timestampMs < 60000);
    return 0;
}
