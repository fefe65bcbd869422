// "step" and "play" in the main window, connected to the virtual adapter: the button states around a
// play, a bad line, stopping a looping play, and a disconnect that ends it.

#include "app/frMain.h"
#include "core/basGlobal.h"
#include "link/connection.h"
#include "receive/tracerView.h"
#include "sim/ptyAdapter.h"
#include "support/mainWindowFixture.h"

#include "receive/tracerEdit.h"
#include <QAction>
#include <QCoreApplication>
#include <QTimer>

#include <gmock/gmock.h>

using namespace korvel;
using ::testing::ElementsAre;

namespace {

class ReplayWindowTest : public test::MainWindowFixture {
protected:
    void SetUp() override {
        MainWindowFixture::SetUp();
        ASSERT_TRUE(adapter.isOpen());
        storeLinkSettings(deviceCom, adapter.slavePath().toStdString(), optRiskAccepted | optTracerMode);
        adapter.engine().setVehicleEnabled(false);
        window = openWindow();
        window->runToolbarCommand(QStringLiteral("connect"));
        ASSERT_TRUE(basGlobal.isConnected);
        window->pollTimer()->stop(); // the tests read what the adapter got, not what it sends
        adapter.engine().clearCommandLog();
    }

    void setTracer(const std::string& text) {
        window->tracer()->clear();
        window->tracerView()->appendTracerText(text);
    }
    std::vector<std::string> adapterGot(std::size_t atLeast) {
        for (int i = 0; i < 100 && adapter.engine().commandLog().size() < atLeast; ++i)
            QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
        return adapter.engine().commandLog();
    }
    bool enabled(const char* key) { return window->toolbarAction(QString::fromLatin1(key))->isEnabled(); }
    QString picture(const char* key) {
        return window->toolbarAction(QString::fromLatin1(key))->property("picture").toString();
    }
    void expectIdle() {
        EXPECT_FALSE(basGlobal.isReplaying);
        EXPECT_EQ(picture("play"), "play");
        EXPECT_TRUE(enabled("record"));
        EXPECT_TRUE(enabled("step"));
        EXPECT_TRUE(enabled("play"));
    }

    sim::PtyAdapter adapter;
};

} // namespace

TEST_F(ReplayWindowTest, PlaySendsEveryLineWithTheButtonsOfAPlayThenIdles) {
    setTracer("00.000 1ABCDEF0 2 11 22\r\n00.000 123 0 RTR\r\n");
    QString pictureDuring;
    bool recordDuring = true;
    bool stepDuring = true;
    QTimer::singleShot(0, window.get(), [&] {
        pictureDuring = picture("play");
        recordDuring = enabled("record");
        stepDuring = enabled("step");
    });
    window->runToolbarCommand(QStringLiteral("play"));
    EXPECT_EQ(pictureDuring, "stop");
    EXPECT_FALSE(recordDuring);
    EXPECT_FALSE(stepDuring);
    expectIdle();
    EXPECT_THAT(adapterGot(2), ElementsAre("T1ABCDEF021122", "r1230"));
    EXPECT_TRUE(prompts.log.messages.isEmpty());
}

TEST_F(ReplayWindowTest, SwitchingViewsDuringAPlayKeepsRecordAndStepOff) {
    setTracer("00.000 100 0\r\n00.001 200 0\r\n");
    window->runToolbarCommand(QStringLiteral("loop"));
    bool recordDuring = true;
    bool stepDuring = true;
    bool playDuring = false;
    QTimer::singleShot(20, window.get(), [&] {
        window->runToolbarCommand(QStringLiteral("tracer"));
        window->runToolbarCommand(QStringLiteral("tracer"));
        recordDuring = enabled("record");
        stepDuring = enabled("step");
        playDuring = enabled("play");
        window->runToolbarCommand(QStringLiteral("play"));
    });
    window->runToolbarCommand(QStringLiteral("play"));
    EXPECT_FALSE(recordDuring);
    EXPECT_FALSE(stepDuring);
    EXPECT_TRUE(playDuring);
    expectIdle();
}

TEST_F(ReplayWindowTest, StepSendsTheCaretLineAndHighlightsTheNext) {
    setTracer("00.000 100 0\r\n00.000 200 0\r\n00.000 300 0\r\n");
    window->tracerView()->selectLine(1);
    window->runToolbarCommand(QStringLiteral("step"));
    EXPECT_THAT(adapterGot(1), ElementsAre("t2000"));
    EXPECT_EQ(window->tracerView()->caretLine(), 2);
    EXPECT_EQ(window->tracer()->selectedText(), "00.000 300 0");

    // After a drag from the first line into the third, the line where the selection starts is stepped.
    window->tracer()->setSelection(TracerPos{0, 3}, TracerPos{2, 5});
    window->runToolbarCommand(QStringLiteral("step"));
    EXPECT_THAT(adapterGot(2), ElementsAre("t2000", "t1000"));
    EXPECT_EQ(window->tracer()->selectedText(), "00.000 200 0");
}

TEST_F(ReplayWindowTest, ABadLineShowsTheMessageAndLeavesTheIdleState) {
    setTracer("00.000 100 0\r\n00.000 1G0 0\r\n00.000 300 0\r\n");
    window->runToolbarCommand(QStringLiteral("play"));
    EXPECT_THAT(prompts.log.messages, ElementsAre("Script Syntax Error!"));
    expectIdle();
    EXPECT_THAT(adapterGot(1), ElementsAre("t1000"));
    EXPECT_EQ(window->tracer()->selectedText(), "00.000 1G0 0");
}

TEST_F(ReplayWindowTest, PlayAgainStopsALoopingPlay) {
    setTracer("00.000 100 0\r\n00.001 200 0\r\n");
    window->runToolbarCommand(QStringLiteral("loop"));
    QTimer::singleShot(50, window.get(), [this] { window->runToolbarCommand(QStringLiteral("play")); });
    window->runToolbarCommand(QStringLiteral("play"));
    expectIdle();
    EXPECT_GE(adapterGot(4).size(), 4U);
}

TEST_F(ReplayWindowTest, ADisconnectEndsThePlayAndLeavesTheControlsDisabled) {
    setTracer("00.000 100 0\r\n00.001 200 0\r\n");
    window->runToolbarCommand(QStringLiteral("loop"));
    QTimer::singleShot(50, window.get(), [this] { window->runToolbarCommand(QStringLiteral("connect")); });
    window->runToolbarCommand(QStringLiteral("play"));
    EXPECT_FALSE(basGlobal.isConnected);
    EXPECT_FALSE(basGlobal.isReplaying);
    EXPECT_EQ(picture("play"), "play");
    EXPECT_FALSE(enabled("record"));
    EXPECT_FALSE(enabled("step"));
    EXPECT_FALSE(enabled("play"));
    EXPECT_TRUE(prompts.log.messages.isEmpty());
}

TEST_F(ReplayWindowTest, LeavingTheTracerWhileRecordingGivesTheReplayButtonsBack) {
    window->runToolbarCommand(QStringLiteral("record"));
    EXPECT_FALSE(enabled("play"));
    window->runToolbarCommand(QStringLiteral("tracer"));
    window->runToolbarCommand(QStringLiteral("tracer"));
    EXPECT_FALSE(basGlobal.isRecording);
    EXPECT_EQ(picture("record"), "record");
    expectIdle();
}

// A real serial adapter may take its bytes slower than a recording plays: the lines wait for room in the
// port, and none becomes "Script Syntax Error!" or "Disconnected!".
TEST_F(ReplayWindowTest, APlayToASlowAdapterWaitsForRoomAndSendsEveryLine) {
    std::string text;
    for (int i = 0; i < 5000; ++i)
        text += "00.000 123 8 11 22 33 44 55 66 77 88\r\n";
    setTracer(text);
    adapter.setHostReadRate(200000); // 110 kB, more than the terminal holds, take half a second
    window->runToolbarCommand(QStringLiteral("play"));
    expectIdle();
    EXPECT_TRUE(prompts.log.messages.isEmpty());
    EXPECT_TRUE(basGlobal.isConnected);
    adapter.setHostReadRate(0);
    EXPECT_EQ(adapterGot(5000).size(), 5000U);
    EXPECT_EQ(window->link().transport().counters().notSent, 0U);
}
