// CAN databases: a damaged or hostile file loads without a crash and with a bounded problem list, and every
// signal it keeps decodes without reading past the frame and encodes back to the value it decoded.

#include "fuzz/fuzzCheck.h"

#include "signals/dbc.h"
#include "signals/signalCodec.h"

#include <cmath>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

using namespace korvel;

extern "C" int LLVMFuzzerTestOneInput(const unsigned char* data, std::size_t size) {
    const fuzz::SeededText input = fuzz::seededText(data, size);
    fuzz::Choices choices(input.seed);
    const Database db = readDbc(input.text);
    FUZZ_CHECK(db.problems.size() <= 1001);
    std::vector<DecodedSignal> out, again;
    std::size_t messages = 0;
    for (const MessageDef& m : db.messages) {
        if (++messages > 64)
            break;
        for (const SignalDef& s : m.signalList) {
            FUZZ_CHECK(s.laidOut && s.length >= 1 && s.length <= 64 && s.bytesNeeded >= 1 &&
                       s.bytesNeeded <= 8);
            FUZZ_CHECK(s.factor != 0 && s.multiplexorIndex < static_cast<int>(m.signalList.size()));
        }
        // A frame of exactly `length` bytes on the heap: a read past it is caught.
        const int length = static_cast<int>(choices.next(9));
        auto frame = std::make_unique<uint8_t[]>(static_cast<std::size_t>(length) + 1);
        for (int i = 0; i < length; ++i)
            frame[static_cast<std::size_t>(i)] = static_cast<uint8_t>(choices.next(256));
        decodeMessage(m, length > 0 ? frame.get() : nullptr, length, out);
        FUZZ_CHECK(out.size() == m.signalList.size());
        for (std::size_t i = 0; i < out.size(); ++i) {
            const DecodedSignal& d = out[i];
            FUZZ_CHECK(!d.present || d.signal->bytesNeeded <= length);
            // Only a float holds NaN; a huge scale can overflow an integer's value to infinity.
            if (!d.present || std::isnan(d.physical) ||
                (d.signal->kind == SignalValueKind::integer && !std::isfinite(d.physical)))
                continue;
            // Into the frame's own bytes, so the switches keep selecting the signal (unless it overlaps one).
            uint8_t bytes[8] = {};
            std::memcpy(bytes, frame.get(), static_cast<std::size_t>(length));
            FUZZ_CHECK(encodeSignal(*d.signal, d.physical, bytes));
            decodeMessage(m, bytes, 8, again);
            FUZZ_CHECK(!again[i].present || again[i].raw == d.raw || again[i].physical == d.physical);
            std::memcpy(bytes, frame.get(), static_cast<std::size_t>(length));
            const std::string text = signalValueText(d);
            FUZZ_CHECK(encodeSignalText(*d.signal, text, bytes));
            decodeMessage(m, bytes, 8, again);
            FUZZ_CHECK(!again[i].present || signalValueText(again[i]) == text || again[i].raw == d.raw);
        }
    }
    return 0;
}
