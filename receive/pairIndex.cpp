#include "receive/pairIndex.h"

#include <algorithm>

namespace korvel {

PairKey pairKey(std::string_view idText, uint8_t dlc) {
    PairKey key;
    const std::size_t n = std::min<std::size_t>(idText.size(), 8);
    for (std::size_t i = 0; i < n; ++i)
        key.chars |= static_cast<uint64_t>(static_cast<unsigned char>(idText[i])) << (8 * i);
    key.length = static_cast<uint8_t>(n);
    key.dlc = dlc;
    return key;
}

std::size_t PairIndex::slotOf(const PairKey& key) const {
    // splitmix64 finaliser: identifiers differ mostly in a few low characters.
    uint64_t h =
        key.chars ^ (static_cast<uint64_t>(key.length) << 48) ^ (static_cast<uint64_t>(key.dlc) << 56);
    h ^= h >> 30;
    h *= 0xbf58476d1ce4e5b9ULL;
    h ^= h >> 27;
    h *= 0x94d049bb133111ebULL;
    h ^= h >> 31;
    return static_cast<std::size_t>(h) & (slots_.size() - 1);
}

uint32_t PairIndex::find(const PairKey& key) const {
    if (count_ == 0)
        return npos;
    const std::size_t mask = slots_.size() - 1;
    for (std::size_t i = slotOf(key);; i = (i + 1) & mask) {
        const Slot& slot = slots_[i];
        if (slot.generation != generation_)
            return npos;
        if (slot.key == key)
            return slot.value;
    }
}

void PairIndex::insert(const PairKey& key, uint32_t value) {
    if ((count_ + 1) * 2 > slots_.size())
        grow();
    const std::size_t mask = slots_.size() - 1;
    std::size_t i = slotOf(key);
    while (slots_[i].generation == generation_)
        i = (i + 1) & mask;
    slots_[i] = Slot{key, value, generation_};
    ++count_;
}

void PairIndex::clear() {
    count_ = 0;
    if (++generation_ == 0) {
        // After four billion clears the old marks could come back to life: start afresh.
        std::fill(slots_.begin(), slots_.end(), Slot{});
        generation_ = 1;
    }
}

void PairIndex::grow() {
    std::vector<Slot> old;
    old.swap(slots_);
    slots_.assign(old.empty() ? 256 : old.size() * 2, Slot{});
    const uint32_t oldGeneration = generation_;
    generation_ = 1;
    count_ = 0;
    for (const Slot& slot : old) {
        if (slot.generation == oldGeneration)
            insert(slot.key, slot.value);
    }
}

} // namespace korvel
