// Command replies on a channel that already streams frames: frame lines are never a reply and never lost.

#include "link/replyCollector.h"

#include <gtest/gtest.h>

#include <string>

using namespace korvel;

namespace {

struct Wait {
    ReplyCollector collector;
    std::string forReceive;
    bool add(std::string_view bytes) { return collector.add(bytes, forReceive); }
};

} // namespace

TEST(ReplyCollection, FrameLinesBeforeAndAfterTheReplyGoToTheReceivePath) {
    Wait w;
    w.collector.begin(w.forReceive);
    EXPECT_FALSE(w.add("t1230\rT1ABCDEF01"));
    EXPECT_FALSE(w.add("22\rr7FF0\rR1ABCDEF08\r")); // a frame's CR is not the reply
    EXPECT_TRUE(w.add("\rt4561AA\rt45"));
    EXPECT_EQ(w.collector.finish(w.forReceive), "\r");
    EXPECT_EQ(w.forReceive, "t1230\rT1ABCDEF0122\rr7FF0\rR1ABCDEF08\rt4561AA\rt45");
}

TEST(ReplyCollection, ABellIsAWholeReplyAndTheFramesAfterItInTheSameReadAreKept) {
    Wait w;
    w.collector.begin(w.forReceive);
    EXPECT_TRUE(w.add("\at1230\rt1231AB\r"));
    EXPECT_EQ(w.collector.finish(w.forReceive), "\a");
    EXPECT_EQ(w.forReceive, "t1230\rt1231AB\r");

    // A version reply arriving in pieces is joined until its CR.
    w.forReceive.clear();
    w.collector.begin(w.forReceive);
    EXPECT_FALSE(w.add("V10"));
    EXPECT_TRUE(w.add("13\r"));
    EXPECT_EQ(w.collector.finish(w.forReceive), "V1013\r");
    EXPECT_TRUE(w.forReceive.empty());
}

TEST(ReplyCollection, AFrameLineSplitAcrossCommandsStaysWhole) {
    Wait w;
    w.forReceive = "t1230\rt12320011"; // the last line of the previous wait had not ended
    w.collector.begin(w.forReceive);
    EXPECT_EQ(w.forReceive, "t1230\r");
    EXPECT_TRUE(w.add("22\r\r"));
    EXPECT_EQ(w.collector.finish(w.forReceive), "\r");
    EXPECT_EQ(w.forReceive, "t1230\rt1232001122\r");
}

TEST(ReplyCollection, AWaitThatRunsOutKeepsAnUnfinishedFrameAndReturnsWhatCame) {
    Wait w;
    w.collector.begin(w.forReceive);
    EXPECT_FALSE(w.add("t1238"));
    EXPECT_EQ(w.collector.finish(w.forReceive), "");
    EXPECT_EQ(w.forReceive, "t1238");

    Wait partial;
    partial.collector.begin(partial.forReceive);
    EXPECT_FALSE(partial.add("V10"));
    EXPECT_EQ(partial.collector.finish(partial.forReceive), "V10");
    EXPECT_TRUE(partial.forReceive.empty());

    // Text that never ends a line ends the wait at the bound.
    Wait garbage;
    garbage.collector.begin(garbage.forReceive);
    EXPECT_TRUE(garbage.add(std::string(ReplyCollector::kMaxReply + 1, 'x')));
    EXPECT_EQ(garbage.collector.finish(garbage.forReceive).size(), ReplyCollector::kMaxReply + 1);
}
