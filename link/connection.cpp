#include "link/connection.h"

#include "core/basGlobal.h"
#include "core/prompts.h"

#include <QCoreApplication>

namespace korvel {

namespace {

const QString kWarningText =
    QStringLiteral("Connecting to the CANBUS of machines or vehicles might be dangerous.\r"
                   "The author is not responsible for damages.\r"
                   "Continue on your own risk.");
const QString kNotResponding = QStringLiteral("CAN Interface not responding!");

void yieldOnce() {
    QCoreApplication::processEvents();
}

// Marks the sequence as running for as long as it is on the stack, whichever way it ends.
class ConnectingScope {
public:
    explicit ConnectingScope(bool& flag) : flag_(flag), before_(flag) { flag_ = true; }
    ~ConnectingScope() { flag_ = before_; }
    ConnectingScope(const ConnectingScope&) = delete;
    ConnectingScope& operator=(const ConnectingScope&) = delete;

private:
    bool& flag_;
    bool before_;
};

} // namespace

LinkController::LinkController(GlobalState& state, LinkWindow window)
    : state_(state), window_(std::move(window)) {
}

TransportSettings LinkController::transportSettings() const {
    TransportSettings s{state_.deviceKind,
                        state_.comPort,
                        state_.comBaudrate,
                        state_.hasOption(optRtsHandshake),
                        state_.hasOption(optMaskFilter),
                        state_.acceptanceMaskInv,
                        state_.acceptanceCodeMasked};
    s.canBitrateIndex = state_.canBitrateIndex;
    s.userBitrate = state_.userBitrate;
    s.timestamps = state_.hasOption(optTimestamp);
    s.listenOnly = state_.hasOption(optListenOnly);
    s.acceptanceMaskText = state_.acceptanceMaskText;
    s.acceptanceCodeText = state_.acceptanceCodeText;
    return s;
}

SequenceHost LinkController::sequenceHost() {
    return {yieldOnce, [this] { return cancelRequested_; },
            [this](const QString& version) {
                window_.setStatusText(2, version);
            }};
}

void LinkController::connectCommand() {
    // A click that reaches the handler during the sequence's waits never starts a second one inside it.
    if (connecting_)
        return;
    if (state_.isConnected) {
        disconnectLink();
    } else {
        if (!state_.hasOption(optRiskAccepted)) {
            if (!prompts().confirm(QStringLiteral("Warning!"), kWarningText, PromptIcon::critical)) {
                window_.showDisconnectedState();
                return;
            }
            state_.setOption(optRiskAccepted, true);
        }
        window_.setConnectEnabled(false);
        const ConnectingScope scope(connecting_);
        yieldOnce();
        connectLink();
    }
    window_.setConnectEnabled(true);
}

void LinkController::failConnection() {
    disconnectLink();
    prompts().critical(kNotResponding);
}

void LinkController::cancelConnecting() {
    if (!connecting_)
        return;
    cancelRequested_ = true;
    transport_.setCommandsCancelled(true);
}

void LinkController::abandonSequence() {
    cancelRequested_ = false;
    transport_.setCommandsCancelled(false);
    disconnectLink();
}

void LinkController::connectLink() {
    const ConnectingScope scope(connecting_);
    if (cancelRequested_) {
        abandonSequence();
        return;
    }
    window_.showDisconnectedState();
    window_.setStatusText(1, QStringLiteral("Connecting..."));
    const TransportSettings settings = transportSettings();
    if (!transport_.openTransport(settings)) {
        // The sequence ends here; the window shows again that nothing is connected.
        window_.showDisconnectedState();
        return;
    }
    SequenceHost host = sequenceHost();
    const StartOutcome outcome = transport_.link()->start(settings, host);
    switch (outcome.result) {
    case StartOutcome::cancelled:
        abandonSequence();
        return;
    case StartOutcome::notResponding:
        failConnection();
        return;
    case StartOutcome::refused:
        disconnectLink();
        prompts().critical(outcome.refusal);
        return;
    case StartOutcome::openFailed:
        window_.showDisconnectedState();
        return;
    case StartOutcome::started:
        break;
    }

    yieldOnce();
    if (cancelRequested_) {
        abandonSequence();
        return;
    }
    window_.setPollTimerEnabled(true);
    window_.showConnectedState();
    if (!outcome.connectedDevice.isEmpty())
        window_.setStatusText(1, outcome.connectedDevice);
    if (!outcome.connectedParameters.isEmpty())
        window_.setStatusText(2, outcome.connectedParameters);
}

void LinkController::applyAcceptanceFilter() {
    if (!state_.isConnected || transport_.link() == nullptr)
        return;
    SequenceHost host = sequenceHost();
    transport_.link()->applyFilter(transportSettings(), host);
}

void LinkController::disconnectLink() {
    if (transport_.link() != nullptr)
        transport_.link()->stop();
    window_.stopTransmitTimers();
    window_.setPollTimerEnabled(false);
    state_.isReplaying = false;
    transport_.closeTransport();
    window_.showDisconnectedState();
}

void LinkController::resetLink() {
    if (connecting_) {
        // The running sequence owns the transport and keeps Connect disabled until it ends.
        window_.clearMonitor();
        window_.resetTransmitCounts();
        return;
    }
    transport_.closeTransport();
    // The link must never stay marked connected with its transport closed.
    if (state_.isConnected && transport_.link() != nullptr) {
        const StartOutcome::Result reopened = transport_.link()->reopen(transportSettings());
        if (reopened == StartOutcome::notResponding)
            failConnection();
        else if (reopened != StartOutcome::started)
            disconnectLink(); // the open error has been shown
    }
    window_.clearMonitor();
    window_.resetTransmitCounts();
    window_.setConnectEnabled(true);
}

bool LinkController::transmit(const CanFrame& frame, int tag) {
    CanLink* link = transport_.link();
    if (!state_.isConnected || link == nullptr)
        return false;
    // An adapter in listen-only mode refuses frames itself; where the link would send anyway, Korvel's
    // Listen Only holds back the answers, triggers and periodic rows here.
    if (link->sendsInListenOnly() && state_.hasOption(optListenOnly))
        return false;
    return link->send(frame, tag);
}

bool LinkController::transmit(std::string_view idText, std::string_view dlcText, std::string_view dataText,
                              int tag) {
    return transmit(frameFromRow(idText, dlcText, dataText), tag);
}

} // namespace korvel
