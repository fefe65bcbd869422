#include "receive/tracerStore.h"

#include <algorithm>
#include <iterator>

namespace korvel {

namespace {

// Large enough that the per-block bookkeeping vanishes, small enough that an edit rewrites little.
constexpr std::size_t kBlockBytes = 64 * 1024;

} // namespace

void splitTracerText(std::string_view text, const std::function<void(std::string_view)>& piece) {
    std::size_t start = 0;
    for (std::size_t i = 0; i < text.size(); ++i) {
        const char c = text[i];
        if (c != '\r' && c != '\n')
            continue;
        piece(text.substr(start, i - start));
        if (c == '\r' && i + 1 < text.size() && text[i + 1] == '\n')
            ++i;
        start = i + 1;
    }
    piece(text.substr(start));
}

TracerStore::TracerStore() {
    clear();
}

void TracerStore::clear() {
    std::vector<Block>().swap(blocks_);
    std::vector<int>().swap(firstLine_);
    blocks_.emplace_back();
    blocks_.back().ends.push_back(0);
    firstLine_.push_back(0);
    lineCount_ = 1;
    bytes_ = 0;
    longestLine_ = 0;
}

std::size_t TracerStore::blockOf(int index) const {
    const auto it = std::upper_bound(firstLine_.begin(), firstLine_.end(), index);
    return static_cast<std::size_t>(std::distance(firstLine_.begin(), it) - 1);
}

std::string_view TracerStore::lineIn(const Block& block, std::size_t k) const {
    const std::size_t start = k == 0 ? 0 : block.ends[k - 1];
    return std::string_view(block.bytes).substr(start, block.ends[k] - start);
}

std::string_view TracerStore::line(int index) const {
    if (index < 0 || index >= lineCount_)
        return {};
    const std::size_t b = blockOf(index);
    return lineIn(blocks_[b], static_cast<std::size_t>(index - firstLine_[b]));
}

void TracerStore::addLine(std::vector<Block>& blocks, std::string_view text) const {
    if (blocks.empty() ||
        (!blocks.back().ends.empty() && blocks.back().bytes.size() + text.size() > kBlockBytes)) {
        if (!blocks.empty()) {
            blocks.back().bytes.shrink_to_fit();
            blocks.back().ends.shrink_to_fit();
        }
        blocks.emplace_back();
        blocks.back().bytes.reserve(std::max(kBlockBytes, text.size()));
    }
    Block& block = blocks.back();
    block.bytes.append(text);
    block.ends.push_back(static_cast<std::uint32_t>(block.bytes.size()));
}

void TracerStore::extendLastLine(std::string_view text) {
    Block& block = blocks_.back();
    block.bytes.append(text);
    block.ends.back() = static_cast<std::uint32_t>(block.bytes.size());
    bytes_ += text.size();
    longestLine_ = std::max(longestLine_, line(lineCount_ - 1).size());
}

void TracerStore::append(std::string_view text) {
    bool first = true;
    splitTracerText(text, [this, &first](std::string_view piece) {
        if (first) {
            first = false;
            extendLastLine(piece);
            return;
        }
        const std::size_t before = blocks_.size();
        addLine(blocks_, piece);
        if (blocks_.size() != before)
            firstLine_.push_back(lineCount_);
        ++lineCount_;
        bytes_ += piece.size();
        longestLine_ = std::max(longestLine_, piece.size());
    });
}

void TracerStore::renumberFrom(std::size_t block) {
    firstLine_.resize(blocks_.size());
    int first = block == 0 ? 0 : firstLine_[block - 1] + static_cast<int>(blocks_[block - 1].ends.size());
    for (std::size_t b = block; b < blocks_.size(); ++b) {
        firstLine_[b] = first;
        first += static_cast<int>(blocks_[b].ends.size());
    }
    lineCount_ = first;
    bytes_ = 0;
    for (const Block& b : blocks_)
        bytes_ += b.bytes.size();
}

void TracerStore::replaceLines(int first, int last, std::string_view text) {
    first = std::clamp(first, 0, lineCount_ - 1);
    last = std::clamp(last, first, lineCount_ - 1);
    const std::size_t firstBlock = blockOf(first);
    const std::size_t lastBlock = blockOf(last);

    // The blocks touched are rebuilt: their lines before `first`, the new lines, their lines after `last`.
    std::vector<Block> rebuilt;
    const auto copyLines = [&](std::size_t b, std::size_t from, std::size_t to) {
        for (std::size_t k = from; k < to; ++k)
            addLine(rebuilt, lineIn(blocks_[b], k));
    };
    copyLines(firstBlock, 0, static_cast<std::size_t>(first - firstLine_[firstBlock]));
    splitTracerText(text, [&](std::string_view piece) {
        addLine(rebuilt, piece);
        longestLine_ = std::max(longestLine_, piece.size());
    });
    copyLines(lastBlock, static_cast<std::size_t>(last - firstLine_[lastBlock] + 1),
              blocks_[lastBlock].ends.size());
    // The last block keeps room to grow, as a recording appends to it; the others give back what is unused.
    if (lastBlock + 1 == blocks_.size()) {
        rebuilt.back().bytes.reserve(kBlockBytes);
    } else {
        rebuilt.back().bytes.shrink_to_fit();
        rebuilt.back().ends.shrink_to_fit();
    }

    const auto from = blocks_.begin() + static_cast<std::ptrdiff_t>(firstBlock);
    blocks_.erase(from, blocks_.begin() + static_cast<std::ptrdiff_t>(lastBlock + 1));
    blocks_.insert(blocks_.begin() + static_cast<std::ptrdiff_t>(firstBlock),
                   std::make_move_iterator(rebuilt.begin()), std::make_move_iterator(rebuilt.end()));
    renumberFrom(firstBlock);
}

bool TracerStore::forEachLine(const std::function<bool(std::string_view)>& visit) const {
    for (const Block& block : blocks_) {
        for (std::size_t k = 0; k < block.ends.size(); ++k) {
            if (!visit(lineIn(block, k)))
                return false;
        }
    }
    return true;
}

} // namespace korvel
