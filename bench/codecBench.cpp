// Decoding frame lines and cutting received text into lines.

#include "link/canFrame.h"

#include <benchmark/benchmark.h>

#include <string>
#include <vector>

using namespace korvel;

namespace {

// A realistic mix: standard and extended data frames of various lengths, remote frames, acknowledgements.
std::vector<std::string> sampleLines() {
    return {"t12381122334455667788EA60",
            "T1ABCDEF08010203040506070801F4",
            "t7FF0",
            "r1238",
            "t0013AABBCC1234",
            "z",
            "T000000FF40102030400FF",
            "t3214DEADBEEF0001",
            "R1FFFFFFF4",
            "t10020000"};
}

void BM_DecodeFrameLine(benchmark::State& state) {
    const std::vector<std::string> lines = sampleLines();
    CanFrame frame;
    std::size_t i = 0;
    for (auto _ : state) {
        benchmark::DoNotOptimize(decodeFrameLine(lines[i], '.', frame));
        benchmark::ClobberMemory();
        i = (i + 1) % lines.size();
    }
    state.SetItemsProcessed(static_cast<int64_t>(state.iterations()));
}
BENCHMARK(BM_DecodeFrameLine);

void BM_TakeCompleteLines(benchmark::State& state) {
    // 64 KiB chunks that end mid-line, as serial reads do.
    std::string stream;
    const std::vector<std::string> lines = sampleLines();
    while (stream.size() < 64 * 1024)
        for (const std::string& l : lines)
            stream += l + '\r';
    stream.resize(64 * 1024);
    LineCutter cutter;
    std::vector<std::string_view> out;
    out.reserve(8192);
    for (auto _ : state) {
        takeCompleteLines(stream, cutter, out);
        benchmark::DoNotOptimize(out.data());
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * static_cast<int64_t>(stream.size()));
}
BENCHMARK(BM_TakeCompleteLines);

} // namespace
