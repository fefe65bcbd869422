// Scenario files of the virtual adapter: parsed, and when they load, run for a short while.

#include "fuzz/fuzzCheck.h"
#include "fuzz/simOutput.h"

#include "sim/adapterEngine.h"
#include "sim/scenario.h"

#include <algorithm>
#include <string>

using namespace korvel;

extern "C" int LLVMFuzzerTestOneInput(const unsigned char* data, std::size_t size) {
    const std::string_view text(reinterpret_cast<const char*>(data), size);
    std::string error;
    const auto scenario = sim::parseScenario(text, &error);

    sim::AdapterEngine engine;
    std::string loadError;
    FUZZ_CHECK(engine.loadScenario(text, &loadError) == scenario.has_value());
    if (!scenario) {
        // "line N: ..." naming a line of the file.
        FUZZ_CHECK(error.rfind("line ", 0) == 0 && error == loadError);
        const long lineNumber = std::strtol(error.c_str() + 5, nullptr, 10);
        FUZZ_CHECK(lineNumber >= 1 && lineNumber <= std::count(text.begin(), text.end(), '\n') + 1 ||
                   size > sim::kMaxScenarioBytes);
        return 0;
    }
    FUZZ_CHECK(scenario->frames.size() <= sim::kMaxScenarioFrames);
    FUZZ_CHECK(scenario->rtrAnswers.size() <= sim::kMaxScenarioAnswers);
    FUZZ_CHECK(scenario->timeline.size() <= sim::kMaxTimedActions);
    FUZZ_CHECK(!scenario->rate || (*scenario->rate >= 0 && *scenario->rate <= 1'000'000));
    for (const auto& periodic : scenario->frames)
        FUZZ_CHECK(periodic.frame.dlc <= 8 && periodic.periodUs >= 1000);

    // The host's connect sequence, then a few polls; remote requests for every scripted answer.
    fuzz::SimOutputReader reader;
    const bool garbage =
        std::any_of(scenario->faults.begin(), scenario->faults.end(),
                    [](sim::Fault f) { return f == sim::Fault::Garbage; }) ||
        std::any_of(scenario->timeline.begin(), scenario->timeline.end(), [](const auto& a) {
            return a.kind == sim::TimedAction::Kind::FaultOn && a.fault == sim::Fault::Garbage;
        });
    int64_t now = 1'000'000;
    engine.hostWrite("C\rV\rv\rS6\rZ1\rO\r", now);
    reader.read(engine, garbage);
    for (const sim::SimFrame& answer : scenario->rtrAnswers) {
        const std::string id = upperHex(answer.id, answer.extended ? 8 : 3);
        engine.hostWrite((answer.extended ? "R" : "r") + id + "0\r", now);
    }
    for (int poll = 0; poll < 5; ++poll) {
        now += 4000;
        engine.advance(now);
        reader.read(engine, garbage);
    }
    return 0;
}
