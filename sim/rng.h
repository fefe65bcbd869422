// A small seeded generator, so the same seed and the same time sequence give the same traffic everywhere.
#pragma once

#include <cstdint>

namespace korvel::sim {

class Rng {
public:
    explicit Rng(uint64_t seed = 1) : state_(seed) {}

    void seed(uint64_t seed) { state_ = seed; }

    // splitmix64: one add and three mixes, good enough for traffic and fault timing.
    uint64_t next() {
        uint64_t z = (state_ += 0x9E3779B97F4A7C15ULL);
        z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ULL;
        z = (z ^ (z >> 27)) * 0x94D049BB133111EBULL;
        return z ^ (z >> 31);
    }

    // 0 .. bound-1; bound 0 gives 0.
    uint32_t below(uint32_t bound) { return bound == 0 ? 0 : static_cast<uint32_t>(next() % bound); }

    uint8_t byte() { return static_cast<uint8_t>(next() >> 56); }

private:
    uint64_t state_;
};

} // namespace korvel::sim
