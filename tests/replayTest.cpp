// The replay engine over a scripted Tracer and a fake clock: pacing by the recorded times, loop, step and
// its highlight, bad lines, stopping, and a Tracer longer than any fixed split.

#include "traces/replay.h"
#include "core/basGlobal.h"
#include "link/transport.h"
#include "receive/tracerEdit.h"
#include "receive/tracerView.h"
#include "support/scriptedPrompts.h"

#include <gmock/gmock.h>

#include <cmath>

using namespace korvel;
using ::testing::ElementsAre;

namespace {

class ReplayTest : public ::testing::Test {
protected:
    void SetUp() override {
        basGlobal = GlobalState{};
        basGlobal.isConnected = true;
        setClockSeconds([this] { return clock; });
    }
    void TearDown() override {
        setClockSeconds({});
        basGlobal = GlobalState{};
    }

    // The Tracer's text as lines; the caret in `caret`, highlights recorded.
    TraceReplay makeReplay() {
        ReplayScript script;
        script.lines = [this]() -> const TracerStore& {
            if (lines != shownLines) {
                shownLines = lines;
                shown.clear();
                for (std::size_t i = 0; i < lines.size(); ++i)
                    shown.append((i ? "\r\n" : "") + lines[i]);
            }
            return shown;
        };
        script.selectionStartLine = [this] {
            return caret;
        };
        script.selectLine = [this](int i) {
            highlights.push_back(i);
            caret = i;
        };
        script.focus = [] {
        };
        ReplayHooks hooks;
        hooks.send = [this](const TraceFrame& frame) {
            sent.push_back(traceProtocolLine(frame));
            sendTimes.push_back(clock);
            if (onSend)
                onSend();
            return sendSucceeds;
        };
        hooks.wait = [this](double seconds) {
            EXPECT_LE(seconds, TraceReplay::kWaitSliceSeconds);
            clock += seconds;
            ++waits;
        };
        return TraceReplay(basGlobal, std::move(script), std::move(hooks));
    }

    ReplayOutcome play(TraceReplay& replay) {
        basGlobal.isReplaying = true;
        const ReplayOutcome outcome = replay.replayLines(ReplayMode::all);
        basGlobal.isReplaying = false;
        return outcome;
    }

    test::PromptsScope prompts;
    double clock = 5000.0;
    std::vector<std::string> lines;
    std::vector<std::string> shownLines{""};
    TracerStore shown;
    int caret = 0;
    std::vector<int> highlights;
    std::vector<std::string> sent;
    std::vector<double> sendTimes;
    std::function<void()> onSend;
    bool sendSucceeds = true;
    int waits = 0;
};

} // namespace

TEST_F(ReplayTest, PlayKeepsTheRecordedGapsAndSendsTheFirstLineAtOnce) {
    lines = {"10.000 100 1 01", "10.500 200 1 02", "12.000 300 1 03", ""};
    TraceReplay replay = makeReplay();
    EXPECT_EQ(play(replay), ReplayOutcome::finished);
    EXPECT_THAT(sent, ElementsAre("t100101", "t200102", "t300103"));
    ASSERT_EQ(sendTimes.size(), 3U);
    EXPECT_DOUBLE_EQ(sendTimes[0], 5000.0);
    EXPECT_NEAR(sendTimes[1] - sendTimes[0], 0.5, 1e-9);
    EXPECT_NEAR(sendTimes[2] - sendTimes[1], 1.5, 1e-9);
    // Each next line is highlighted before it leaves.
    EXPECT_THAT(highlights, ElementsAre(1, 2));
    EXPECT_TRUE(prompts.log.messages.isEmpty());
}

TEST_F(ReplayTest, EarlierTimesLeaveAtOnceAndLoopStartsEachPassAtOnce) {
    lines = {"59.990 100 0", "00.010 200 0", "00.500 300 0", ""};
    basGlobal.setOption(optLoop, true);
    TraceReplay replay = makeReplay();
    onSend = [this] {
        if (sent.size() == 6)
            basGlobal.isReplaying = false; // the user presses "play" again
    };
    EXPECT_EQ(play(replay), ReplayOutcome::finished);
    ASSERT_EQ(sent.size(), 6U);
    EXPECT_EQ(sent[3], "t1000");
    EXPECT_DOUBLE_EQ(sendTimes[1], sendTimes[0]); // wrapped time: no pause
    EXPECT_NEAR(sendTimes[2] - sendTimes[1], 0.49, 1e-9);
    EXPECT_DOUBLE_EQ(sendTimes[3], sendTimes[2]); // next pass: no pause
}

TEST_F(ReplayTest, StoppingDuringAWaitSendsTheWaitingLineAtOnceAndEnds) {
    lines = {"00.000 100 0", "30.000 200 0", "31.000 300 0"};
    TraceReplay replay = makeReplay();
    // Stop after a few waits by reading the clock: the engine waits in slices.
    setClockSeconds([this] {
        if (waits == 3)
            basGlobal.isReplaying = false;
        return clock;
    });
    play(replay);
    EXPECT_THAT(sent, ElementsAre("t1000", "t2000"));
    EXPECT_LT(sendTimes[1] - sendTimes[0], 1.0);
}

TEST_F(ReplayTest, PlayKeepsOneScheduleFromItsStartAndStartsAfreshAfterAStall) {
    lines = {
        "00.000 100 0", "00.010 101 0", "00.020 102 0", "00.030 103 0", "00.500 104 0", "00.510 105 0", ""};
    TraceReplay replay = makeReplay();
    // Every send takes 3 ms; the second takes 50 ms and the fourth stalls for 0.6 s.
    onSend = [this] {
        clock += sent.size() == 2 ? 0.05 : sent.size() == 4 ? 0.6 : 0.003;
    };
    play(replay);
    ASSERT_EQ(sendTimes.size(), 6U);
    std::vector<double> offsets;
    for (double t : sendTimes)
        offsets.push_back(std::round((t - sendTimes[0]) * 1e6) / 1e6);
    // The time a send takes does not add up; a line late by less than a stall catches up; the line due
    // during the stall leaves when it ends and the next keeps its recorded distance from it.
    EXPECT_THAT(offsets, ElementsAre(0.0, 0.010, 0.060, 0.063, 0.663, 0.673));
}

TEST_F(ReplayTest, AFastPlayHighlightsAtAHumanRateButLeavesTheNextLineHighlighted) {
    for (int i = 0; i < 400; ++i)
        lines.push_back("00." +
                        std::string(i < 10    ? "00"
                                    : i < 100 ? "0"
                                              : "") +
                        std::to_string(i) + " 100 0");
    TraceReplay replay = makeReplay();
    play(replay);
    EXPECT_EQ(sent.size(), 400U);
    EXPECT_LE(highlights.size(), 12U);
    ASSERT_FALSE(highlights.empty());
    EXPECT_EQ(highlights.back(), 399);

    highlights.clear();
    sent.clear();
    onSend = [this] {
        if (sent.size() == 100)
            basGlobal.isReplaying = false;
    };
    play(replay);
    ASSERT_FALSE(highlights.empty());
    EXPECT_EQ(highlights.back(), 100);
}

TEST_F(ReplayTest, StepSendsTheCaretLineAndHighlightsTheNext) {
    lines = {"00.000 100 0", "00.000 200 0", "00.000 300 0", "00.000 400 0", ""};
    TraceReplay replay = makeReplay();
    caret = 2;
    EXPECT_EQ(replay.replayLines(ReplayMode::single), ReplayOutcome::finished);
    EXPECT_THAT(sent, ElementsAre("t3000"));
    EXPECT_THAT(highlights, ElementsAre(3));

    // At the last line: without loop nothing is highlighted, with loop the first line is.
    replay.replayLines(ReplayMode::single);
    EXPECT_THAT(highlights, ElementsAre(3));
    basGlobal.setOption(optLoop, true);
    replay.replayLines(ReplayMode::single);
    EXPECT_THAT(highlights, ElementsAre(3, 0));
    EXPECT_THAT(sent, ElementsAre("t3000", "t4000", "t4000"));

    // The caret after the final line end steps the first line.
    caret = 4;
    replay.replayLines(ReplayMode::single);
    EXPECT_EQ(sent.back(), "t1000");
}

TEST_F(ReplayTest, ABadLineStopsWithTheMessageAfterTheLinesBeforeIt) {
    lines = {"00.000 100 0", "00.000 200 2 11", "00.000 300 0"};
    TraceReplay replay = makeReplay();
    EXPECT_EQ(play(replay), ReplayOutcome::syntaxError);
    EXPECT_THAT(sent, ElementsAre("t1000"));
    EXPECT_THAT(prompts.log.messages, ElementsAre("Script Syntax Error!"));
    EXPECT_EQ(highlights.back(), 1);

    // A write the device refuses ends the same way.
    prompts.log.messages.clear();
    highlights.clear();
    lines = {"00.000 100 0"};
    sendSucceeds = false;
    EXPECT_EQ(play(replay), ReplayOutcome::syntaxError);
    EXPECT_THAT(prompts.log.messages, ElementsAre("Script Syntax Error!"));
    EXPECT_THAT(highlights, ElementsAre(0)); // the first line too is shown as the one that failed
}

TEST_F(ReplayTest, EmptyAndShortLinesAreSkippedButAnEmptyTracerCannotBeStepped) {
    lines = {"", "x", "   ", "00.000 100 0", "00.000 200 0"}; // the last line has no line end
    TraceReplay replay = makeReplay();
    EXPECT_EQ(play(replay), ReplayOutcome::finished);
    EXPECT_THAT(sent, ElementsAre("t1000", "t2000"));
    EXPECT_TRUE(prompts.log.messages.isEmpty());

    lines = {""};
    EXPECT_EQ(replay.replayLines(ReplayMode::single), ReplayOutcome::syntaxError);
    EXPECT_THAT(prompts.log.messages, ElementsAre("Script Syntax Error!"));
}

TEST_F(ReplayTest, LoopOverNothingToSendEnds) {
    lines = {"", "   ", ""};
    basGlobal.setOption(optLoop, true);
    TraceReplay replay = makeReplay();
    EXPECT_EQ(play(replay), ReplayOutcome::finished);
    EXPECT_TRUE(sent.empty());
}

TEST_F(ReplayTest, NothingIsSentWhileNotConnected) {
    lines = {"00.000 100 0", "00.000 200 0", ""};
    basGlobal.isConnected = false;
    TraceReplay replay = makeReplay();
    EXPECT_EQ(play(replay), ReplayOutcome::finished);
    EXPECT_TRUE(sent.empty());

    // A disconnect during a wait ends the play without sending the waiting line, which stays highlighted.
    basGlobal.isConnected = true;
    waits = 0;
    highlights.clear();
    lines = {"00.000 100 0", "09.000 200 0", "09.000 300 0", ""};
    setClockSeconds([this] {
        if (waits == 2)
            basGlobal.isConnected = basGlobal.isReplaying = false;
        return clock;
    });
    TraceReplay second = makeReplay();
    play(second);
    EXPECT_THAT(sent, ElementsAre("t1000"));
    EXPECT_THAT(highlights, ElementsAre(1));
}

TEST_F(ReplayTest, APlaySendsTheLinesAsTheyStoodAtItsStart) {
    lines = {"00.000 100 0", "00.000 200 0", "00.000 300 0", ""};
    basGlobal.setOption(optLoop, true);
    TraceReplay replay = makeReplay();
    onSend = [this] {
        if (sent.size() == 1)
            lines[1] = "00.000 999 0"; // an edit, or a newly loaded trace
        if (sent.size() == 5)
            basGlobal.isReplaying = false;
    };
    play(replay);
    EXPECT_THAT(sent, ElementsAre("t1000", "t2000", "t3000", "t1000", "t2000"));
    // A line the Tracer no longer shows where it stood is not highlighted as the next one.
    EXPECT_THAT(highlights, ElementsAre(2, 2));
}

TEST_F(ReplayTest, EveryLineOfALongTracerIsReplayed) {
    TracerEdit edit;
    TracerView view(&edit);
    std::string text;
    constexpr int kLines = 40000;
    for (int i = 0; i < kLines; ++i)
        text += "00.000 " + std::string(i % 2 ? "123" : "1ABCDEF0") + " 1 " +
                (i == kLines - 1 ? std::string("EE") : std::string("01")) + "\r\n";
    view.appendTracerText(text);
    ASSERT_EQ(view.lineCount(), kLines + 1);
    EXPECT_EQ(view.lineText(kLines - 1), "00.000 123 1 EE");
    EXPECT_EQ(view.lineText(kLines), "");
    EXPECT_EQ(view.lineText(kLines + 5), "");

    ReplayScript script;
    script.lines = [&]() -> const TracerStore& {
        return view.lines();
    };
    script.selectionStartLine = [&] {
        return view.caretLine();
    };
    // Highlights are counted here; the view's own highlight is checked once below, where it is slow
    // enough to matter in a test of 40,000 lines.
    int highlighted = -1;
    script.selectLine = [&](int i) {
        highlighted = i;
    };
    script.focus = [&] {
        view.focusTracer();
    };
    int count = 0;
    std::string lastLine;
    ReplayHooks hooks;
    hooks.send = [&](const TraceFrame& frame) {
        ++count;
        lastLine = traceProtocolLine(frame);
        return true;
    };
    hooks.wait = [](double) {
    };
    TraceReplay replay(basGlobal, std::move(script), std::move(hooks));
    basGlobal.isReplaying = true;
    EXPECT_EQ(replay.replayLines(ReplayMode::all), ReplayOutcome::finished);
    EXPECT_EQ(count, kLines);
    EXPECT_EQ(lastLine, "t1231EE");
    EXPECT_EQ(highlighted, kLines - 1);

    // The view highlights and reports lines far beyond any fixed split.
    view.selectLine(35001);
    EXPECT_EQ(view.caretLine(), 35001);
    EXPECT_EQ(edit.selectedText().toStdString(), "00.000 123 1 01");
}
