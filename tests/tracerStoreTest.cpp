#include "receive/tracerStore.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <random>
#include <string>
#include <vector>

using namespace korvel;

namespace {

std::vector<std::string> linesOf(const TracerStore& store) {
    std::vector<std::string> lines;
    for (int i = 0; i < store.lineCount(); ++i)
        lines.emplace_back(store.line(i));
    return lines;
}

using Lines = std::vector<std::string>;

} // namespace

TEST(TracerStore, SplitsAtEveryKindOfLineEnd) {
    TracerStore store;
    EXPECT_EQ(linesOf(store), Lines({""})); // an empty text is one empty piece
    store.append("a\r\nb\nc\rd");
    EXPECT_EQ(linesOf(store), Lines({"a", "b", "c", "d"}));
    store.append("e\r\n");
    EXPECT_EQ(linesOf(store), Lines({"a", "b", "c", "de", ""})); // the first piece extends the last line
    store.append("\r\r\n");
    EXPECT_EQ(linesOf(store), Lines({"a", "b", "c", "de", "", "", ""}));
    EXPECT_EQ(store.textBytes(), 5U + 2 * 6);
    EXPECT_EQ(store.line(-1), "");
    EXPECT_EQ(store.line(7), "");

    // Offsets count characters as a QString holds them (beyond 16 bits, two) and one per line end.
    TracerStore wide;
    wide.append("\xC3\xA4\r\n\xF0\x9F\x98\x80x\r\n"); // "ä", a face and "x", then the empty rest
    EXPECT_EQ(wide.textChars(), 1U + 1 + 3 + 1);
    EXPECT_EQ(wide.charOffset(1), 2U);
    EXPECT_EQ(wide.charOffset(2), 6U);
    EXPECT_EQ(wide.lineAtCharOffset(1), 0); // the first line end belongs to the first line
    EXPECT_EQ(wide.lineAtCharOffset(5), 1);
    EXPECT_EQ(wide.lineAtCharOffset(6), 2);
    EXPECT_EQ(wide.lineAtCharOffset(99), 2);
}

TEST(TracerStore, ARecordingOfManyBlocksKeepsEveryLineInOrder) {
    TracerStore store;
    std::string batch;
    for (int i = 0; i < 50000; ++i)
        batch += "line " + std::to_string(i) + std::string(static_cast<std::size_t>(i % 60), '.') + "\r\n";
    store.append(batch);
    ASSERT_EQ(store.lineCount(), 50001);
    for (int i : {0, 1, 1234, 25000, 49999})
        EXPECT_EQ(store.line(i),
                  "line " + std::to_string(i) + std::string(static_cast<std::size_t>(i % 60), '.'));
    EXPECT_EQ(store.line(50000), "");
    EXPECT_EQ(store.longestLine(), 5U + 5 + 59);

    int visited = 0;
    EXPECT_TRUE(store.forEachLine([&](std::string_view line) {
        return line.starts_with("line " + std::to_string(visited++)) || visited == 50001;
    }));
    EXPECT_EQ(visited, 50001);
    store.clear();
    EXPECT_EQ(linesOf(store), Lines({""}));
    EXPECT_EQ(store.longestLine(), 0U);
}

// Edits anywhere (within a block, across block boundaries, at both ends) agree with a plain list of lines.
TEST(TracerStore, EditsAgreeWithAPlainListOfLines) {
    TracerStore store;
    Lines model{""};
    std::mt19937 random(7);
    auto pick = [&](int n) {
        return static_cast<int>(random() % static_cast<unsigned>(n));
    };
    std::string batch;
    for (int i = 0; i < 6000; ++i)
        batch += std::to_string(i) + std::string(static_cast<std::size_t>(30 + i % 20), 'x') + "\r\n";
    store.append(batch);
    model.clear();
    for (int i = 0; i < 6000; ++i)
        model.push_back(std::to_string(i) + std::string(static_cast<std::size_t>(30 + i % 20), 'x'));
    model.emplace_back();

    for (int step = 0; step < 400; ++step) {
        const int count = static_cast<int>(model.size());
        const int first = pick(count);
        const int last = std::min(count - 1, first + (step % 5 == 0 ? pick(3000) : pick(3)));
        std::string text = "e" + std::to_string(step) + (step % 3 == 0 ? "\xC3\xA4" : "");
        Lines pieces{text};
        for (int extra = pick(4); extra > 0; --extra) {
            text += "\r\nn" + std::to_string(extra);
            pieces.push_back("n" + std::to_string(extra));
        }
        store.replaceLines(first, last, text);
        model.erase(model.begin() + first, model.begin() + last + 1);
        model.insert(model.begin() + first, pieces.begin(), pieces.end());
        if (step % 50 == 0) {
            store.append("tail\r\n");
            model.back() += "tail";
            model.emplace_back();
        }
        ASSERT_EQ(store.lineCount(), static_cast<int>(model.size())) << step;
    }
    EXPECT_EQ(linesOf(store), model);
    std::size_t bytes = 0;
    for (const std::string& line : model)
        bytes += line.size() + 2;
    EXPECT_EQ(store.textBytes(), bytes - 2);

    // Character offsets agree with the lines' lengths ("ä" is two bytes and one character).
    std::size_t offset = 0;
    for (int i = 0; i < store.lineCount(); ++i) {
        const std::string& line = model[static_cast<std::size_t>(i)];
        ASSERT_EQ(store.charOffset(i), offset) << i;
        ASSERT_EQ(store.lineAtCharOffset(offset), i) << i;
        offset += line.size() - static_cast<std::size_t>(std::count(line.begin(), line.end(), '\xC3'));
        ASSERT_EQ(store.lineAtCharOffset(offset), i) << i; // its line end
        ++offset;
    }
    EXPECT_EQ(store.textChars(), offset - 1);

    // Deleting everything leaves one empty line.
    store.replaceLines(0, store.lineCount() - 1, "");
    EXPECT_EQ(linesOf(store), Lines({""}));
}
