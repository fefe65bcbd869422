#include "receive/tracerStore.h"

#include <algorithm>
#include <iterator>

namespace korvel {

namespace {

// Large enough that the per-block bookkeeping vanishes, small enough that an edit rewrites little.
constexpr std::size_t kBlockBytes = 64 * 1024;

// A block of ASCII only (the common case) counts a character per byte, so its offsets need no decoding.
bool isAscii(const std::string& bytes, std::size_t chars) {
    return chars == bytes.size();
}

} // namespace

std::size_t utf16Length(std::string_view utf8) {
    std::size_t length = 0;
    for (const char c : utf8) {
        const auto byte = static_cast<unsigned char>(c);
        length += (byte & 0xC0) != 0x80 ? 1 : 0; // continuation bytes add nothing
        length += byte >= 0xF0 ? 1 : 0;          // four bytes make a surrogate pair
    }
    return length;
}

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
    std::vector<std::size_t>().swap(firstChar_);
    blocks_.emplace_back();
    blocks_.back().ends.push_back(0);
    blocks_.back().times.push_back(kNoLineTime);
    firstLine_.push_back(0);
    firstChar_.push_back(0);
    lineCount_ = 1;
    bytes_ = 0;
    chars_ = 0;
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

std::int64_t TracerStore::lineTime(int index) const {
    if (index < 0 || index >= lineCount_)
        return kNoLineTime;
    const std::size_t b = blockOf(index);
    return blocks_[b].times[static_cast<std::size_t>(index - firstLine_[b])];
}

std::size_t TracerStore::addLine(std::vector<Block>& blocks, std::string_view text, std::int64_t time) const {
    if (blocks.empty() ||
        (!blocks.back().ends.empty() && blocks.back().bytes.size() + text.size() > kBlockBytes)) {
        if (!blocks.empty()) {
            blocks.back().bytes.shrink_to_fit();
            blocks.back().ends.shrink_to_fit();
            blocks.back().times.shrink_to_fit();
        }
        blocks.emplace_back();
        blocks.back().bytes.reserve(std::max(kBlockBytes, text.size()));
    }
    Block& block = blocks.back();
    block.bytes.append(text);
    block.ends.push_back(static_cast<std::uint32_t>(block.bytes.size()));
    block.times.push_back(time);
    const std::size_t chars = utf16Length(text);
    block.chars += chars;
    return chars;
}

void TracerStore::extendLastLine(std::string_view text, std::int64_t time) {
    Block& block = blocks_.back();
    if (lineIn(block, block.ends.size() - 1).empty())
        block.times.back() = time;
    block.bytes.append(text);
    block.ends.back() = static_cast<std::uint32_t>(block.bytes.size());
    const std::size_t chars = utf16Length(text);
    block.chars += chars;
    chars_ += chars;
    bytes_ += text.size();
    longestLine_ = std::max(longestLine_, line(lineCount_ - 1).size());
}

namespace {

std::int64_t timeOf(const std::vector<std::int64_t>& times, std::size_t piece) {
    return piece < times.size() ? times[piece] : kNoLineTime;
}

} // namespace

void TracerStore::append(std::string_view text, const std::vector<std::int64_t>& times) {
    std::size_t piece = 0;
    splitTracerText(text, [&](std::string_view line) {
        const std::int64_t time = timeOf(times, piece);
        if (piece++ == 0) {
            extendLastLine(line, time);
            return;
        }
        const std::size_t before = blocks_.size();
        const std::size_t chars = addLine(blocks_, line, time);
        if (blocks_.size() != before) {
            firstLine_.push_back(lineCount_);
            firstChar_.push_back(chars_); // the new line is not counted yet
        }
        ++lineCount_;
        bytes_ += line.size();
        chars_ += chars;
        longestLine_ = std::max(longestLine_, line.size());
    });
}

void TracerStore::renumberFrom(std::size_t block) {
    firstLine_.resize(blocks_.size());
    firstChar_.resize(blocks_.size());
    int first = block == 0 ? 0 : firstLine_[block - 1] + static_cast<int>(blocks_[block - 1].ends.size());
    std::size_t chars = block == 0 ? 0 : firstChar_[block - 1] + blocks_[block - 1].chars;
    for (std::size_t b = block; b < blocks_.size(); ++b) {
        firstLine_[b] = first;
        firstChar_[b] = chars;
        first += static_cast<int>(blocks_[b].ends.size());
        chars += blocks_[b].chars;
    }
    lineCount_ = first;
    chars_ = chars;
    bytes_ = 0;
    for (const Block& b : blocks_)
        bytes_ += b.bytes.size();
}

void TracerStore::replaceLines(int first, int last, std::string_view text,
                               const std::vector<std::int64_t>& times) {
    first = std::clamp(first, 0, lineCount_ - 1);
    last = std::clamp(last, first, lineCount_ - 1);
    const std::size_t firstBlock = blockOf(first);
    const std::size_t lastBlock = blockOf(last);

    // The blocks touched are rebuilt: their lines before `first`, the new lines, their lines after `last`.
    std::vector<Block> rebuilt;
    const auto copyLines = [&](std::size_t b, std::size_t from, std::size_t to) {
        for (std::size_t k = from; k < to; ++k)
            addLine(rebuilt, lineIn(blocks_[b], k), blocks_[b].times[k]);
    };
    copyLines(firstBlock, 0, static_cast<std::size_t>(first - firstLine_[firstBlock]));
    std::size_t piece = 0;
    splitTracerText(text, [&](std::string_view line) {
        addLine(rebuilt, line, timeOf(times, piece++));
        longestLine_ = std::max(longestLine_, line.size());
    });
    copyLines(lastBlock, static_cast<std::size_t>(last - firstLine_[lastBlock] + 1),
              blocks_[lastBlock].ends.size());
    // The last block keeps room to grow, as a recording appends to it; the others give back what is unused.
    if (lastBlock + 1 == blocks_.size()) {
        rebuilt.back().bytes.reserve(kBlockBytes);
    } else {
        rebuilt.back().bytes.shrink_to_fit();
        rebuilt.back().ends.shrink_to_fit();
        rebuilt.back().times.shrink_to_fit();
    }

    const auto from = blocks_.begin() + static_cast<std::ptrdiff_t>(firstBlock);
    blocks_.erase(from, blocks_.begin() + static_cast<std::ptrdiff_t>(lastBlock + 1));
    blocks_.insert(blocks_.begin() + static_cast<std::ptrdiff_t>(firstBlock),
                   std::make_move_iterator(rebuilt.begin()), std::make_move_iterator(rebuilt.end()));
    renumberFrom(firstBlock);
}

std::size_t TracerStore::charOffset(int line) const {
    line = std::clamp(line, 0, lineCount_ - 1);
    const std::size_t b = blockOf(line);
    const Block& block = blocks_[b];
    const auto k = static_cast<std::size_t>(line - firstLine_[b]);
    const std::size_t start = k == 0 ? 0 : block.ends[k - 1];
    const std::size_t before = isAscii(block.bytes, block.chars)
                                   ? start
                                   : utf16Length(std::string_view(block.bytes).substr(0, start));
    return firstChar_[b] + before + static_cast<std::size_t>(line);
}

int TracerStore::lineAtCharOffset(std::size_t offset) const {
    // Where each block starts: its characters before plus one line end per line before.
    const auto blockStart = [this](std::size_t b) {
        return firstChar_[b] + static_cast<std::size_t>(firstLine_[b]);
    };
    std::size_t lo = 0;
    std::size_t hi = blocks_.size();
    while (hi - lo > 1) {
        const std::size_t mid = lo + (hi - lo) / 2;
        (blockStart(mid) <= offset ? lo : hi) = mid;
    }
    const Block& block = blocks_[lo];
    const bool ascii = isAscii(block.bytes, block.chars);
    std::size_t start = blockStart(lo);
    for (std::size_t k = 0; k + 1 < block.ends.size(); ++k) {
        const std::string_view text = lineIn(block, k);
        const std::size_t end = start + (ascii ? text.size() : utf16Length(text)); // where its line end is
        if (offset <= end)
            return firstLine_[lo] + static_cast<int>(k);
        start = end + 1;
    }
    return firstLine_[lo] + static_cast<int>(block.ends.size()) - 1;
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

bool TracerStore::forEachTimedLine(const std::function<bool(std::string_view, std::int64_t)>& visit) const {
    for (const Block& block : blocks_) {
        for (std::size_t k = 0; k < block.ends.size(); ++k) {
            if (!visit(lineIn(block, k), block.times[k]))
                return false;
        }
    }
    return true;
}

bool TracerStore::forEachBlockFrom(int first, bool forward,
                                   const std::function<bool(const TracerBlockView&)>& visit) const {
    if (first < 0 || first >= lineCount_)
        return true;
    const std::size_t start = blockOf(first);
    for (std::size_t b = start; b < blocks_.size(); forward ? ++b : --b) {
        const Block& block = blocks_[b];
        if (!visit(TracerBlockView{firstLine_[b], block.bytes, block.ends}))
            return false;
        if (!forward && b == 0)
            break;
    }
    return true;
}

} // namespace korvel
