// Bytes from an adapter, cut into reads of random sizes: the line cutter and the frame line decoder.

#include "fuzz/fuzzCheck.h"

#include "core/numberText.h"
#include "link/canFrame.h"

#include <string>
#include <vector>

using namespace korvel;

namespace {

bool allHex(std::string_view text) {
    for (char c : text)
        if (!isHexDigit(c))
            return false;
    return true;
}

// The model of a well-formed line, written independently of the decoder.
bool wellFormedLine(std::string_view line) {
    if (line.empty() || std::string_view("tTrR").find(line[0]) == std::string_view::npos)
        return false;
    const bool extended = line[0] == 'T' || line[0] == 'R';
    const bool remote = line[0] == 'r' || line[0] == 'R';
    const std::size_t idLength = extended ? 8 : 3;
    if (line.size() < idLength + 2 || !allHex(line.substr(1, idLength)))
        return false;
    const unsigned long id = std::stoul(std::string(line.substr(1, idLength)), nullptr, 16);
    if (id > (extended ? 0x1FFFFFFFul : 0x7FFul))
        return false;
    const char dlc = line[1 + idLength];
    if (dlc < '0' || dlc > '8')
        return false;
    const std::size_t body = idLength + 2 + (remote ? 0 : 2 * std::size_t(dlc - '0'));
    if (line.size() != body && line.size() != body + 4)
        return false;
    return allHex(line.substr(idLength + 2));
}

void checkFrame(std::string_view line, char separator) {
    CanFrame frame;
    const bool decoded = decodeFrameLine(line, separator, frame);
    FUZZ_CHECK(decoded == wellFormedLine(line));
    if (!decoded)
        return;
    FUZZ_CHECK(frame.dlc <= 8);
    FUZZ_CHECK(frame.idText.size() == (frame.isExtended ? 8u : 3u));
    FUZZ_CHECK(frame.timestampMs >= 0 && frame.timestampMs <= 0xFFFF);
    if (frame.isRemote)
        FUZZ_CHECK(frame.dataText == "RTR");
    else
        FUZZ_CHECK(frame.dataText.size() == (frame.dlc == 0 ? 0u : 3u * frame.dlc - 1));
    const std::string stamp(frame.timestampText.view());
    FUZZ_CHECK(stamp.find(separator) != std::string::npos);

    // A data frame line encodes back to itself, without its timestamp.
    if (!frame.isRemote) {
        const std::size_t dataEnd = 1 + (frame.isExtended ? 8 : 3) + 1 + 2 * std::size_t{frame.dlc};
        const std::string again =
            encodeFrameLine(frame.idText.view(), std::to_string(frame.dlc), frame.dataText.view());
        FUZZ_CHECK(again == line.substr(0, dataEnd));
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const unsigned char* data, std::size_t size) {
    const auto [seed, stream] = fuzz::seededText(data, size);
    fuzz::Choices choices(seed);
    const char separator = (seed & 1) ? ',' : '.';

    // The lines a single read of the whole stream would hold: a CR or a BELL (an error reply) ends one.
    std::vector<std::string_view> reference;
    for (std::size_t start = 0, end; (end = stream.find_first_of("\r\a", start)) != std::string_view::npos;
         start = end + 1)
        reference.push_back(stream.substr(start, end - start));

    LineCutter cutter;
    std::vector<std::string_view> lines;
    std::size_t next = 0; // the reference line the next taken line must be, or one after dropped ones
    for (std::size_t pos = 0; pos < stream.size();) {
        const std::size_t chunk = 1 + choices.next(300);
        takeCompleteLines(stream.substr(pos, chunk), cutter, lines);
        pos += chunk;
        FUZZ_CHECK(cutter.pendingLine.size() <= LineCutter::kMaxPendingLine);
        for (std::string_view line : lines) {
            FUZZ_CHECK(line.find_first_of("\r\a") == std::string_view::npos);
            // Only a line too long for any adapter may be dropped; every other one arrives, in order.
            while (next < reference.size() && reference[next] != line) {
                FUZZ_CHECK(reference[next].size() > LineCutter::kMaxPendingLine);
                ++next;
            }
            FUZZ_CHECK(next < reference.size());
            ++next;
            checkFrame(line, separator);

            const int version = versionNumber(line);
            FUZZ_CHECK(version >= 0 && version <= 9999);
            FUZZ_CHECK(firmwareText(line).empty() == (version == 0));
        }
    }
    for (; next < reference.size(); ++next)
        FUZZ_CHECK(reference[next].size() > LineCutter::kMaxPendingLine);
    return 0;
}
