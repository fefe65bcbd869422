#pragma once

// What the virtual adapter sends the host, read as the host reads it: every frame line it sends must be
// one the host decodes into the frame that was meant.

#include "fuzz/fuzzCheck.h"

#include "core/numberText.h"
#include "link/canFrame.h"
#include "sim/adapterEngine.h"

#include <string>
#include <vector>

namespace korvel::fuzz {

class SimOutputReader {
public:
    // `garbage`: the adapter may put random bytes before a line, so lines need not be well formed.
    void read(sim::AdapterEngine& engine, bool garbage) {
        FUZZ_CHECK(engine.pendingHostBytes() <=
                   sim::AdapterEngine::kMaxHostQueueBytes + sim::AdapterEngine::kReplySlackBytes);
        const std::string bytes = engine.takeHostBytes(engine.nextChunkLimit());
        takeCompleteLines(bytes, cutter_, lines_);
        for (std::string_view line : lines_) {
            // BELL replies carry no CR, so they stand before the next line.
            while (!line.empty() && line.front() == '\a')
                line.remove_prefix(1);
            if (!garbage)
                checkLine(line);
        }
    }

private:
    static void checkLine(std::string_view line) {
        if (line.empty() || std::string_view("tTrR").find(line.front()) == std::string_view::npos)
            return;
        const auto frame = decodeFrameLine(line, '.');
        FUZZ_CHECK(frame.has_value());
        const std::size_t idLength = frame->isExtended ? 8 : 3;
        const std::size_t dataLength = frame->isRemote ? 0 : 2 * std::size_t{frame->dlc};
        const std::size_t length = 1 + idLength + 1 + dataLength;
        // With or without its timestamp: the host may switch it while lines wait.
        FUZZ_CHECK(line.size() == length || line.size() == length + 4);
        for (char c : line.substr(1, idLength))
            FUZZ_CHECK(isHexDigit(c));
        FUZZ_CHECK(line[1 + idLength] >= '0' && line[1 + idLength] <= '8');
        const uint32_t id = static_cast<uint32_t>(readHexNumber(frame->idText.view()));
        FUZZ_CHECK(id <= (frame->isExtended ? 0x1FFFFFFFu : 0x7FFu));
    }

    LineCutter cutter_;
    std::vector<std::string_view> lines_;
};

} // namespace korvel::fuzz
