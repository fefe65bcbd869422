#pragma once

// The Tracer's text as a compact line store: the bytes of many lines packed into blocks of about 64 KiB,
// each with the end offsets of its lines, so a line costs its text and four bytes. The text is a list of
// lines; the line ends between them are not stored. There is always at least one line: the piece after
// the last line end, empty after a recording poll. Each line also keeps the wall-clock time it was
// received at, in microseconds since the epoch (kNoLineTime for lines typed or loaded).

#ifndef Q_MOC_RUN // the code generator cannot read this header
#include <compare>
#endif
#include <cstddef>
#include <cstdint>
#include <functional>
#include <limits>
#include <string>
#include <string_view>
#include <vector>

namespace korvel {

inline constexpr std::int64_t kNoLineTime = std::numeric_limits<std::int64_t>::min();

// A place in the text: a line and a column in that line's characters (0 is before the first).
struct TracerPos {
    int line = 0;
    int column = 0;
    friend auto operator<=>(const TracerPos&, const TracerPos&) = default;
};

// Lines firstLine onwards, packed: line k is bytes[ends[k-1] .. ends[k]) (from 0 for k = 0).
struct TracerBlockView {
    int firstLine = 0;
    std::string_view bytes;
    const std::vector<std::uint32_t>& ends;
};

class TracerStore {
public:
    TracerStore();

    [[nodiscard]] int lineCount() const { return lineCount_; }
    // The bytes (UTF-8) of a line without its line end; empty for an index out of range.
    [[nodiscard]] std::string_view line(int index) const;
    // The wall-clock time of reception of a line; kNoLineTime when it has none or the index is out of range.
    [[nodiscard]] std::int64_t lineTime(int index) const;
    // The longest line in bytes (it only grows until the store is cleared), for the view's width.
    [[nodiscard]] std::size_t longestLine() const { return longestLine_; }
    // Bytes of the whole text with CR LF line ends.
    [[nodiscard]] std::size_t textBytes() const {
        return bytes_ + 2 * static_cast<std::size_t>(lineCount_ - 1);
    }

    // What the lines take in memory, near enough: their bytes, the four-byte end and the time of each.
    [[nodiscard]] std::size_t memoryBytes() const {
        return bytes_ + (4 + 8) * static_cast<std::size_t>(lineCount_);
    }
    // Character offsets, counted as a QString counts them (a character beyond 16 bits is two) with one
    // character per line end: how a screen reader addresses the text. They come from per-block counts, so
    // no query builds the text.
    [[nodiscard]] std::size_t textChars() const { return chars_ + static_cast<std::size_t>(lineCount_ - 1); }
    // The offset of a line's first character; clamped to the lines there are.
    [[nodiscard]] std::size_t charOffset(int line) const;
    // The line holding an offset, the position of its line end included; the last line past the end.
    [[nodiscard]] int lineAtCharOffset(std::size_t offset) const;

    // Adds text after the last character: it is split at CR LF, LF or CR; the first piece extends the last
    // line and every further piece starts a new line. `times` gives each piece's time of reception (none
    // when shorter); the last line takes its piece's time only when it was empty.
    void append(std::string_view text, const std::vector<std::int64_t>& times = {});
    // Replaces the lines first to last (inclusive) with the lines of `text`, split as by append, with
    // `times` as their times (none when shorter).
    void replaceLines(int first, int last, std::string_view text,
                      const std::vector<std::int64_t>& times = {});
    // Back to one empty line, with the memory given back.
    void clear();

    // Calls `visit` with every line in order, without copying; stops early when it returns false.
    bool forEachLine(const std::function<bool(std::string_view)>& visit) const;
    bool forEachTimedLine(const std::function<bool(std::string_view, std::int64_t)>& visit) const;
    // Calls `visit` with the block holding line `first`, then the blocks after it (or before it), so a
    // search reads the bytes as they lie; stops early when it returns false.
    bool forEachBlockFrom(int first, bool forward,
                          const std::function<bool(const TracerBlockView&)>& visit) const;

private:
    struct Block {
        std::string bytes;
        std::vector<std::uint32_t> ends; // end offset of each line in `bytes`
        std::vector<std::int64_t> times; // time of reception of each line
        std::size_t chars = 0;           // characters of its lines, line ends not counted
    };
    [[nodiscard]] std::size_t blockOf(int index) const;
    [[nodiscard]] std::string_view lineIn(const Block& block, std::size_t k) const;
    // Returns the characters of the line added.
    std::size_t addLine(std::vector<Block>& blocks, std::string_view text, std::int64_t time) const;
    void extendLastLine(std::string_view text, std::int64_t time);
    void renumberFrom(std::size_t block);

    std::vector<Block> blocks_;
    std::vector<int> firstLine_;         // index of the first line of each block
    std::vector<std::size_t> firstChar_; // characters of the lines before each block, line ends not counted
    int lineCount_ = 0;
    std::size_t bytes_ = 0;
    std::size_t chars_ = 0;
    std::size_t longestLine_ = 0;
};

// Characters of UTF-8 text as a QString holds them: one per character, two beyond 16 bits.
[[nodiscard]] std::size_t utf16Length(std::string_view utf8);

// Splits text at CR LF, LF or CR and calls `piece` with each piece (one more than there are line ends).
void splitTracerText(std::string_view text, const std::function<void(std::string_view)>& piece);

} // namespace korvel
