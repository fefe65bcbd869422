// What a host may write to the virtual adapter, in pieces and with the clock moving between them.

#include "fuzz/fuzzCheck.h"
#include "fuzz/simOutput.h"

#include "sim/adapterEngine.h"

#include <string>

using namespace korvel;

extern "C" int LLVMFuzzerTestOneInput(const unsigned char* data, std::size_t size) {
    const auto [seed, stream] = fuzz::seededText(data, size);
    fuzz::Choices choices(seed);

    sim::AdapterEngine engine(seed);
    const bool garbage = (seed & 0x80) != 0;
    engine.setFault(sim::Fault::Garbage, garbage);
    engine.setFault(sim::Fault::SplitReplies, (seed & 0x40) != 0);
    engine.setFault(sim::Fault::LowerCaseIds, (seed & 0x20) != 0);

    fuzz::SimOutputReader reader;
    int64_t now = 0;
    for (std::size_t pos = 0; pos < stream.size();) {
        const std::size_t chunk = 1 + choices.next(48);
        engine.hostWrite(stream.substr(pos, chunk), now);
        pos += chunk;
        // The clock moves on by up to 20 ms, and now and then steps back.
        now += static_cast<int64_t>(choices.next(20'000)) - (choices.next(16) == 0 ? 30'000 : 0);
        engine.advance(now);
        reader.read(engine, garbage);
    }

    const auto log = engine.commandLog();
    FUZZ_CHECK(log.size() <= sim::AdapterEngine::kMaxLogEntries);
    for (const std::string& line : log)
        FUZZ_CHECK(!line.empty() && line.size() <= sim::AdapterEngine::kMaxLineLength &&
                   line.find('\r') == std::string::npos);
    FUZZ_CHECK(engine.transmittedFrames().size() <= sim::AdapterEngine::kMaxLogEntries);
    return 0;
}
