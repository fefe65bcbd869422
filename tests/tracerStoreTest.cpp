#include "receive/tracerStore.h"
#include "receive/tracerLine.h"
#include "receive/tracerSearch.h"
#include "receive/tracerUndo.h"

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

TEST(TracerStore, EachLineKeepsItsTimeOfReceptionThroughEdits) {
    TracerStore store;
    store.append("a\r\nb\r\n", {100, 200, 300});
    EXPECT_EQ(store.lineTime(0), 100);
    EXPECT_EQ(store.lineTime(1), 200);
    EXPECT_EQ(store.lineTime(2), 300); // the empty rest
    store.append("c\r\n", {400, 500}); // the empty rest takes the time of what fills it
    EXPECT_EQ(store.lineTime(2), 400);
    store.append("d", {600});
    store.append("e", {700}); // a line already begun keeps its time
    EXPECT_EQ(store.line(3), "de");
    EXPECT_EQ(store.lineTime(3), 600);
    store.append("\r\nf"); // no times given: none
    EXPECT_EQ(store.lineTime(4), kNoLineTime);
    EXPECT_EQ(store.lineTime(-1), kNoLineTime);
    EXPECT_EQ(store.lineTime(99), kNoLineTime);

    // Lines around an edit keep theirs, across the blocks the edit rebuilds.
    std::string batch;
    std::vector<std::int64_t> times;
    for (int i = 0; i < 5000; ++i) {
        batch += std::string(40, 'x') + "\r\n";
        times.push_back(1000 + i);
    }
    TracerStore big;
    big.append(batch, times);
    big.replaceLines(1000, 3999, "new\r\nlines", {7, 8});
    ASSERT_EQ(big.lineCount(), 5001 - 3000 + 2);
    EXPECT_EQ(big.lineTime(999), 1999);
    EXPECT_EQ(big.lineTime(1000), 7);
    EXPECT_EQ(big.lineTime(1001), 8);
    EXPECT_EQ(big.lineTime(1002), 5000);
    big.replaceLines(0, 0, "typed");
    EXPECT_EQ(big.lineTime(0), kNoLineTime);
    std::vector<std::int64_t> visited;
    big.forEachTimedLine([&visited](std::string_view, std::int64_t time) {
        visited.push_back(time);
        return true;
    });
    EXPECT_EQ(visited.size(), static_cast<std::size_t>(big.lineCount()));
    EXPECT_EQ(visited[1001], 8);
}

TEST(TracerStore, ReceptionTimesFollowTheTimeFieldsWithinAPoll) {
    std::vector<std::int64_t> times;
    const std::int64_t now = 1'700'000'000'000'000;
    // The newest line was read now; those before it as much earlier as their fields say, across a wrap.
    tracerReceptionTimes("59.950 123 0\r\n59.990 123 0\r\n00.020 123 0\r\n", now, 0, times);
    EXPECT_EQ(times, (std::vector<std::int64_t>{now - 70'000, now - 30'000, now, now}));
    // Without time stamps (every field 00.000) and for lines without a field, all are read now.
    tracerReceptionTimes("00.000 123 0\r\n00.000 123 0\r\ntyped\r\n", now, 0, times);
    EXPECT_EQ(times, (std::vector<std::int64_t>(4, now)));
    // Never before the last poll's newest line, never backwards, and a gap no poll spans counts as none.
    tracerReceptionTimes("09.000 1 0\r\n10.000 1 0\r\n09.900 1 0\r\n10.300 1 0", now, now - 500'000, times);
    EXPECT_EQ(times, (std::vector<std::int64_t>{now - 500'000, now - 300'000, now - 300'000, now}));
    tracerReceptionTimes("30.000 1 0\r\n10.300 1 0", now, 0, times);
    EXPECT_EQ(times, (std::vector<std::int64_t>{now, now}));
    // A clock set back: the poll's time still holds.
    tracerReceptionTimes("01.000 1 0", now, now + 9'000'000, times);
    EXPECT_EQ(times, (std::vector<std::int64_t>{now}));
    EXPECT_EQ(tracerLineTimeMs("01,234 123"), 1234);
    EXPECT_EQ(tracerLineTimeMs("123.456"), 123456);
    for (std::string_view none : {"", "1.23 1", "1234.567", "01.2345", ".123", "AB.123"})
        EXPECT_FALSE(tracerLineTimeMs(none)) << none;
}

namespace {

std::optional<int> searchOnce(const TracerStore& store, TracerFindKind kind, std::string_view pattern,
                              int from, bool forward, std::size_t slice = std::size_t{1} << 30) {
    TracerSearch search(compileTracerQuery(kind, pattern), from, forward, store.lineCount());
    while (!search.step(store, slice)) {
    }
    return search.found();
}

TracerStore storeOf(std::string_view text) {
    TracerStore store;
    store.append(text);
    return store;
}

} // namespace

TEST(TracerSearch, FindsTextIdsAndDataPatternsGoingRoundTheEnd) {
    const TracerStore store = storeOf("00.100 123      2 11 22                   Door\r\n"
                                      "00.200 1ABCDEF0 3 11 22 33                \r\n"
                                      "00.300 7FF      0 RTR                     \r\n"
                                      "00.400 123      2 11 2A                   door ajar\r\n");
    using K = TracerFindKind;
    EXPECT_EQ(searchOnce(store, K::text, "DOOR", -1, true), 0); // any case
    EXPECT_EQ(searchOnce(store, K::text, "door", 0, true), 3);
    EXPECT_EQ(searchOnce(store, K::text, "door", 3, true), 0);  // round the end
    EXPECT_EQ(searchOnce(store, K::text, "door", 0, false), 3); // backwards, round the start
    EXPECT_EQ(searchOnce(store, K::text, "Door", 3, false), 0);
    EXPECT_EQ(searchOnce(store, K::text, "ajar", 3, true), 3); // the line it starts from, last
    // Lines lie packed without their ends: text running over from one line into the next is no match.
    EXPECT_EQ(searchOnce(store, K::text, "Door00.200", -1, true), std::nullopt);
    EXPECT_EQ(searchOnce(store, K::text, std::string(10000, 'A'), -1, true), std::nullopt);

    EXPECT_EQ(searchOnce(store, K::id, "123", 0, true), 3);
    EXPECT_EQ(searchOnce(store, K::id, "7ff", -1, true), 2);
    EXPECT_EQ(searchOnce(store, K::id, "1abcdef0", -1, true), 1);
    EXPECT_EQ(searchOnce(store, K::id, "23", -1, true), std::nullopt);   // "023", not part of "123"
    EXPECT_EQ(searchOnce(store, K::id, "0123", -1, true), std::nullopt); // extended 00000123
    EXPECT_EQ(searchOnce(store, K::id, "7FF", -1, true, 1), 2);          // in slices of one line

    EXPECT_EQ(searchOnce(store, K::data, "11 2*", -1, true), 0);
    EXPECT_EQ(searchOnce(store, K::data, "112*", 0, true), 3);
    EXPECT_EQ(searchOnce(store, K::data, "** ** **", -1, true), 1);      // only wildcards: any three bytes
    EXPECT_EQ(searchOnce(store, K::data, "11", -1, true), std::nullopt); // whole data, as the triggers
    EXPECT_EQ(searchOnce(store, K::data, "2A", -1, true), std::nullopt);

    // Patterns that cannot match say why; none searches.
    for (const auto& [kind, pattern] :
         {std::pair{K::id, "12G"}, std::pair{K::id, "123456789"}, std::pair{K::data, "1"},
          std::pair{K::data, "*"}, std::pair{K::data, "XY"},
          std::pair{K::data, "11 22 33 44 55 66 77 88 99"}}) {
        const TracerQuery query = compileTracerQuery(kind, pattern);
        EXPECT_FALSE(query.valid()) << pattern;
        EXPECT_FALSE(query.error.empty()) << pattern;
        TracerSearch search(query, 0, true, store.lineCount());
        EXPECT_TRUE(search.finished()) << pattern;
    }
    EXPECT_TRUE(compileTracerQuery(K::text, "").error.empty()); // nothing typed: nothing to say
    EXPECT_FALSE(compileTracerQuery(K::text, "").valid());
    EXPECT_EQ(matchTracerLine(compileTracerQuery(K::data, "11 2*"), store.line(0))->start, 18U);
}

TEST(TracerSearch, SlicesOfAnyBudgetFindTheSameLineAcrossBlocks) {
    std::string batch;
    for (int i = 0; i < 20000; ++i)
        batch += "00.000 123      1 " + std::string(i == 15000 ? "AB" : "00") + "                      x\r\n";
    const TracerStore store = storeOf(batch);
    for (std::size_t slice :
         {std::size_t{1}, std::size_t{1000}, std::size_t{1} << 16, std::size_t{1} << 30}) {
        EXPECT_EQ(searchOnce(store, TracerFindKind::data, "AB", 100, true, slice), 15000) << slice;
        EXPECT_EQ(searchOnce(store, TracerFindKind::data, "AB", 100, false, slice), 15000) << slice;
        EXPECT_EQ(searchOnce(store, TracerFindKind::text, "AB", 19999, true, slice), 15000) << slice;
        EXPECT_EQ(searchOnce(store, TracerFindKind::text, "AB", 16000, false, slice), 15000) << slice;
    }
    // Lines edited away between slices are not read.
    TracerStore shrinking = storeOf(batch);
    TracerSearch search(compileTracerQuery(TracerFindKind::text, "AB"), 0, true, shrinking.lineCount());
    EXPECT_FALSE(search.step(shrinking, 1000));
    EXPECT_GT(search.progress(), 0.0);
    shrinking.replaceLines(10, 20000, "");
    while (!search.step(shrinking, 1000)) {
    }
    EXPECT_EQ(search.found(), std::nullopt);
}

TEST(TracerUndo, TypingMakesOneStepAndTheHistoryStaysBounded) {
    const auto typed = [](int line, int column, std::string before, std::string after) {
        TracerEditStep step;
        step.first = line;
        step.before = std::move(before);
        step.after = std::move(after);
        step.caretBefore = step.anchorBefore = TracerPos{line, column};
        step.caretAfter = TracerPos{line, column + 1};
        return step;
    };
    TracerUndo undo(4096);
    undo.record(typed(0, 0, "", "A"));
    undo.record(typed(0, 1, "A", "AB"));
    undo.record(typed(0, 2, "AB", "ABC"));
    EXPECT_EQ(undo.steps(), 1U);
    undo.record(typed(1, 0, "", "X")); // elsewhere: a new step
    EXPECT_EQ(undo.steps(), 2U);
    undo.record(typed(1, 3, "X", "XY")); // the same line, but the caret moved in between
    EXPECT_EQ(undo.steps(), 3U);
    ASSERT_NE(undo.undo(), nullptr);
    const TracerEditStep* step = undo.undo();
    ASSERT_NE(step, nullptr);
    EXPECT_EQ(step->after, "X");
    step = undo.undo();
    ASSERT_NE(step, nullptr);
    EXPECT_EQ(step->before, "");
    EXPECT_EQ(step->after, "ABC");
    EXPECT_EQ(undo.undo(), nullptr);
    EXPECT_TRUE(undo.canRedo());
    ASSERT_NE(undo.redo(), nullptr);
    undo.record(typed(5, 0, "", "Z")); // a new edit drops what could be done again
    EXPECT_FALSE(undo.canRedo());

    // The oldest steps go when the bound is reached; a step larger than the bound empties the history.
    for (int i = 0; i < 100; ++i)
        undo.record(typed(i * 2, 0, std::string(100, 'x'), "y"));
    EXPECT_LE(undo.bytes(), 4096U);
    EXPECT_LT(undo.steps(), 100U);
    EXPECT_TRUE(undo.canUndo());
    undo.record(typed(0, 0, std::string(5000, 'x'), ""));
    EXPECT_FALSE(undo.canUndo());
    EXPECT_EQ(undo.bytes(), 0U);

    TracerStore store = storeOf("a\r\nb\r\nc");
    EXPECT_TRUE(tracerLinesAre(store, 1, "b\nc"));
    EXPECT_FALSE(tracerLinesAre(store, 1, "b\nc\nd"));
    EXPECT_FALSE(tracerLinesAre(store, 0, "b"));
}
