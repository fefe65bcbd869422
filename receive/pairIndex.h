#pragma once

// A hash index from (identifier text, data length) to a number, for the receive path: it allocates only
// when it grows past its largest size so far, and clear() costs nothing however many keys it held.

#include <cstdint>
#include <string_view>
#include <vector>

namespace korvel {

// Identifier texts are at most 8 characters (they come from CanFrame::idText), so a pair packs into
// one word plus its length and data length.
struct PairKey {
    uint64_t chars = 0;
    uint8_t length = 0;
    uint8_t dlc = 0;
    friend bool operator==(const PairKey&, const PairKey&) = default;
};

[[nodiscard]] PairKey pairKey(std::string_view idText, uint8_t dlc);

class PairIndex {
public:
    static constexpr uint32_t npos = UINT32_MAX;

    [[nodiscard]] uint32_t find(const PairKey& key) const;
    // The key must not be present yet.
    void insert(const PairKey& key, uint32_t value);
    void clear();
    [[nodiscard]] std::size_t size() const { return count_; }

private:
    struct Slot {
        PairKey key;
        uint32_t value = 0;
        uint32_t generation = 0; // a slot is in use only when it carries the current generation
    };

    [[nodiscard]] std::size_t slotOf(const PairKey& key) const;
    void grow();

    std::vector<Slot> slots_;
    std::size_t count_ = 0;
    uint32_t generation_ = 1;
};

} // namespace korvel
