#pragma once

// Signals in and out of a frame's bytes: decoding a message's signals, encoding one signal's value, and the
// value as text for the user and back.

#include "signals/dbc.h"

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace korvel {

struct DecodedSignal {
    const SignalDef* signal = nullptr;
    bool present = false; // false: runs past the frame's length, or its multiplexor does not select it
    uint64_t raw = 0;     // the raw bits, zero-extended
    double physical = 0;  // raw (sign-extended, or the IEEE value) * factor + offset
    const std::string* valueName = nullptr; // the value table's name for the raw value, if any
};

// Every signal of `message` from `length` bytes (0..8), in the message's signal order; never reads past
// `length`.
void decodeMessage(const MessageDef& message, const uint8_t* data, int length,
                   std::vector<DecodedSignal>& out);
// Writes one signal's physical value (rounded to the nearest raw step, clamped to the raw range) into
// data[0..7]. False when the value cannot be represented (NaN, out of the raw range) and data is left
// unchanged.
bool encodeSignal(const SignalDef& signal, double physical, uint8_t data[8]);
// The value as a user reads it: the value-table name when there is one, else the number in its shortest exact
// form (integers without a fraction), e.g. "2315", "12.5", "D".
[[nodiscard]] std::string signalValueText(const DecodedSignal& decoded);
// The physical value for programs: exact digits for whole-number scales (even past 2^53), else the shortest
// text that reads back as the same double; "NaN", "Infinity" or "-Infinity" for a float that holds one.
[[nodiscard]] std::string signalNumberText(const DecodedSignal& decoded);
// A physical value or a value-table name typed by the user; false when it is neither.
bool parseSignalValue(const SignalDef& signal, std::string_view text, double& physical);
// A typed value (a number or a value-table name) written into data[0..7], exactly even where a double is not:
// whole numbers of a whole-number scale past 2^53, and names, go straight to their raw value. False, with
// data unchanged, when the text is neither or the value cannot be represented.
bool encodeSignalText(const SignalDef& signal, std::string_view text, uint8_t data[8]);

} // namespace korvel
