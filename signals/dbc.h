#pragma once

// A CAN database in the DBC text format: messages, their signals, value tables and the attributes that
// matter for decoding (cycle time, frame format, J1939). The reader is forgiving: a line it cannot read is
// listed with its number and reason, and the rest of the file loads.

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace korvel {

enum class ByteOrder { intel, motorola }; // @1, @0
enum class SignalValueKind { integer, float32, float64 };

struct ValueName {
    int64_t value = 0;
    std::string name;
};

struct SignalDef {
    std::string name;
    int startBit = 0; // as the file writes it
    int length = 0;   // 1..64
    ByteOrder order = ByteOrder::intel;
    bool isSigned = false;
    SignalValueKind kind = SignalValueKind::integer;
    double factor = 1, offset = 0, minimum = 0, maximum = 0;
    std::string unit;
    std::vector<std::string> receivers;
    std::string comment;
    bool isMultiplexor = false; // M, or the M of m<n>M
    int multiplexorIndex =
        -1; // index in MessageDef::signalList of the switch selecting this one, -1 = always
    std::vector<std::pair<uint64_t, uint64_t>>
        multiplexRanges;               // values of that switch selecting it (m<n>: {n,n})
    std::vector<ValueName> valueNames; // sorted by value

    // Where the raw bits sit, worked out once by prepareSignal() so decoding does no layout arithmetic per
    // frame: the right shift of the frame read as one 64-bit word (little-endian for Intel, big-endian for
    // Motorola), the mask of `length` bits, and the frame length the signal needs.
    // A factor and offset that are both whole numbers scale exactly in integer arithmetic.
    int shift = 0;
    uint64_t mask = 0;
    int bytesNeeded = 0;
    bool integerScale = false;
    int64_t factorInt = 1, offsetInt = 0;
    bool laidOut = false;
};

struct MessageDef {
    uint32_t id = 0; // without bit 31
    bool extended = false;
    std::string name;
    int size = 8;
    std::string transmitter;
    std::string comment;
    int cycleTimeMs = 0; // 0: none given
    bool j1939 = false;
    std::vector<SignalDef> signalList; // not "signals": Qt defines that word as a macro
};

struct DbcProblem {
    int line = 0;
    std::string reason;
};

struct Database {
    std::string path; // as loaded
    std::vector<MessageDef> messages;
    std::vector<DbcProblem> problems; // lines it could not read; the rest loaded
};

// Works out a signal's layout fields from its start bit, length and byte order; false (and the signal left
// unusable) when the bits do not fit in eight bytes. The reader calls it for every signal it keeps; call it
// for a signal built by hand.
bool prepareSignal(SignalDef& signal);

// Larger files are refused unread.
inline constexpr std::size_t kMaxDbcBytes = std::size_t{64} << 20;

// Reads DBC text (UTF-8 or Windows-1252, any line end). Never throws; problems are listed.
[[nodiscard]] Database readDbc(std::string_view text, std::string path = {});
// Reads a file; false with `error` ("cannot open", "not a database", size limit ...) when nothing could be
// read.
[[nodiscard]] bool loadDbcFile(const std::string& path, Database& out, std::string& error);

} // namespace korvel
