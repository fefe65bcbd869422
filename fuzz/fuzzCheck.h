#pragma once

// What every fuzz target shares: a check that stops the run with a message (libFuzzer then keeps the
// input as a crash), and a small deterministic stream of choices drawn from one input byte.

#include <cstdio>
#include <cstdlib>
#include <string_view>

#define FUZZ_CHECK(condition)                                                                                \
    do {                                                                                                     \
        if (!(condition)) {                                                                                  \
            std::fprintf(stderr, "%s:%d: check failed: %s\n", __FILE__, __LINE__, #condition);               \
            std::abort();                                                                                    \
        }                                                                                                    \
    } while (0)

namespace korvel::fuzz {

// Chunk sizes and similar choices from a seed byte, so the rest of the input stays plain text that the
// seeds can hold as it is.
class Choices {
public:
    explicit Choices(unsigned char seed) : state_(seed * 2654435761u + 1u) {}
    unsigned next(unsigned bound) {
        state_ ^= state_ << 13;
        state_ ^= state_ >> 17;
        state_ ^= state_ << 5;
        return bound == 0 ? 0 : state_ % bound;
    }

private:
    unsigned state_;
};

// The first byte chooses, the rest is the text.
struct SeededText {
    unsigned char seed = 0;
    std::string_view text;
};

inline SeededText seededText(const unsigned char* data, std::size_t size) {
    if (size == 0)
        return {};
    return {data[0], std::string_view(reinterpret_cast<const char*>(data) + 1, size - 1)};
}

} // namespace korvel::fuzz
