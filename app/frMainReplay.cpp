// The main window's replay commands: "step" and "play" over the Tracer's lines.

#include "app/frMain.h"
#include "core/basGlobal.h"
#include "link/connection.h"
#include "receive/tracerEdit.h"
#include "receive/tracerView.h"
#include "traces/replay.h"

#include <QAction>

#include <algorithm>

namespace korvel {

namespace {

// A serial port that cannot keep up (a slow adapter, a held handshake) must not let a looping play queue
// frames without bound.
// The longest a replayed line waits for a slow adapter to take the lines before it.
constexpr double kRoomWaitSeconds = 1.0;

} // namespace

void frMain::setUpReplay() {
    ReplayScript script;
    script.lines = [this]() -> const TracerStore& {
        return tracerView_->lines();
    };
    // As a click does, the line where the selection starts counts, not where a drag ended.
    script.selectionStartLine = [this] {
        return std::min(txtTracer->anchor(), txtTracer->caret()).line;
    };
    script.selectLine = [this](int index) {
        tracerView_->selectLine(index);
    };
    script.focus = [this] {
        tracerView_->focusTracer();
    };
    ReplayHooks hooks;
    hooks.send = [this](const TraceFrame& frame) {
        LinkTransport& transport = link_->transport();
        // A slow adapter: the line waits for room, a while at most; then it is dropped and counted as a
        // periodic row's frame is, and the play goes on. Neither is a syntax error.
        const double giveUp = clockSeconds() + kRoomWaitSeconds;
        while (basGlobal.isReplaying && basGlobal.isConnected && !transport.hasRoomForFrame() &&
               clockSeconds() < giveUp)
            waitInEventLoop(0.005);
        if (!basGlobal.isConnected)
            return true;
        if (!transport.hasRoomForFrame()) {
            transport.countFrameNotSent();
            return true;
        }
        const bool sent = sendTraceFrame(transport, frame);
        if (sent)
            traceFrameSent(frame);
        return sent;
    };
    hooks.wait = waitInEventLoop;
    replay_ = std::make_unique<TraceReplay>(basGlobal, std::move(script), std::move(hooks));
}

void frMain::stepReplay() {
    replay_->replayLines(ReplayMode::single);
}

void frMain::togglePlay() {
    if (basGlobal.isReplaying) {
        // The running play notices this in its wait and ends.
        showReplayIdle();
        return;
    }
    basGlobal.isReplaying = true;
    setButtonPicture(QStringLiteral("play"), QStringLiteral("stop"));
    toolbarAction(QStringLiteral("record"))->setEnabled(false);
    toolbarAction(QStringLiteral("step"))->setEnabled(false);
    replay_->replayLines(ReplayMode::all);
    showReplayIdle();
}

void frMain::showReplayIdle() {
    basGlobal.isReplaying = false;
    setButtonPicture(QStringLiteral("play"), QStringLiteral("play"));
    enableReplayButtons();
    tracerView_->focusTracer();
}

// The buttons of the replay outside a play's own changes. A play ended by a disconnect leaves them as the
// disconnected state set them, and recording ended by the switch to the Monitor view gives "step" and
// "play" back. A view switch during a play keeps "record" and "step" off: recording would grow the text
// being replayed, and a step would start a second replay inside the first.
void frMain::enableReplayButtons() {
    const bool idle = !basGlobal.isReplaying;
    const bool canSend =
        basGlobal.isConnected && !basGlobal.isRecording && !basGlobal.hasOption(optListenOnly);
    toolbarAction(QStringLiteral("record"))->setEnabled(basGlobal.isConnected && idle);
    toolbarAction(QStringLiteral("step"))->setEnabled(canSend && idle);
    toolbarAction(QStringLiteral("play"))->setEnabled(canSend);
}

} // namespace korvel
