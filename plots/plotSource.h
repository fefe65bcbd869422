#pragma once

// Where a trace takes its values: a field of the data bytes of one identifier, picked by the user when no
// database describes the frame (a byte, a 16-bit word in either byte order, a bit).

#include <cstdint>
#include <string>

namespace korvel {

enum class ByteField { byte, wordLittleEndian, wordBigEndian, bit };

struct ByteSource {
    uint32_t id = 0;
    bool extended = false;
    ByteField field = ByteField::byte;
    int byteIndex = 0; // 0 to 7; a word takes this byte and the next
    int bitIndex = 0;  // 0 (least significant) to 7, for a bit
    bool isSigned = false;
    friend bool operator==(const ByteSource&, const ByteSource&) = default;
};

// False for a field that does not fit in eight bytes.
[[nodiscard]] bool isValidByteSource(const ByteSource& source);
// The field's value in a frame of `length` data bytes; false when the frame is too short to hold it (a
// remote frame holds none).
[[nodiscard]] bool byteSourceValue(const ByteSource& source, const uint8_t* data, int length, double& value);
// The trace's name in the legend: "123 byte 2", "18FEF100 word 2-3 BE signed", "123 bit 1.7".
[[nodiscard]] std::string byteSourceName(const ByteSource& source);

} // namespace korvel
