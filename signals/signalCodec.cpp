#include "signals/signalCodec.h"

#include <algorithm>
#include <array>
#include <bit>
#include <charconv>
#include <cmath>
#include <cstring>

namespace korvel {

namespace {

// Whole-number scales of 64-bit raw values need more than 64 bits.
__extension__ using Int128 = __int128;
__extension__ using UInt128 = unsigned __int128;

// The frame as two 64-bit words, so every signal is one shift and mask away.
struct FrameWords {
    uint64_t little = 0;
    uint64_t big = 0;
};

FrameWords frameWords(const uint8_t* data, int length) {
    FrameWords w;
    for (int i = 0; i < length; ++i) {
        w.little |= uint64_t{data[i]} << (8 * i);
        w.big |= uint64_t{data[i]} << (8 * (7 - i));
    }
    return w;
}

const SignalDef& laidOut(const SignalDef& signal, SignalDef& scratch) {
    if (signal.laidOut)
        return signal;
    scratch = signal;
    if (!prepareSignal(scratch))
        scratch.bytesNeeded = 9; // never present
    return scratch;
}

int64_t signExtended(uint64_t raw, int length) {
    if (length >= 64)
        return static_cast<int64_t>(raw);
    uint64_t sign = uint64_t{1} << (length - 1);
    return static_cast<int64_t>((raw ^ sign) - sign);
}

double physicalOf(const SignalDef& s, uint64_t raw) {
    switch (s.kind) {
    case SignalValueKind::float32: {
        float value = std::bit_cast<float>(static_cast<uint32_t>(raw));
        return static_cast<double>(value) * s.factor + s.offset;
    }
    case SignalValueKind::float64:
        return std::bit_cast<double>(raw) * s.factor + s.offset;
    case SignalValueKind::integer:
        break;
    }
    if (s.integerScale) {
        Int128 value = s.isSigned ? Int128{signExtended(raw, s.length)} : Int128{raw};
        return static_cast<double>(value * s.factorInt + s.offsetInt);
    }
    double value = s.isSigned ? static_cast<double>(signExtended(raw, s.length)) : static_cast<double>(raw);
    return value * s.factor + s.offset;
}

const std::string* nameOf(const SignalDef& s, uint64_t raw) {
    if (s.valueNames.empty() || s.kind != SignalValueKind::integer)
        return nullptr;
    int64_t key = s.isSigned ? signExtended(raw, s.length) : static_cast<int64_t>(raw);
    if (!s.isSigned && raw > uint64_t{INT64_MAX})
        return nullptr;
    auto found = std::lower_bound(s.valueNames.begin(), s.valueNames.end(), key,
                                  [](const ValueName& v, int64_t k) { return v.value < k; });
    return found != s.valueNames.end() && found->value == key ? &found->name : nullptr;
}

void writeRaw(const SignalDef& s, uint64_t raw, uint8_t data[8]) {
    FrameWords w = frameWords(data, 8);
    uint64_t bits = (raw & s.mask) << s.shift;
    uint64_t clear = ~(s.mask << s.shift);
    if (s.order == ByteOrder::intel) {
        w.little = (w.little & clear) | bits;
        for (int i = 0; i < 8; ++i)
            data[i] = static_cast<uint8_t>(w.little >> (8 * i));
    } else {
        w.big = (w.big & clear) | bits;
        for (int i = 0; i < 8; ++i)
            data[i] = static_cast<uint8_t>(w.big >> (8 * (7 - i)));
    }
}

Int128 rawLow(const SignalDef& s) {
    return s.isSigned ? -(Int128{1} << (s.length - 1)) : 0;
}
Int128 rawHigh(const SignalDef& s) {
    return s.isSigned ? (Int128{1} << (s.length - 1)) - 1 : (Int128{1} << s.length) - 1;
}

// (value - offset) / factor to the nearest whole number, ties away from zero.
Int128 scaledDown(const SignalDef& s, Int128 value) {
    Int128 num = value - s.offsetInt;
    Int128 q = num / s.factorInt;
    Int128 rem = num % s.factorInt;
    Int128 f = s.factorInt < 0 ? -Int128{s.factorInt} : Int128{s.factorInt};
    Int128 absRem = rem < 0 ? -rem : rem;
    if (2 * absRem >= f)
        q += ((rem < 0) != (s.factorInt < 0)) ? -1 : 1;
    return q;
}

std::string_view trimmed(std::string_view text) {
    while (!text.empty() && (text.front() == ' ' || text.front() == '\t'))
        text.remove_prefix(1);
    while (!text.empty() && (text.back() == ' ' || text.back() == '\t'))
        text.remove_suffix(1);
    return text;
}

// The value-table entry of a name as written, else as typed with blanks around it.
const ValueName* valueNamed(const SignalDef& signal, std::string_view text) {
    for (std::string_view wanted : {text, trimmed(text)}) {
        for (const ValueName& v : signal.valueNames) {
            if (v.name == wanted)
                return &v;
        }
    }
    return nullptr;
}

// A whole number of up to 36 digits; false for anything else.
bool wholeNumber(std::string_view text, Int128& value) {
    bool negative = !text.empty() && text.front() == '-';
    if (!text.empty() && (text.front() == '-' || text.front() == '+'))
        text.remove_prefix(1);
    if (text.empty() || text.size() > 36)
        return false;
    value = 0;
    for (char c : text) {
        if (c < '0' || c > '9')
            return false;
        value = value * 10 + (c - '0');
    }
    if (negative)
        value = -value;
    return true;
}

// The raw integer nearest to `physical`; false when none in the signal's range is.
bool integerRaw(const SignalDef& s, double physical, uint64_t& raw) {
    double x = (physical - s.offset) / s.factor;
    if (!std::isfinite(x))
        return false;
    // The range's ends as doubles may round outwards (2^64 - 1 becomes 2^64): values up to half a step past
    // them are clamped, anything further is out of range.
    double low = s.isSigned ? -std::ldexp(1.0, s.length - 1) : 0.0;
    double limit = s.isSigned ? std::ldexp(1.0, s.length - 1) : std::ldexp(1.0, s.length); // one past the end
    double high = static_cast<double>(s.isSigned ? (s.mask >> 1) : s.mask);
    if (x < low - 0.5 || x > high + 0.5)
        return false;
    double r = std::round(x);
    if (s.integerScale && std::fabs(physical) < 1e38) {
        // Exact for whole-number scales: (physical - offset) / factor without rounding in between.
        Int128 q = scaledDown(s, static_cast<Int128>(std::round(physical)));
        q = std::clamp(q, rawLow(s), rawHigh(s));
        raw = static_cast<uint64_t>(q) & s.mask;
        return true;
    }
    if (r >= limit)
        raw = s.isSigned ? s.mask >> 1 : s.mask;
    else if (r < low)
        raw = s.isSigned ? ~(s.mask >> 1) & s.mask : 0;
    else
        raw =
            (s.isSigned ? static_cast<uint64_t>(static_cast<int64_t>(r)) : static_cast<uint64_t>(r)) & s.mask;
    return true;
}

void appendNumber(std::string& out, double value) {
    std::array<char, 64> buffer{};
    char* end = nullptr;
    double magnitude = std::fabs(value);
    // Plain digits where a reader expects them; exponents only for the very large and very small.
    if (value == std::floor(value) && magnitude < 1e21) {
        end =
            std::to_chars(buffer.data(), buffer.data() + buffer.size(), value, std::chars_format::fixed).ptr;
    } else if (magnitude >= 1e-5 && magnitude < 1e21) {
        end =
            std::to_chars(buffer.data(), buffer.data() + buffer.size(), value, std::chars_format::fixed).ptr;
    } else {
        end = std::to_chars(buffer.data(), buffer.data() + buffer.size(), value).ptr;
    }
    out.append(buffer.data(), end);
}

} // namespace

void decodeMessage(const MessageDef& message, const uint8_t* data, int length,
                   std::vector<DecodedSignal>& out) {
    length = std::clamp(length, 0, 8);
    out.resize(message.signalList.size());
    FrameWords w = frameWords(data, length);
    SignalDef scratch;
    bool multiplexed = false;
    for (std::size_t i = 0; i < message.signalList.size(); ++i) {
        const SignalDef& def = message.signalList[i];
        const SignalDef& s = laidOut(def, scratch);
        DecodedSignal& d = out[i];
        d.signal = &def;
        d.present = s.bytesNeeded <= length;
        d.raw = d.present ? ((s.order == ByteOrder::intel ? w.little : w.big) >> s.shift) & s.mask : 0;
        multiplexed = multiplexed || def.multiplexorIndex >= 0;
    }
    // Presence only ever drops, so repeating until nothing changes settles chains of switches.
    for (bool changed = multiplexed; changed;) {
        changed = false;
        for (std::size_t i = 0; i < message.signalList.size(); ++i) {
            const SignalDef& s = message.signalList[i];
            DecodedSignal& d = out[i];
            if (!d.present || s.multiplexorIndex < 0)
                continue;
            bool selected = false;
            if (static_cast<std::size_t>(s.multiplexorIndex) < out.size()) {
                const DecodedSignal& sw = out[static_cast<std::size_t>(s.multiplexorIndex)];
                for (auto [from, to] : s.multiplexRanges)
                    selected = selected || (sw.present && sw.raw >= from && sw.raw <= to);
            }
            if (!selected) {
                d.present = false;
                changed = true;
            }
        }
    }
    for (std::size_t i = 0; i < message.signalList.size(); ++i) {
        DecodedSignal& d = out[i];
        const SignalDef& s = laidOut(message.signalList[i], scratch);
        if (!d.present) {
            d.raw = 0;
            d.physical = 0;
            d.valueName = nullptr;
            continue;
        }
        d.physical = physicalOf(s, d.raw);
        d.valueName = nameOf(message.signalList[i], d.raw);
    }
}

bool encodeSignal(const SignalDef& signal, double physical, uint8_t data[8]) {
    SignalDef scratch;
    const SignalDef& s = laidOut(signal, scratch);
    if (s.bytesNeeded > 8 || std::isnan(physical) || s.factor == 0)
        return false;
    uint64_t raw = 0;
    switch (s.kind) {
    case SignalValueKind::integer: {
        if (!std::isfinite(physical) || !integerRaw(s, physical, raw))
            return false;
        // Of the raw values next to the rounded one, take the one that decodes to exactly this value.
        for (uint64_t candidate : {raw, (raw + 1) & s.mask, (raw - 1) & s.mask}) {
            if (physicalOf(s, candidate) == physical) {
                raw = candidate;
                break;
            }
        }
        break;
    }
    case SignalValueKind::float32: {
        double x = (physical - s.offset) / s.factor;
        if (std::isfinite(x) && std::fabs(x) > 3.4028234663852886e38)
            return false;
        auto value = static_cast<float>(x);
        for (float candidate : {value, std::nextafter(value, INFINITY), std::nextafter(value, -INFINITY)}) {
            if (physicalOf(s, std::bit_cast<uint32_t>(candidate)) == physical) {
                value = candidate;
                break;
            }
        }
        raw = std::bit_cast<uint32_t>(value);
        break;
    }
    case SignalValueKind::float64: {
        double value = (physical - s.offset) / s.factor;
        for (double candidate : {value, std::nextafter(value, INFINITY), std::nextafter(value, -INFINITY)}) {
            if (physicalOf(s, std::bit_cast<uint64_t>(candidate)) == physical) {
                value = candidate;
                break;
            }
        }
        raw = std::bit_cast<uint64_t>(value);
        break;
    }
    }
    writeRaw(s, raw, data);
    return true;
}

std::string signalNumberText(const DecodedSignal& decoded) {
    if (decoded.signal == nullptr || !decoded.present)
        return {};
    const SignalDef& s = *decoded.signal;
    std::string text;
    if (s.kind == SignalValueKind::integer && s.integerScale) {
        // Whole-number scales print exactly, even past a double's 53 bits.
        Int128 value = s.isSigned ? Int128{signExtended(decoded.raw, s.length)} : Int128{decoded.raw};
        value = value * s.factorInt + s.offsetInt;
        bool negative = value < 0;
        UInt128 magnitude = negative ? -static_cast<UInt128>(value) : value;
        do {
            text.insert(text.begin(), static_cast<char>('0' + static_cast<int>(magnitude % 10)));
            magnitude /= 10;
        } while (magnitude != 0);
        if (negative)
            text.insert(text.begin(), '-');
        return text;
    }
    if (std::isnan(decoded.physical))
        return "NaN";
    if (std::isinf(decoded.physical))
        return decoded.physical > 0 ? "Infinity" : "-Infinity";
    std::array<char, 64> buffer{};
    char* end = std::to_chars(buffer.data(), buffer.data() + buffer.size(), decoded.physical).ptr;
    return std::string(buffer.data(), end);
}

namespace {

// The decimals a scale term has when written in decimal (0.01 has 2), or -1 when it has more than 12.
int decimalsOf(double x) {
    double scaled = x;
    for (int d = 0; d <= 12; ++d, scaled *= 10) {
        // Allow the few units of rounding that scaling a binary fraction by ten leaves.
        if (std::fabs(scaled - std::round(scaled)) <= std::max(1e-6, std::fabs(scaled) * 1e-14))
            return d;
    }
    return -1;
}

// An integer raw value scaled by decimal terms has no more decimals than they have: shown with those, so a
// factor of 0.01 reads 30.81 and not the 30.810000000000002 of its double.
bool appendDecimalScaled(std::string& text, const SignalDef& s, double physical) {
    const int factorDecimals = decimalsOf(s.factor);
    const int offsetDecimals = decimalsOf(s.offset);
    if (factorDecimals < 0 || offsetDecimals < 0 || !(std::fabs(physical) < 1e15))
        return false;
    std::array<char, 64> buffer{};
    const int decimals = std::max(factorDecimals, offsetDecimals);
    char* end = std::to_chars(buffer.data(), buffer.data() + buffer.size(), physical,
                              std::chars_format::fixed, decimals)
                    .ptr;
    std::string_view shown(buffer.data(), static_cast<std::size_t>(end - buffer.data()));
    if (shown.find('.') != std::string_view::npos) {
        while (shown.back() == '0')
            shown.remove_suffix(1);
        if (shown.back() == '.')
            shown.remove_suffix(1);
    }
    text = shown == "-0" ? std::string("0") : std::string(shown);
    return true;
}

} // namespace

std::string signalValueText(const DecodedSignal& decoded) {
    if (decoded.signal == nullptr || !decoded.present)
        return {};
    if (decoded.valueName != nullptr)
        return *decoded.valueName;
    const SignalDef& s = *decoded.signal;
    if ((s.kind == SignalValueKind::integer && s.integerScale) || !std::isfinite(decoded.physical))
        return signalNumberText(decoded);
    std::string text;
    if (s.kind == SignalValueKind::float32 && s.factor == 1 && s.offset == 0) {
        // A float's own shortest form: 0.1, not the 0.10000000149011612 its double widening shows.
        std::array<char, 64> buffer{};
        auto value = static_cast<float>(decoded.physical);
        float magnitude = std::fabs(value);
        auto format =
            magnitude >= 1e-5f && magnitude < 1e21f ? std::chars_format::fixed : std::chars_format::general;
        char* end = std::to_chars(buffer.data(), buffer.data() + buffer.size(), value, format).ptr;
        return std::string(buffer.data(), end);
    }
    if (s.kind == SignalValueKind::integer && appendDecimalScaled(text, s, decoded.physical))
        return text;
    appendNumber(text, decoded.physical);
    return text;
}

bool parseSignalValue(const SignalDef& signal, std::string_view text, double& physical) {
    if (const ValueName* v = valueNamed(signal, text)) {
        SignalDef scratch;
        const SignalDef& s = laidOut(signal, scratch);
        physical = physicalOf(s, static_cast<uint64_t>(v->value) & s.mask);
        return true;
    }
    text = trimmed(text);
    if (text.empty())
        return false;
    std::string_view number = text;
    if (number.front() == '+')
        number.remove_prefix(1);
    double value = 0;
    auto [end, ec] = std::from_chars(number.data(), number.data() + number.size(), value);
    if (ec != std::errc{} || end != number.data() + number.size())
        return false;
    if (std::isnan(value))
        return false;
    physical = value;
    return true;
}

} // namespace korvel

namespace korvel {

bool encodeSignalText(const SignalDef& signal, std::string_view text, uint8_t data[8]) {
    SignalDef scratch;
    const SignalDef& s = laidOut(signal, scratch);
    if (s.bytesNeeded > 8)
        return false;
    if (const ValueName* v = valueNamed(signal, text)) {
        Int128 raw = v->value;
        if (raw < rawLow(s) || raw > rawHigh(s))
            return false;
        writeRaw(s, static_cast<uint64_t>(raw) & s.mask, data);
        return true;
    }
    text = trimmed(text);
    Int128 whole = 0;
    if (s.kind == SignalValueKind::integer && s.integerScale && wholeNumber(text, whole)) {
        Int128 raw = scaledDown(s, whole);
        if (raw < rawLow(s) || raw > rawHigh(s))
            return false;
        writeRaw(s, static_cast<uint64_t>(raw) & s.mask, data);
        return true;
    }
    double physical = 0;
    return parseSignalValue(signal, text, physical) && encodeSignal(signal, physical, data);
}

} // namespace korvel
