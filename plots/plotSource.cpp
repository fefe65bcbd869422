#include "plots/plotSource.h"

#include <cstdio>

namespace korvel {

bool isValidByteSource(const ByteSource& source) {
    const int last = source.field == ByteField::wordLittleEndian || source.field == ByteField::wordBigEndian
                         ? source.byteIndex + 1
                         : source.byteIndex;
    if (source.byteIndex < 0 || last > 7)
        return false;
    if (source.field == ByteField::bit && (source.bitIndex < 0 || source.bitIndex > 7))
        return false;
    return source.id <= (source.extended ? 0x1FFFFFFFu : 0x7FFu);
}

bool byteSourceValue(const ByteSource& source, const uint8_t* data, int length, double& value) {
    if (!isValidByteSource(source))
        return false;
    const int i = source.byteIndex;
    switch (source.field) {
    case ByteField::byte:
        if (length <= i)
            return false;
        value = source.isSigned ? static_cast<int8_t>(data[i]) : data[i];
        return true;
    case ByteField::wordLittleEndian:
    case ByteField::wordBigEndian: {
        if (length <= i + 1)
            return false;
        const bool little = source.field == ByteField::wordLittleEndian;
        const auto word =
            static_cast<uint16_t>(little ? data[i] | (data[i + 1] << 8) : (data[i] << 8) | data[i + 1]);
        value = source.isSigned ? static_cast<int16_t>(word) : word;
        return true;
    }
    case ByteField::bit:
        if (length <= i)
            return false;
        value = (data[i] >> source.bitIndex) & 1;
        return true;
    }
    return false;
}

std::string byteSourceName(const ByteSource& source) {
    char text[64];
    const char* idFormat = source.extended ? "%08X" : "%03X";
    int n = std::snprintf(text, sizeof text, idFormat, static_cast<unsigned>(source.id));
    const auto rest = sizeof text - static_cast<std::size_t>(n);
    switch (source.field) {
    case ByteField::byte:
        n += std::snprintf(text + n, rest, " byte %d", source.byteIndex);
        break;
    case ByteField::wordLittleEndian:
    case ByteField::wordBigEndian:
        n += std::snprintf(text + n, rest, " word %d-%d %s", source.byteIndex, source.byteIndex + 1,
                           source.field == ByteField::wordLittleEndian ? "LE" : "BE");
        break;
    case ByteField::bit:
        return std::string(text, static_cast<std::size_t>(n)) + " bit " + std::to_string(source.byteIndex) +
               "." + std::to_string(source.bitIndex);
    }
    std::string name(text, static_cast<std::size_t>(n));
    if (source.isSigned)
        name += " signed";
    return name;
}

} // namespace korvel
